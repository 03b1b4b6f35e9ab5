#include "agent/core/app_window.h"
#include "agent/scanning/twain_manager.h"

namespace vexlo {

// The scanners the program runs with.
ScannerFactory DefaultScannerFactory() {
    ScannerFactory factory;
    factory.makeTwain = [](IHost& host, const std::u16string& scannedFolder) {
        return MakeScanner<CTwainManager>(&host, scannedFolder);
    };
    factory.twainProcessEvent = [](IScanner& twain, MSG* msg) {
        static_cast<CTwainManager&>(twain).ProcessEvent(msg);
    };
    return factory;
}

}  // namespace vexlo
