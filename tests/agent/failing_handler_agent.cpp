// A test host: the agent's own run (window, workers, guarded message loop)
// with scanners whose selection throws, so that a request from another
// process makes a message handler fail during that process's send.
#include <windows.h>

#include <stdexcept>

#include "agent/core/agent_main.h"

namespace {

class FailingScanner final : public vexlo::IScanner {
public:
    HRESULT StartScan(vexlo::ScanJob) override { return S_OK; }
    HRESULT SelectScanner(HWND) override { throw std::runtime_error("the selection failed"); }
    int GetState() override { return vexlo::kScannerIdle; }
    void StopScan(int) override {}
    int GetJobId() override { return 0; }
    std::u16string GetSelectedScanner() override { return u""; }
};

}  // namespace

int main() {
    fw::CAppModule module;
    module.Init(nullptr);
    vexlo::ScannerFactory scanners;
    scanners.makeTwain = [](vexlo::IHost&, const std::u16string&) {
        return vexlo::MakeScanner<FailingScanner>();
    };
    scanners.makeWia = scanners.makeTwain;
    int code = vexlo::RunAgent(module, std::move(scanners));
    module.Term();
    return code;
}
