// The agent's main window in the test's thread with the real WIA scanner
// (and the real TWAIN manager it falls back to), over the WIA device manager
// stand-in and the virtual devices that each test describes in the
// process's private session. The device dialog and the selection dialog are
// modal: what the person at the screen does in them is given as an action
// that runs inside their loops.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "twain_agent_fixture.h"

namespace vexlo::test {

// Writes the session's description of the virtual WIA devices.
void DescribeWiaDevices(const std::string& text);

inline constexpr const char16_t* kSelectionTitle = u"Выбор сканера";
inline constexpr const char* kWiaMode = "[settings]\nscan-mode=2\ntrace-level=4\n";
inline constexpr const char* kAutomaticMode = "[settings]\nscan-mode=1\ntrace-level=4\n";

class WiaAgent {
public:
    using Action = std::function<void(WiaAgent&)>;

    explicit WiaAgent(const std::string& devices, const std::string& settings = kWiaMode,
                      const std::string& twainSources = "");
    ~WiaAgent();
    WiaAgent(const WiaAgent&) = delete;
    WiaAgent& operator=(const WiaAgent&) = delete;

    // A scan request; atDialog runs inside the device dialog's loop (or, when
    // no dialog comes, once the agent is idle again).
    void Scan(int scanType, int jobId, const Action& atDialog = {});
    // A scanner selection request for the WIA interface; inDialog runs
    // inside the selection dialog's loop.
    void Select(const Action& inDialog = {});
    void Stop(int jobId) { agent.Stop(jobId); }
    void Send(const PluginRequest& request) { agent.Send(request); }
    void Pump() { agent.Pump(); }

    // The visible device dialog titled with the device's name, or null.
    HWND DeviceDialog(const std::u16string& name) const;
    HWND SelectionDialog() const;
    HWND SelectionList() const;
    std::vector<std::u16string> Rows() const;
    std::vector<int> SelectedRows() const;
    // The person at the screen: buttons and list rows.
    void PressScan(const std::u16string& deviceName);
    void PressCancel(const std::u16string& deviceName);
    void ClickRow(int row, bool control = false);
    void PressSelection(const std::u16string& button);

    std::vector<int> States() const { return agent.States(); }
    const std::vector<Answer>& Answers() const { return agent.Answers(); }
    std::vector<std::filesystem::path> ScannedFiles() const { return agent.ScannedFiles(); }
    std::deque<ScannedItem> Queued() { return agent.Queued(); }
    std::string Log() const { return agent.Log(); }
    CVexloWiaScanner& Wia() { return agent.Wia(); }
    TwainAgent& Twain() { return agent; }
    HWND ClientWindow() const { return agent.ClientWindow(); }
    // Actions that ran (a test whose action never ran fails).
    int actionsRun = 0;

private:
    void RunWith(const Action& action);

    struct ComApartment {
        ComApartment() { CoInitialize(nullptr); }
        ~ComApartment() { CoUninitialize(); }
    } apartment;
    TwainAgent agent;
};

}  // namespace vexlo::test
