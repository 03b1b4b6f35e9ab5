#include "agent/core/app_window.h"

namespace vexlo {

// The scanners the program runs with; each scanner comes with its own
// library and registers itself here when it is linked in.
ScannerFactory DefaultScannerFactory() { return ScannerFactory{}; }

}  // namespace vexlo
