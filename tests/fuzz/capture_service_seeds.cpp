// Writes the seeds of the service targets from real traffic: the agent's own
// upload and render calls against the local fax service (plain, refusing,
// failing), each request as the service captured it (fax_request_fuzz) and
// the service's answer to that request replayed (soap_response_fuzz).
//   capture_service_seeds CORPUS-FOLDER
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "agent/service/page_upload.h"
#include "agent/service/print_rendering.h"
#include "agent_data.h"
#include "canned_http_server.h"
#include "fax_service_process.h"
#include "recording_host.h"
#include "support/temp_dir.h"

namespace {

using namespace vexlo::test;

const HWND kClient = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10044));

struct Case {
    std::string name;
    std::vector<std::string> serviceArgs;
    std::function<void(AgentDataFolder&, RecordingHost&)> call;
};

std::function<void(AgentDataFolder&, RecordingHost&)> Upload(const std::string& file,
                                                             const std::u16string& key) {
    return [=](AgentDataFolder& data, RecordingHost& host) {
        std::string page(600, '\0');
        for (size_t i = 0; i < page.size(); ++i) {
            page[i] = static_cast<char>(i * 7);
        }
        vexlo::UploadItem item{data.WriteProcessedPage(file, page), key, 31, kClient, 4711};
        vexlo::UploadScannedItem(item, &host);
    };
}

std::function<void(AgentDataFolder&, RecordingHost&)> Render(const std::u16string& command) {
    return [=](AgentDataFolder&, RecordingHost& host) {
        vexlo::FetchPrintPages(u"page-key", command, kClient, &host);
    };
}

bool Capture(const Case& c, const std::filesystem::path& corpus) {
    std::vector<std::string> args = c.serviceArgs;
    args.push_back("--recv-timeout=1");
    FaxServiceProcess service(args);
    if (!service.started()) {
        std::fprintf(stderr, "%s: the service did not start\n", c.name.c_str());
        return false;
    }
    AgentDataFolder data;
    data.SetSoapServer(service.endpoint());
    RecordingHost host;
    c.call(data, host);
    service.WaitForCallLines(1);
    std::string request = service.Captured(1);
    std::string response = SendRaw(service.port(), request, 5000);
    if (request.empty() || response.empty()) {
        std::fprintf(stderr, "%s: nothing captured\n", c.name.c_str());
        return false;
    }
    WriteFileBytes(corpus / "fax_request_fuzz" / c.name, request);
    WriteFileBytes(corpus / "soap_response_fuzz" / c.name, response);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    std::filesystem::path corpus = argv[1];
    std::filesystem::create_directories(corpus / "fax_request_fuzz");
    std::filesystem::create_directories(corpus / "soap_response_fuzz");
    const std::vector<Case> cases = {
        {"upload-accepted", {}, Upload("1700000000.png", u"page-key")},
        {"upload-cyrillic-name", {}, Upload("Страница 1.png", u"ключ")},
        {"upload-unknown-key", {"--api-key=other"}, Upload("1.png", u"page-key")},
        {"upload-refused-russian", {"--refuse=Факс не принят"}, Upload("2.png", u"page-key")},
        {"upload-fault",
         {"--fault=SOAP-ENV:Receiver", "--fault-reason=Сервис занят"},
         Upload("3.png", u"page-key")},
        {"render-two-pages", {}, Render(u"pages=2;width=48;height=32")},
        {"render-sizes", {}, Render(u"sizes=20x10,8x8,30x4")},
        {"render-no-pages", {}, Render(u"pages=0")},
        {"render-bad-command", {}, Render(u"pages=999;печать")},
        {"render-fault", {"--fault=ns1:Busy"}, Render(u"pages=1;width=8;height=8")},
    };
    int failed = 0;
    for (const Case& c : cases) {
        failed += Capture(c, corpus) ? 0 : 1;
    }
    return failed == 0 ? 0 : 1;
}
