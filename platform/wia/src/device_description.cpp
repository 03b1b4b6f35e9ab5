#include "device_description.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "device_text.h"

namespace wia_service {
namespace {

using w32_devices::ListWords;
using w32_devices::Lower;
using w32_devices::ParseBool;
using w32_devices::ParseInt;
using w32_devices::Trim;
using w32_devices::Wide;

std::optional<HRESULT> ParseResult(const std::string& text) {
    std::string value = Lower(text);
    if (value == "s_ok")
        return S_OK;
    if (value == "s_false")
        return S_FALSE;
    if (value == "e_fail")
        return E_FAIL;
    if (value == "e_invalidarg")
        return E_INVALIDARG;
    if (value == "e_abort")
        return E_ABORT;
    if (value.rfind("0x", 0) != 0 || value.size() < 3 || value.size() > 10) {
        return std::nullopt;
    }
    uint32_t number = 0;
    const char* end = value.data() + value.size();
    auto result = std::from_chars(value.data() + 2, end, number, 16);
    if (result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return static_cast<HRESULT>(number);
}

std::optional<int> ParseType(const std::string& text) {
    std::string value = Lower(text);
    if (value == "scanner")
        return 1;
    if (value == "camera")
        return 2;
    if (value == "video")
        return 3;
    std::optional<int> number = ParseInt(value);
    if (number && *number >= 0 && *number <= 0xFFFF) {
        return number;
    }
    return std::nullopt;
}

std::optional<PageSpec> ParsePage(const std::string& text) {
    std::vector<std::string> words = ListWords(text);
    if (words.size() != 3) {
        return std::nullopt;
    }
    std::optional<int> bits = ParseInt(words[0]);
    std::optional<int> width = ParseInt(words[1]);
    std::optional<int> height = ParseInt(words[2]);
    if (!bits || (*bits != 1 && *bits != 8 && *bits != 24) || !width || !height || *width < 1 ||
        *height < 1 || *width > 20000 || *height > 30000) {
        return std::nullopt;
    }
    return PageSpec{*bits, *width, *height};
}

// One "key = value" of a device; false when the line is not understood.
bool ApplyDeviceKey(DeviceDescription& device, const std::string& key, const std::string& value) {
    if (key == "id") {
        device.id = Wide(value);
        return !device.id.empty();
    }
    if (key == "name") {
        device.name = Wide(value);
        return true;
    }
    if (key == "type") {
        std::optional<int> type = ParseType(value);
        device.stiType = type.value_or(device.stiType);
        return type.has_value();
    }
    if (key == "unplugged" || key == "feeder") {
        std::optional<bool> flag = ParseBool(value);
        (key == "unplugged" ? device.unplugged : device.feeder) = flag.value_or(false);
        return flag.has_value();
    }
    if (key == "resolution") {
        if (Lower(value) == "none") {
            device.resolution.reset();
            return true;
        }
        std::optional<int> dpi = ParseInt(value);
        if (dpi && *dpi > 0) {
            device.resolution = dpi;
        }
        return dpi && *dpi > 0;
    }
    if (key == "refuse") {
        for (const std::string& word : ListWords(value)) {
            std::optional<int> dpi = ParseInt(word);
            if (!dpi) {
                return false;
            }
            device.refused.insert(*dpi);
        }
        return true;
    }
    if (key == "refuse-with" || key == "transfer-result") {
        std::optional<HRESULT> result = ParseResult(value);
        if (result) {
            (key == "refuse-with" ? device.refuseWith : device.transferResult) = *result;
        }
        return result.has_value();
    }
    if (key == "pages" || key == "dialog-items" || key == "fail-page") {
        std::optional<int> count = ParseInt(value);
        if (!count || *count < 0 || *count > 1000) {
            return false;
        }
        int& field = key == "pages"          ? device.pages
                     : key == "dialog-items" ? device.dialogItems
                                             : device.failPage;
        field = *count;
        return true;
    }
    if (key == "page") {
        std::optional<PageSpec> page = ParsePage(value);
        if (page) {
            device.pageSpecs.push_back(*page);
        }
        return page.has_value();
    }
    if (key == "fail") {
        for (const std::string& word : ListWords(Lower(value))) {
            if (word == "create-device") {
                device.failCreateDevice = true;
            } else if (word == "dialog") {
                device.failDialog = true;
            } else if (word == "transfer") {
                device.failTransfer = true;
            } else if (word == "format") {
                device.failFormat = true;
            } else if (word == "medium") {
                device.failMedium = true;
            } else if (word == "data-transfer") {
                device.failDataTransfer = true;
            } else {
                return false;
            }
        }
        return true;
    }
    return false;
}

}  // namespace

const PageSpec& DeviceDescription::Page(int index) const {
    static const PageSpec kDefaultPage;
    return w32_devices::PageAt(pageSpecs, index, kDefaultPage);
}

const DeviceDescription* SessionDescription::Find(const std::u16string& id) const {
    for (const DeviceDescription& device : devices) {
        if (device.id == id) {
            return &device;
        }
    }
    return nullptr;
}

SessionDescription ParseDescription(const std::string& text, std::vector<std::string>* errors) {
    enum class Section { None, Manager, Device } section = Section::None;
    SessionDescription description;
    std::vector<DeviceDescription> devices;
    auto report = [&](int number, const std::string& line) {
        if (errors != nullptr) {
            errors->push_back("line " + std::to_string(number) + ": " + line);
        }
    };
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (Lower(line) == "[device]") {
            section = Section::Device;
            devices.emplace_back();
            continue;
        }
        if (Lower(line) == "[manager]") {
            section = Section::Manager;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos || section == Section::None) {
            report(number, line);
            continue;
        }
        std::string key = Lower(Trim(line.substr(0, equals)));
        std::string value = Trim(line.substr(equals + 1));
        bool understood = false;
        if (section == Section::Manager) {
            understood = key == "fail" && Lower(value) == "absent";
            description.managerAbsent = description.managerAbsent || understood;
        } else {
            understood = ApplyDeviceKey(devices.back(), key, value);
        }
        if (!understood) {
            report(number, line);
        }
    }
    for (DeviceDescription& device : devices) {
        if (!device.id.empty()) {
            description.devices.push_back(std::move(device));
        }
    }
    return description;
}

SessionDescription LoadSessionDescription() {
    std::ifstream file(SessionDirectory() + "/wia-devices", std::ios::binary);
    if (!file) {
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseDescription(text.str(), nullptr);
}

}  // namespace wia_service
