// UploadScannedItem against the local fax service: progress, cancel,
// refusals, failures, what goes over the wire.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "protocol/records.h"
#include "agent/base/data_folders.h"
#include "agent/service/page_upload.h"
#include "agent/service/service_call.h"
#include "agent/service/service_proxy.h"
#include "agent_data.h"
#include "canned_http_server.h"
#include "fax_service_process.h"
#include "recording_host.h"
#include "service_client.h"

namespace vexlo::test {
namespace {

const HWND kClient = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10044));
constexpr int kJob = 4711;

class PageUpload : public ::testing::Test {
protected:
    void StartService(std::vector<std::string> args = {}) {
        service_ = std::make_unique<FaxServiceProcess>(std::move(args));
        ASSERT_TRUE(service_->started()) << service_->ErrorOutput();
        data_.SetSoapServer(service_->endpoint());
    }
    UploadItem Item(const std::u16string& file) {
        UploadItem item;
        item.file = file;
        item.apiKey = u"page-key";
        item.messageId = 31;
        item.client = kClient;
        item.jobId = kJob;
        return item;
    }
    // The states sent, as (state, info) pairs.
    std::vector<std::pair<int, int>> StateSequence() const {
        std::vector<std::pair<int, int>> out;
        for (const auto& s : host_.states()) {
            out.emplace_back(s.state, s.info);
        }
        return out;
    }

    AgentDataFolder data_;
    RecordingHost host_;
    std::unique_ptr<FaxServiceProcess> service_;
};

TEST_F(PageUpload, ProgressRisesToHundredThenAccepted) {
    StartService();
    std::string bytes = PatternBytes(100000);
    std::u16string page = data_.WriteProcessedPage("123.png", bytes);

    EXPECT_EQ(UploadScannedItem(Item(page), &host_), S_OK);

    auto states = host_.states();
    ASSERT_GE(states.size(), 2u);
    int last = 0;
    for (size_t i = 0; i + 1 < states.size(); ++i) {
        EXPECT_EQ(states[i].client, kClient);
        EXPECT_EQ(states[i].state, vexlo::kStateUploading);
        EXPECT_GT(states[i].info, last);
        EXPECT_FALSE(states[i].text.has_value());
        last = states[i].info;
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(states.back().state, vexlo::kStateUploaded);
    EXPECT_EQ(states.back().info, 0);
    EXPECT_FALSE(states.back().text.has_value());

    auto lines = service_->WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("key=page-key messageId=31 bytes=100000 md5=ok result=true"),
              std::string::npos)
        << lines[0];
    auto files = service_->PageFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadFileBytes(service_->pagesDir() + "/" + files[0]), bytes);
    // The upload leaves the page file to the worker.
    EXPECT_EQ(ReadFileBytes(Narrow(page)), bytes);
}

TEST_F(PageUpload, WireCarriesFileNameLowercaseMd5AndPngType) {
    StartService();
    std::string bytes = PatternBytes(3000, 7);
    std::u16string page = data_.WriteProcessedPage("123.png", bytes);
    ASSERT_EQ(UploadScannedItem(Item(page), &host_), S_OK);
    std::string wire = service_->Captured(1);
    EXPECT_NE(wire.find("ns1:md5=\"" + Md5Hex(bytes) + "\" ns1:fileName=\"123.png\""),
              std::string::npos)
        << wire.substr(0, 1500);
    EXPECT_NE(wire.find("<ns1:apiKey>page-key</ns1:apiKey><ns1:messageId>31</ns1:messageId>"),
              std::string::npos);
}

TEST_F(PageUpload, JpegPageIsAnnouncedAsPng) {
    StartService();
    std::u16string page = data_.WriteProcessedPage("20240101.jpg", "\xff\xd8\xff\xe0 jpeg");
    ASSERT_EQ(UploadScannedItem(Item(page), &host_), S_OK);
    std::string wire = service_->Captured(1);
    EXPECT_NE(wire.find("ns1:fileName=\"20240101.jpg\""), std::string::npos);
    EXPECT_NE(wire.find("Content-Type: image/png\r\n"), std::string::npos);
    EXPECT_EQ(wire.find("image/jpeg"), std::string::npos);
}

TEST_F(PageUpload, CancelDuringTheUploadEndsItWithoutAnswer) {
    StartService();
    std::u16string page = data_.WriteProcessedPage("big.png", PatternBytes(1 << 20));
    host_.cancelWhen = [](int jobId, int call) { return jobId == kJob && call >= 3; };
    int descriptors = OpenDescriptorCount();

    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_ABORT);

    auto states = host_.states();
    EXPECT_LE(states.size(), 2u);  // progress of the two reads before the cancel
    for (const auto& s : states) {
        EXPECT_EQ(s.state, vexlo::kStateUploading);
        EXPECT_LT(s.info, 100);
    }
    EXPECT_EQ(host_.isCancelledCalls(), 3);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(service_->PageFiles().empty());
}

TEST_F(PageUpload, CancelAtTheFirstReadSendsNothing) {
    StartService();
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(100000));
    host_.cancelWhen = [](int, int) { return true; };
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_ABORT);
    EXPECT_TRUE(host_.states().empty());
}

TEST_F(PageUpload, CancelOfAnotherJobDoesNotStopThisOne) {
    StartService();
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(100000));
    host_.cancelWhen = [](int jobId, int) { return jobId != kJob; };
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), S_OK);
    EXPECT_EQ(host_.states().back().state, vexlo::kStateUploaded);
}

TEST_F(PageUpload, RefusalPassesTheDescriptionOn) {
    StartService({"--refuse=Fax occup\xc3\xa9"});
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_FAIL);
    auto states = host_.states();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().state, vexlo::kStateUploadFailed);
    EXPECT_EQ(states.back().info, 0);
    ASSERT_TRUE(states.back().text.has_value());
    EXPECT_EQ(*states.back().text, u"Fax occup\u00e9");
}

TEST_F(PageUpload, RefusalWithoutDescriptionSendsEmptyText) {
    StartService({"--refuse"});
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_FAIL);
    auto states = host_.states();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().state, vexlo::kStateUploadFailed);
    ASSERT_TRUE(states.back().text.has_value());
    EXPECT_EQ(*states.back().text, u"");
}

TEST_F(PageUpload, FaultSendsFailureWithoutText) {
    StartService({"--fault=SOAP-ENV:Receiver"});
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_FAIL);
    auto states = host_.states();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().state, vexlo::kStateUploadFailed);
    EXPECT_FALSE(states.back().text.has_value());
}

TEST_F(PageUpload, UnreachableServiceFailsAndClosesThePage) {
    data_.SetSoapServer("http://127.0.0.1:" + std::to_string(UnusedPort()) +
                        "/services/vexloplugin");
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(5000));
    int descriptors = OpenDescriptorCount();
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_FAIL);
    auto states = host_.states();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].state, vexlo::kStateUploadFailed);
    EXPECT_FALSE(states[0].text.has_value());
    // The runtime never streamed the page: the upload closed it itself.
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST(ServiceCall, SendsAndReceivesWaitAtMostTwoMinutesOnASilentService) {
    MTOMServiceSOAP12BindingProxy proxy(SOAP_ENC_MTOM);
    vexlo::PrepareServiceCall(proxy);
    // The runtime counts a positive value in seconds, a negative one in
    // microseconds; 0 would wait for ever.
    for (int timeout : {proxy.send_timeout, proxy.recv_timeout}) {
        EXPECT_GT(timeout, 0);
        EXPECT_LE(timeout, 120);
    }
}

TEST_F(PageUpload, DroppedConnectionFailsWithoutSigpipe) {
    StartService({"--drop-after=2000"});
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(4 << 20));
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_FAIL);
    EXPECT_EQ(host_.states().back().state, vexlo::kStateUploadFailed);
    struct sigaction action {};
    sigaction(SIGPIPE, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_IGN);
}

TEST_F(PageUpload, MissingPageFailsSilently) {
    StartService();
    EXPECT_EQ(UploadScannedItem(Item(GetProcessedFolder() + u"/missing.png"), &host_), E_FAIL);
    EXPECT_TRUE(host_.states().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a call would be logged by now
    EXPECT_TRUE(service_->CallLines().empty());
}

TEST_F(PageUpload, EmptyPageGoesWithoutProgress) {
    StartService();
    std::u16string page = data_.WriteProcessedPage("empty.png", "");
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), S_OK);
    auto states = host_.states();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].state, vexlo::kStateUploaded);
    std::string wire = service_->Captured(1);
    EXPECT_NE(wire.find("ns1:md5=\"d41d8cd98f00b204e9800998ecf8427e\""), std::string::npos);
    EXPECT_NE(wire.find("Transfer-Encoding: chunked"), std::string::npos);
}

TEST_F(PageUpload, DigestFailureSendsNothing) {
    StartService();
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    W32SetCryptFailure("CryptHashData", static_cast<DWORD>(NTE_BAD_HASH_STATE), 1);
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), NTE_BAD_HASH_STATE);
    W32SetCryptFailure(nullptr, 0, 0);
    EXPECT_TRUE(host_.states().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a call would be logged by now
    EXPECT_TRUE(service_->CallLines().empty());
}

TEST_F(PageUpload, SoapServerSettingSelectsTheService) {
    FaxServiceProcess first, second;
    ASSERT_TRUE(first.started() && second.started());
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    data_.SetSoapServer(second.endpoint());
    ASSERT_EQ(UploadScannedItem(Item(page), &host_), S_OK);
    EXPECT_EQ(second.WaitForCallLines(1).size(), 1u);
    EXPECT_TRUE(first.CallLines().empty());
}

TEST_F(PageUpload, EmptySoapServerUsesTheBuiltInEndpoint) {
    std::unique_ptr<FaxServiceProcess> builtIn;
    for (int attempt = 0; attempt < 50; ++attempt) {
        builtIn = std::make_unique<FaxServiceProcess>(std::vector<std::string>{}, 18480);
        if (builtIn->started()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (!builtIn->started()) {
        GTEST_SKIP() << "port 18480 is taken by another program";
    }
    data_.SetSoapServer("");
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    ASSERT_EQ(UploadScannedItem(Item(page), &host_), S_OK);
    auto lines = builtIn->WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("key=page-key"), std::string::npos);
}

TEST_F(PageUpload, EmptyResponseBodyIsAFailure) {
    CannedHttpServer server;
    server.Push(SoapResponse(""));
    data_.SetSoapServer(server.endpoint());
    std::u16string page = data_.WriteProcessedPage("p.png", PatternBytes(500));
    EXPECT_EQ(UploadScannedItem(Item(page), &host_), E_FAIL);
    EXPECT_EQ(host_.states().back().state, vexlo::kStateUploadFailed);
}

TEST(ComputeMd5, KnownDigests) {
    char text[33] = {};
    ASSERT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>(""), 0, text), S_OK);
    EXPECT_STREQ(text, "d41d8cd98f00b204e9800998ecf8427e");
    char abc[33] = {};
    ASSERT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>("abc"), 3, abc), S_OK);
    EXPECT_STREQ(abc, "900150983cd24fb0d6963f7d28e17f72");
    std::string big = PatternBytes(1 << 20, 3);
    char large[33] = {};
    ASSERT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>(big.data()), static_cast<DWORD>(big.size()),
                         large),
              S_OK);
    EXPECT_EQ(std::string(large), Md5Hex(big));
}

TEST(ComputeMd5, NullBufferIsRefused) {
    EXPECT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>("abc"), 3, nullptr), E_POINTER);
}

TEST(ComputeMd5, FallsBackToNewKeySet) {
    W32SetCryptFailure("CryptAcquireContextW", static_cast<DWORD>(NTE_BAD_KEYSET), 1);
    char text[33] = {};
    EXPECT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>("abc"), 3, text), S_OK);
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    W32SetCryptFailure(nullptr, 0, 0);
}

TEST(ComputeMd5, EachFailingStepGivesItsError) {
    for (const char* step :
         {"CryptAcquireContextW", "CryptCreateHash", "CryptHashData", "CryptGetHashParam"}) {
        SCOPED_TRACE(step);
        W32SetCryptFailure(step, static_cast<DWORD>(NTE_FAIL), 2);
        char text[33] = {};
        EXPECT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>("abc"), 3, text), NTE_FAIL);
        W32SetCryptFailure(nullptr, 0, 0);
    }
    // A step that fails without an error code still fails.
    W32SetCryptFailure("CryptHashData", ERROR_SUCCESS, 1);
    char text[33] = {};
    EXPECT_EQ(ComputeMd5(reinterpret_cast<const BYTE*>("abc"), 3, text), E_FAIL);
    W32SetCryptFailure(nullptr, 0, 0);
}

}  // namespace
}  // namespace vexlo::test
