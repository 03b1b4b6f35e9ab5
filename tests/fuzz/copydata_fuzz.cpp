// The agent's request dispatcher in-process: any bytes a page's process can
// put into a WM_COPYDATA to the agent's window, including a message that
// claims data it does not carry. The agent runs with scanner doubles and a
// held scan worker; the answers go to a recording window.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "agent_fixture.h"
#include "fuzz_support.h"

namespace {

void Deliver(HWND agent, HWND client, const void* data, DWORD size, bool withStructure) {
    COPYDATASTRUCT copy = {};
    copy.cbData = size;
    copy.lpData = const_cast<void*>(data);
    SendMessageW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                 withStructure ? reinterpret_cast<LPARAM>(&copy) : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vexlo::test::AgentFixture& agent = vexlo::fuzz::Kept<vexlo::test::AgentFixture>();
    HWND client = agent.client.hwnd();
    Deliver(agent.hwnd(), client, data, static_cast<DWORD>(size), true);
    // The same size without the bytes, and no structure at all.
    Deliver(agent.hwnd(), client, nullptr, static_cast<DWORD>(size), true);
    Deliver(agent.hwnd(), client, nullptr, 0, false);
    vexlo::fuzz::Pump();
    // The doubles and the recorder keep what they saw; only this input's matters.
    agent.client.answers.clear();
    agent.client.desktopReplies.clear();
    for (vexlo::test::FakeScanner* scanner : {agent.twain, agent.wia}) {
        scanner->started.clear();
        scanner->selectClients.clear();
        scanner->stops.clear();
    }
    agent.window().PurgeCancelledItems();
    return 0;
}
