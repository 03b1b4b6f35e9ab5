// The real agent_vexlo program scanning and selecting through WIA, with this
// test as the plug-in and the desktop-user program as the person at the
// device dialog and the selection dialog.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "agent_fixture.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::AnswerRecorder;
using vexlo::test::ChildProcess;
using vexlo::test::ProgramInBuild;
using vexlo::test::PumpUntil;
using vexlo::test::ReadFileBytes;
using vexlo::test::StartProgram;
using vexlo::test::TempDir;
using vexlo::test::WaitForProgram;
using vexlo::test::WriteFileBytes;

// The scanner's own answers, without those of the scan worker that turns
// the scanned images into pages (processing, upload, job done).
std::vector<vexlo::test::Answer> ScannerAnswers(const AnswerRecorder& client) {
    std::vector<vexlo::test::Answer> answers;
    for (const auto& answer : client.answers) {
        if (answer.state != 3 && answer.state != 4 && answer.state != 5 && answer.state != 6 &&
            answer.state != -4 && answer.state != -5) {
            answers.push_back(answer);
        }
    }
    return answers;
}

void Send(HWND agent, const AnswerRecorder& client, int code, int param, int jobId) {
    vexlo::test::SendRequest(agent, client.hwnd(), vexlo::test::MakeRequest(code, param, jobId));
}

TEST(WiaAgentProcess, TheAgentScansAndSelectsThroughWiaWithAnotherProcessAtTheDialogs) {
    std::filesystem::path session(getenv("W32_SESSION"));
    WriteFileBytes(session / "wia-devices",
                   "[device]\nid = dev-2\nname = Office Feeder\nfeeder = yes\npages = 2\n"
                   "page = 1 1700 200\n"
                   "[device]\nid = dev-1\nname = Photo Flatbed\npage = 24 60 40\n");
    TempDir appData;
    std::filesystem::create_directories(appData.path() / "VexloDesktop");
    WriteFileBytes(appData.path() / "VexloDesktop/settings.ini",
                   "[settings]\nscan-mode=1\n[wia]\nwia-scanner=dev-2\n");
    AnswerRecorder client;
    ChildProcess agent = StartProgram({ProgramInBuild("agent_vexlo")}, appData.native());
    HWND window = nullptr;
    ASSERT_TRUE(
        PumpUntil([&] { return (window = FindWindowW(vexlo::kAgentWindowClass, nullptr)); }));

    Send(window, client, vexlo::kRequestScan, vexlo::kScanTypeGrey, 81);
    ChildProcess user = StartProgram({ProgramInBuild("desktop-user"), "wia-scan", "Office Feeder"},
                                     appData.native());
    EXPECT_EQ(WaitForProgram(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return ScannerAnswers(client).size() >= 2; }));
    auto answers = ScannerAnswers(client);
    EXPECT_EQ(answers[0].state, vexlo::kStateImageInfo);
    EXPECT_EQ(answers[0].info, 2);
    EXPECT_EQ(answers[0].text,
              u"{ \"dpi\":\"200\", \"mode\": \"2\", \"cs\": \"1\", \"name\": \"Office Feeder\"}");
    EXPECT_EQ(answers[0].from, window);
    EXPECT_EQ(answers[1].state, vexlo::kStateAcquired);

    // The selection: the second row (dev-2, by id) and OK.
    Send(window, client, vexlo::kRequestSelectScanner, vexlo::kInterfaceWia, 0);
    user = StartProgram({ProgramInBuild("desktop-user"), "list-click", "Выбор сканера", "1"},
                        appData.native());
    EXPECT_EQ(WaitForProgram(user, std::chrono::seconds(10)), 0);
    user = StartProgram({ProgramInBuild("desktop-user"), "press", "Выбор сканера", "OK"},
                        appData.native());
    EXPECT_EQ(WaitForProgram(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return ScannerAnswers(client).size() >= 3; }));
    answers = ScannerAnswers(client);
    EXPECT_EQ(answers[2].state, vexlo::kReplySelectedScanner);
    EXPECT_EQ(answers[2].text, u"Office Feeder");

    // A cancelled device dialog in the WIA mode the scan left.
    Send(window, client, vexlo::kRequestScan, vexlo::kScanTypeColour, 82);
    user = StartProgram({ProgramInBuild("desktop-user"), "wia-cancel", "Office Feeder"},
                        appData.native());
    EXPECT_EQ(WaitForProgram(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return ScannerAnswers(client).size() >= 4; }));
    EXPECT_EQ(ScannerAnswers(client)[3].state, vexlo::kStateDialogCancelled);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForProgram(agent, std::chrono::seconds(10)), 0);
    std::string settings = ReadFileBytes(appData.path() / "VexloDesktop/settings.ini");
    EXPECT_NE(settings.find("scan-mode=2"), std::string::npos) << settings;
    EXPECT_NE(settings.find("wia-scanner=dev-2"), std::string::npos) << settings;
    EXPECT_NE(settings.find("wia-scanner-name=Office Feeder"), std::string::npos) << settings;
}

// Closing the agent (the tray's Exit, a newer agent's start) while one of
// the WIA dialogs is open: the dialog goes with the agent, which ends in
// order with exit code 0 and writes its settings.
TEST(WiaAgentProcess, ClosingTheAgentWhileAWiaDialogIsOpenEndsItInOrder) {
    std::filesystem::path session(getenv("W32_SESSION"));
    WriteFileBytes(session / "wia-devices", "[device]\nid = dev-1\nname = Office Feeder\n");
    std::error_code ignored;
    std::filesystem::remove(session / "wia-held-devices", ignored);
    for (int request : {vexlo::kRequestScan, vexlo::kRequestSelectScanner}) {
        TempDir appData;
        std::filesystem::create_directories(appData.path() / "VexloDesktop");
        WriteFileBytes(appData.path() / "VexloDesktop/settings.ini",
                       "[settings]\nscan-mode=2\n[wia]\nwia-scanner=dev-1\n");
        AnswerRecorder client;
        ChildProcess agent = StartProgram({ProgramInBuild("agent_vexlo")}, appData.native());
        HWND window = nullptr;
        ASSERT_TRUE(
            PumpUntil([&] { return (window = FindWindowW(vexlo::kAgentWindowClass, nullptr)); }));
        const char16_t* title =
            request == vexlo::kRequestScan ? u"Office Feeder" : u"Выбор сканера";
        Send(window, client, request,
             request == vexlo::kRequestScan ? vexlo::kScanTypeGrey : vexlo::kInterfaceWia, 91);
        HWND dialog = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            dialog = FindWindowW(u"#32770", title);
            return dialog != nullptr && IsWindowVisible(dialog);
        })) << "request "
            << request;
        const bool scanning = request == vexlo::kRequestScan;
        EXPECT_EQ(ReadFileBytes(session / "wia-held-devices").find(" dev-1") != std::string::npos,
                  scanning)
            << "the device dialog's device is held";
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForProgram(agent, std::chrono::seconds(10)), 0) << "request " << request;
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(ReadFileBytes(session / "wia-held-devices").find(" dev-1"), std::string::npos)
            << "no device held after the close";
        EXPECT_NE(ReadFileBytes(appData.path() / "VexloDesktop/settings.ini").find("scan-mode=2"),
                  std::string::npos);
    }
}

}  // namespace
