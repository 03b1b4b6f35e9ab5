#include "agent/core/app_window.h"
#include "agent/scanning/twain_manager.h"
#include "agent/scanning/wia_scanner.h"

namespace vexlo {

// The scanners the program runs with.
ScannerFactory DefaultScannerFactory() {
    ScannerFactory factory;
    factory.makeTwain = [](IHost& host, const std::u16string& scannedFolder) {
        return MakeScanner<CTwainManager>(&host, scannedFolder);
    };
    factory.makeWia = [](IHost& host, const std::u16string& scannedFolder) {
        return MakeScanner<CVexloWiaScanner>(&host, scannedFolder);
    };
    factory.twainProcessEvent = [](IScanner& twain, MSG* msg) {
        static_cast<CTwainManager&>(twain).ProcessEvent(msg);
    };
    return factory;
}

}  // namespace vexlo
