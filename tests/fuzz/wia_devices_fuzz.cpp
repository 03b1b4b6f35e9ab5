// The simulated WIA devices' description ("wia-devices" in the session), as
// the device manager reads it: any text.
#include <string>
#include <vector>

#include "device_description.h"
#include "fuzz_support.h"

using vexlo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> errors;
    wia_service::SessionDescription session =
        wia_service::ParseDescription(vexlo::fuzz::Text(data, size), &errors);
    for (const wia_service::DeviceDescription& device : session.devices) {
        Require(!device.id.empty());
        Require(session.Find(device.id) != nullptr);
        for (int page = 0; page < device.pages && page < 4; ++page) {
            const wia_service::PageSpec& spec = device.Page(page);
            Require(spec.width >= 1 && spec.height >= 1);
        }
    }
    return 0;
}
