// The SOAP client reading a service's HTTP response: any bytes as the answer
// to an upload (addDocumentToFax) and to a render (renderForPrinting), from a
// service on a local port that answers each call with the input.
#include <windows.h>

#include <filesystem>
#include <string>

#include "agent/base/data_folders.h"
#include "agent/service/page_upload.h"
#include "agent/service/print_rendering.h"
#include "agent_data.h"
#include "canned_http_server.h"
#include "fuzz_support.h"
#include "protocol/records.h"
#include "recording_host.h"

namespace {

using vexlo::fuzz::Require;

const HWND kClient = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10044));

struct Service {
    Service() {
        data.SetSoapServer(server.endpoint());
        page = data.WriteProcessedPage("page.png", std::string(3000, '\x5a'));
    }
    vexlo::test::AgentDataFolder data;
    vexlo::test::CannedHttpServer server;
    std::u16string page;
};

int LastState(const vexlo::test::RecordingHost& host) {
    auto states = host.states();
    return states.empty() ? 0 : states.back().state;
}

void Upload(Service& service, const std::string& response) {
    service.server.Push(response);
    vexlo::test::RecordingHost host;
    vexlo::UploadItem item{service.page, u"key", 1, kClient, 7};
    HRESULT result = vexlo::UploadScannedItem(item, &host);
    Require((result == S_OK && LastState(host) == vexlo::kStateUploaded) ||
            (result == E_FAIL && LastState(host) == vexlo::kStateUploadFailed));
}

void Render(Service& service, const std::string& response) {
    service.server.Push(response);
    vexlo::test::RecordingHost host;
    HRESULT result = vexlo::FetchPrintPages(u"key", u"pages=1", kClient, &host);
    Require(result == S_OK || (result == E_FAIL && LastState(host) == vexlo::kPrintRenderFailed));
    for (const auto& pages : host.printPageCalls()) {
        for (const std::u16string& page : pages) {
            Require(std::filesystem::exists(vexlo::fuzz::PathText(page)));
        }
    }
    for (const auto& entry :
         std::filesystem::directory_iterator(vexlo::fuzz::PathText(vexlo::GetPrintFolder()))) {
        std::filesystem::remove(entry.path());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Service& service = vexlo::fuzz::Kept<Service>();
    std::string response = vexlo::fuzz::Text(data, size);
    Upload(service, response);
    Render(service, response);
    service.server.ForgetRequests();
    return 0;
}
