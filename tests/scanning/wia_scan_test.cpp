// Scan runs through the agent with the real WIA scanner and the virtual
// devices of the WIA device manager stand-in: the choice of the device, the
// device dialog, resolutions, flatbed and feeder pages, stops, failures and
// the fall-back to TWAIN in the automatic scan mode.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "agent/base/settings.h"
#include "desktop_user.h"
#include "wia_agent_fixture.h"

namespace {

using vexlo::GetSettings;
using vexlo::test::kAutomaticMode;
using vexlo::test::kWiaMode;
using vexlo::test::ReadBmp;
using vexlo::test::WiaAgent;

std::string Device(const std::string& id, const std::string& name, const std::string& extra = "") {
    return "[device]\nid = " + id + "\nname = " + name + "\n" + extra;
}

std::string Remembering(const std::string& settings, const std::string& id) {
    return settings + "[wia]\nwia-scanner=" + id + "\nwia-scanner-name=Remembered\n";
}

std::u16string ImageInfo(int dpi, const std::u16string& name) {
    return u"{ \"dpi\":\"" + vexlo::test::Wide(std::to_string(dpi)) +
           u"\", \"mode\": \"2\", \"cs\": \"1\", \"name\": \"" + name + u"\"}";
}

WiaAgent::Action Press(const std::u16string& deviceName) {
    return [deviceName](WiaAgent& agent) { agent.PressScan(deviceName); };
}

// "<seconds>.bmp", or with "_<n>" after the seconds when allowed.
bool IsClockName(const std::string& name, bool numbered) {
    const std::string suffix = ".bmp";
    if (name.size() <= suffix.size() || name.compare(name.size() - 4, 4, suffix) != 0) {
        return false;
    }
    std::string stem = name.substr(0, name.size() - 4);
    size_t underscore = stem.find('_');
    if (numbered && underscore != std::string::npos) {
        stem.erase(underscore, 1);
    }
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    return !stem.empty() && digit(stem.front()) && std::all_of(stem.begin(), stem.end(), digit);
}

const std::string kFallbackSource = "[source]\nname = Fallback\npage = 8 20 20\n";

// In the automatic mode the TWAIN manager runs the same job: its source's
// dialog is up, and scanning there answers with TWAIN's image information.
void ExpectTwainTakesTheJob(WiaAgent& agent) {
    HWND source = agent.Twain().SourceDialog(u"Fallback");
    ASSERT_NE(source, nullptr) << "the TWAIN source's dialog";
    EXPECT_TRUE(agent.States().empty()) << "nothing answered for the WIA failure";
    agent.Twain().Press(source, u"Scan");
    ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Answers()[0].info, 3);
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 31) << "the same job";
}

TEST(WiaScanFailures, WithoutADeviceManagerAScanAnswersMinus9AndTheAutomaticModeFallsBack) {
    const std::string devices = "[manager]\nfail = absent\n" + Device("dev-1", "Flatbed");
    {
        WiaAgent agent(devices);
        EXPECT_FALSE(agent.Wia().HasDeviceManager());
        agent.Scan(1, 30);
        EXPECT_EQ(agent.States(), (std::vector<int>{-9}));
        EXPECT_EQ(agent.Wia().GetState(), 0);
        EXPECT_NE(agent.Log().find("CreateWiaDeviceManager has failed with code 0x80040154"),
                  std::string::npos);
    }
    WiaAgent automatic(devices, kAutomaticMode, kFallbackSource);
    automatic.Scan(1, 31);
    ExpectTwainTakesTheJob(automatic);
}

TEST(WiaScanFailures, NoScannerAndNoneRememberedAnswersMinus2OrGoesToTwain) {
    const std::string camera = "[device]\nid = cam-1\nname = Camera\ntype = camera\n";
    {
        WiaAgent agent(camera);
        agent.Scan(1, 30);
        EXPECT_EQ(agent.States(), (std::vector<int>{-2}));
        EXPECT_EQ(agent.Wia().GetJobId(), 30) << "a run that ends before the dialog keeps its job";
    }
    WiaAgent automatic(camera, kAutomaticMode, kFallbackSource);
    automatic.Scan(1, 31);
    ExpectTwainTakesTheJob(automatic);
}

TEST(WiaScanFailures, ARememberedDeviceThatIsUnpluggedAnswersMinus10InEveryModeAndNoOtherIsUsed) {
    const std::string devices =
        Device("dev-A", "Present") + Device("dev-B", "Unplugged", "unplugged = yes\n");
    for (const char* mode : {kWiaMode, kAutomaticMode}) {
        SCOPED_TRACE(mode);
        WiaAgent agent(devices, Remembering(mode, "dev-B"), kFallbackSource);
        agent.Scan(1, 32);
        EXPECT_EQ(agent.States(), (std::vector<int>{-10}));
        EXPECT_EQ(agent.DeviceDialog(u"Present"), nullptr) << "the other device is not used";
        EXPECT_EQ(agent.Twain().SourceDialog(u"Fallback"), nullptr) << "no fall-back";
        EXPECT_EQ(agent.Wia().Devices().size(), 1u);
    }
}

TEST(WiaScanFailures, ADeviceThatCannotBeCreatedAnswersMinus9) {
    WiaAgent agent(Device("dev-1", "Broken", "fail = create-device\n"));
    agent.Scan(1, 33);
    EXPECT_EQ(agent.States(), (std::vector<int>{-9}));
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

TEST(WiaScanDevice, WithNothingRememberedTheFirstIdInOrdinalOrderIsUsedAndThenRemembered) {
    // 'B' sorts before 'a' in code-unit order, whatever the file's order.
    const std::string devices = Device("a-device", "Second") + Device("B-device", "First");
    WiaAgent agent(devices, kAutomaticMode, kFallbackSource);
    EXPECT_EQ(agent.Wia().Devices().begin()->first, u"B-device");
    agent.Scan(1, 34, Press(u"First"));
    EXPECT_EQ(agent.actionsRun, 1);
    ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Answers()[0].info, 2);
    EXPECT_EQ(agent.Answers()[0].text, ImageInfo(200, u"First"));
    EXPECT_EQ(GetSettings()->scanMode, 2);
    EXPECT_EQ(GetSettings()->wiaScanner.value_or(u""), u"B-device");
    EXPECT_EQ(GetSettings()->wiaScannerName, u"First");
    EXPECT_EQ(agent.Wia().GetState(), 0);
    EXPECT_EQ(agent.Wia().GetJobId(), 0) << "the job is emptied after the run";

    // Now in the WIA mode: a failure of the remembered device is answered,
    // not handed to TWAIN.
    vexlo::test::DescribeWiaDevices(Device("B-device", "First", "fail = create-device\n"));
    agent.Scan(1, 35);
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2, -9}));
    EXPECT_EQ(agent.Twain().SourceDialog(u"Fallback"), nullptr);
}

TEST(WiaScanDevice, ACameraBeforeAScannerIsSkippedAndTheScannerListed) {
    WiaAgent agent(
        "[device]\nid = cam-1\nname = Pocket Camera\ntype = camera\n"
        "[device]\nid = cam-2\ntype = video\n" +
        Device("scan-1", "Office Scanner"));
    ASSERT_EQ(agent.Wia().Devices().size(), 1u);
    EXPECT_EQ(agent.Wia().Devices().begin()->second, u"Office Scanner");
    std::string log = agent.Log();
    EXPECT_NE(log.find("Skip device with name Pocket Camera type 2"), std::string::npos);
    EXPECT_NE(log.find("Skip device with type 3"), std::string::npos);
    EXPECT_NE(log.find("var type is 3"), std::string::npos);
    EXPECT_NE(log.find("Add scanner name = Office Scanner id = scan-1"), std::string::npos);
    agent.Scan(1, 36, Press(u"Office Scanner"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
}

TEST(WiaScanDevice, ClosingTheDeviceDialogAnswersMinus8InEveryModeAndTheScannerIsIdleAtOnce) {
    for (const char* mode : {kWiaMode, kAutomaticMode}) {
        SCOPED_TRACE(mode);
        WiaAgent agent(Device("dev-1", "Flatbed"), mode, kFallbackSource);
        int stateInDialog = -1;
        agent.Scan(1, 37, [&](WiaAgent& user) {
            stateInDialog = user.Wia().GetState();
            user.PressCancel(u"Flatbed");
        });
        EXPECT_EQ(stateInDialog, 1);
        EXPECT_EQ(agent.States(), (std::vector<int>{-8}));
        EXPECT_EQ(agent.Wia().GetState(), 0);
        EXPECT_EQ(agent.Wia().GetJobId(), 0);
        EXPECT_TRUE(agent.Queued().empty());
        EXPECT_EQ(agent.Twain().SourceDialog(u"Fallback"), nullptr);
        EXPECT_FALSE(GetSettings()->wiaScanner.has_value());
    }
}

TEST(WiaScanDevice, EscapeOrAFailingDialogAnswersMinus8Too) {
    WiaAgent agent(Device("dev-1", "Flatbed"));
    agent.Scan(1, 38, [](WiaAgent& user) {
        EXPECT_TRUE(desktop_user::PressKey(user.DeviceDialog(u"Flatbed"), VK_ESCAPE));
    });
    EXPECT_EQ(agent.States(), (std::vector<int>{-8}));
    vexlo::test::DescribeWiaDevices(Device("dev-1", "Flatbed", "fail = dialog\n"));
    agent.Scan(1, 39);
    EXPECT_EQ(agent.States(), (std::vector<int>{-8, -8}));
}

TEST(WiaScanDevice, AScanRequestWhileTheDeviceDialogIsUpIsBusyInTheAutomaticMode) {
    WiaAgent agent(Device("dev-1", "Flatbed"), kAutomaticMode);
    agent.Scan(1, 40, [](WiaAgent& user) {
        user.Send(vexlo::test::ScanRequest(1, 41));
        user.PressScan(u"Flatbed");
    });
    EXPECT_EQ(agent.States(), (std::vector<int>{-3, 1, 2}));
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 40);
}

TEST(WiaScanResolution, TheFirstAcceptedOfTheSevenValuesIsSetForGreyDocumentsOnly) {
    struct Case {
        const char* device;
        int scanType;
        int expected;
    };
    const Case cases[] = {
        {"resolution = 100\n", 1, 200},
        {"resolution = 100\nrefuse = 200 250\n", 1, 300},
        {"resolution = 100\nrefuse = 200 250 300 400 500 600\n", 1, 150},
        // All seven refused: the device's own resolution.
        {"resolution = 120\nrefuse = 200 250 300 400 500 600 150\n", 1, 120},
        // Another error than E_INVALIDARG: no further value is tried.
        {"resolution = 100\nrefuse = 200\nrefuse-with = E_FAIL\n", 1, 100},
        // None read back: 200.
        {"resolution = none\n", 1, 200},
        {"resolution = 100\n", 2, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " type " + std::to_string(c.scanType));
        WiaAgent agent(Device("dev-1", "Res", c.device));
        agent.Scan(c.scanType, 42, Press(u"Res"));
        ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
        EXPECT_EQ(agent.Answers()[0].text, ImageInfo(c.expected, u"Res"));
        auto queued = agent.Queued();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].dpi, c.expected);
        EXPECT_EQ(queued[0].scanType, c.scanType);
    }
}

TEST(WiaScanPages, AFlatbedGivesExactlyOnePageNamedFromTheClock) {
    WiaAgent agent(Device("dev-1", "Flatbed", "pages = 5\npage = 8 40 30\n"));
    agent.Scan(1, 43, Press(u"Flatbed"));
    ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 1u);
    const auto& item = queued[0];
    EXPECT_EQ(item.jobId, 43);
    EXPECT_EQ(item.apiKey, u"key-1");
    EXPECT_EQ(item.client, agent.ClientWindow());
    std::string name = std::filesystem::path(desktop_user::Narrow(item.file)).filename().string();
    EXPECT_TRUE(IsClockName(name, false)) << name;
    auto bmp = ReadBmp(item.file);
    ASSERT_TRUE(bmp.valid);
    EXPECT_EQ(bmp.width, 40);
    EXPECT_EQ(bmp.height, 30);
    EXPECT_EQ(bmp.bitCount, 8);
    EXPECT_EQ(bmp.offBits, 1078u);
    EXPECT_EQ(bmp.bytes, 1078u + 40u * 30u);
    EXPECT_EQ(agent.ScannedFiles().size(), 1u);
}

TEST(WiaScanPages, AFeederGivesEveryPageInAFileOfItsOwnEvenWithinOneSecond) {
    WiaAgent agent(
        Device("dev-1", "Feeder", "feeder = yes\npages = 3\npage = 1 100 20\npage = 24 10 10\n"));
    agent.Scan(2, 44, Press(u"Feeder"));
    ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 3u);
    std::set<std::u16string> files;
    for (const auto& item : queued) {
        files.insert(item.file);
        EXPECT_TRUE(ReadBmp(item.file).valid);
    }
    EXPECT_EQ(files.size(), 3u) << "no page replaces another";
    EXPECT_EQ(ReadBmp(queued[0].file).bitCount, 1);
    EXPECT_EQ(ReadBmp(queued[1].file).bitCount, 24);
    EXPECT_EQ(ReadBmp(queued[2].file).bitCount, 24);
    std::string first = std::filesystem::path(desktop_user::Narrow(queued[0].file)).filename();
    EXPECT_TRUE(IsClockName(first, false)) << "the first page keeps the plain form: " << first;
    for (const auto& item : queued) {
        std::string name = std::filesystem::path(desktop_user::Narrow(item.file)).filename();
        EXPECT_TRUE(IsClockName(name, true)) << name;
    }
    EXPECT_EQ(agent.ScannedFiles().size(), 3u);
}

TEST(WiaScanPages, ADialogThatHandsBackSeveralItemsScansTheFirst) {
    WiaAgent agent(Device("dev-1", "Multi", "dialog-items = 3\n"));
    agent.Scan(1, 45, Press(u"Multi"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Queued().size(), 1u);
}

TEST(WiaScanStop, AStopDuringTheDialogKeepsTheFirstPageInTheFolderAndAnswersNoMore) {
    WiaAgent agent(Device("dev-1", "Feeder", "feeder = yes\npages = 3\n"));
    agent.Scan(1, 46, [](WiaAgent& user) {
        user.Stop(46);
        user.PressScan(u"Feeder");
    });
    EXPECT_EQ(agent.States(), (std::vector<int>{1}));
    EXPECT_TRUE(agent.Queued().empty()) << "the page is not handed on";
    EXPECT_EQ(agent.ScannedFiles().size(), 1u) << "it stays in the Scanned folder";
    EXPECT_FALSE(GetSettings()->wiaScanner.has_value()) << "nothing remembered";
    EXPECT_EQ(GetSettings()->scanMode, 2);
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

TEST(WiaScanStop, AStopForAnotherJobChangesNothing) {
    WiaAgent agent(Device("dev-1", "Feeder", "feeder = yes\npages = 2\n"));
    agent.Stop(999);
    agent.Scan(1, 47, Press(u"Feeder"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Queued().size(), 2u);
}

TEST(WiaScanStop, AStopBeforeTheRunStillAppliesAfterTheFirstPage) {
    WiaAgent agent(Device("dev-1", "Feeder", "feeder = yes\npages = 2\n"));
    agent.Stop(48);
    agent.Scan(1, 48, Press(u"Feeder"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1}));
    EXPECT_TRUE(agent.Queued().empty());
}

TEST(WiaScanTransfer, AFailedPageEndsTheRunWithMinus5AndNothingIsRemembered) {
    WiaAgent agent(Device("dev-1", "Feeder",
                          "feeder = yes\npages = 3\nfail = transfer\n"
                          "fail-page = 2\n"));
    agent.Scan(1, 49, Press(u"Feeder"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1, -5}));
    EXPECT_EQ(agent.Queued().size(), 1u) << "the page before the failure is kept";
    EXPECT_FALSE(GetSettings()->wiaScanner.has_value());
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

TEST(WiaScanTransfer, ATransferAnsweringSFalseEndsWithMinus5ButCountsAsCompleted) {
    WiaAgent agent(Device("dev-1", "Feeder",
                          "feeder = yes\npages = 3\nfail = transfer\n"
                          "fail-page = 2\ntransfer-result = S_FALSE\n"));
    agent.Scan(1, 50, Press(u"Feeder"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1, -5, 2}));
    EXPECT_EQ(GetSettings()->wiaScanner.value_or(u""), u"dev-1");
    EXPECT_EQ(GetSettings()->scanMode, 2);
}

TEST(WiaScanTransfer, InTheAutomaticModeAFailedTransferHandsTheJobToTwain) {
    WiaAgent agent(Device("dev-1", "Flatbed", "fail = transfer\n"), kAutomaticMode,
                   kFallbackSource);
    agent.Scan(1, 51, Press(u"Flatbed"));
    EXPECT_EQ(agent.States(), (std::vector<int>{1})) << "no -5 for the WIA failure";
    HWND source = agent.Twain().SourceDialog(u"Fallback");
    ASSERT_NE(source, nullptr) << "the TWAIN source's dialog";
    agent.Twain().Press(source, u"Scan");
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 1, 2}));
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 51);
}

}  // namespace

namespace {

// The devices the session's record says are held, each "<n> <device id>".
std::vector<std::string> HeldDevices() {
    std::vector<std::string> lines;
    std::istringstream in(vexlo::test::ReadFileBytes(vexlo::test::SessionFile("wia-held-devices")));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line.substr(line.find(' ') + 1));
        }
    }
    return lines;
}

TEST(WiaScanTransfer, ATransferThatCannotBePreparedEndsAsAFailedTransferAndTheNextScanWorks) {
    for (const char* fail : {"format", "medium", "data-transfer"}) {
        SCOPED_TRACE(fail);
        {
            WiaAgent agent(Device("dev-1", "Broken", std::string("fail = ") + fail + "\n"));
            agent.Scan(1, 52, Press(u"Broken"));
            EXPECT_EQ(agent.States(), (std::vector<int>{1, -5}));
            EXPECT_EQ(agent.Wia().GetState(), 0);
            EXPECT_FALSE(GetSettings()->wiaScanner.has_value()) << "nothing remembered";
            vexlo::test::DescribeWiaDevices(Device("dev-1", "Broken"));
            agent.Scan(1, 53, Press(u"Broken"));
            EXPECT_EQ(agent.States(), (std::vector<int>{1, -5, 1, 2}));
            EXPECT_EQ(agent.Queued().size(), 1u);
        }
        {
            WiaAgent agent(Device("dev-1", "Broken", std::string("fail = ") + fail + "\n"),
                           kAutomaticMode, kFallbackSource);
            agent.Scan(1, 31, Press(u"Broken"));
            ASSERT_EQ(agent.States(), (std::vector<int>{1}));
            HWND source = agent.Twain().SourceDialog(u"Fallback");
            ASSERT_NE(source, nullptr) << "the automatic mode hands the job to TWAIN";
            agent.Twain().Press(source, u"Scan");
            EXPECT_EQ(agent.States(), (std::vector<int>{1, 1, 2}));
            ASSERT_EQ(agent.Queued().size(), 1u);
            EXPECT_EQ(agent.Queued()[0].jobId, 31);
        }
    }
}

TEST(WiaScanDevice, AStopOrTheAgentsCloseDuringARunLeavesNoDeviceHeld) {
    std::error_code ignored;
    std::filesystem::remove(vexlo::test::SessionFile("wia-held-devices"), ignored);
    {
        WiaAgent agent(Device("dev-1", "Feeder", "feeder = yes\npages = 3\n"));
        std::vector<std::string> heldInDialog;
        agent.Scan(1, 54, [&](WiaAgent& user) {
            heldInDialog = HeldDevices();
            user.Stop(54);
            user.PressScan(u"Feeder");
        });
        EXPECT_EQ(heldInDialog, (std::vector<std::string>{"1 dev-1"}));
        EXPECT_EQ(agent.States(), (std::vector<int>{1}));
        EXPECT_TRUE(HeldDevices().empty()) << "the stopped run let the device go";

        HWND agentWindow = agent.Twain().Window().m_hWnd;
        agent.Scan(1, 55, [&](WiaAgent& user) {
            DestroyWindow(agentWindow);  // the close, handled inside the device dialog
            user.PressScan(u"Feeder");
        });
        EXPECT_FALSE(IsWindow(agentWindow));
    }
    EXPECT_TRUE(HeldDevices().empty()) << "the agent's close let the device go";
}

TEST(WiaScanDevice, ARequestCloseBehindAnotherIsBusyAndTheFirstKeepsItsJob) {
    // Two requests before either run starts: the second is refused at once.
    WiaAgent agent(Device("dev-1", "Flatbed"), kAutomaticMode, kFallbackSource);
    agent.Send(vexlo::test::ScanRequest(1, 56));
    agent.Send(vexlo::test::ScanRequest(1, 57));
    EXPECT_EQ(agent.States(), (std::vector<int>{-3}));
    EXPECT_EQ(agent.Wia().GetState(), 1) << "busy from the request on";
    agent.Scan(1, 58, Press(u"Flatbed"));  // handles the first run; this one is busy too
    EXPECT_EQ(agent.States(), (std::vector<int>{-3, -3, 1, 2}));
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 56);
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

TEST(WiaScanDevice, TheHandOverToABusyTwainAnswersMinus3) {
    WiaAgent agent(Device("dev-1", "Flatbed", "fail = create-device\n"), kAutomaticMode,
                   kFallbackSource);
    // TWAIN runs a job of its own (its source's dialog is up) when a WIA job
    // fails and would be handed to it.
    ASSERT_EQ(agent.Twain().Manager().StartScan(vexlo::ScanJob{u"key", 5, 1, 59, nullptr}), S_OK);
    agent.Pump();
    ASSERT_NE(agent.Twain().SourceDialog(u"Fallback"), nullptr);
    ASSERT_EQ(agent.Wia().StartScan(vexlo::ScanJob{u"key", 5, 1, 60, agent.ClientWindow()}), S_OK);
    agent.Pump();
    EXPECT_EQ(agent.States(), (std::vector<int>{-3})) << "the failed WIA job, refused by TWAIN";
    EXPECT_EQ(agent.Twain().Manager().GetJobId(), 59) << "TWAIN keeps its own job";
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

}  // namespace
