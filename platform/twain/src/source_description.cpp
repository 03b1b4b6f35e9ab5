#include "source_description.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <set>
#include <sstream>

#include "device_text.h"

namespace twain_dsm {
namespace {

using w32_devices::ListWords;
using w32_devices::Lower;
using w32_devices::ParseBool;
using w32_devices::ParseInt;
using w32_devices::Trim;
using w32_devices::Words;

std::optional<TW_UINT16> ParseItemType(const std::string& text) {
    static const std::pair<const char*, TW_UINT16> kTypes[] = {
        {"int8", TWTY_INT8},   {"int16", TWTY_INT16},   {"int32", TWTY_INT32},
        {"uint8", TWTY_UINT8}, {"uint16", TWTY_UINT16}, {"uint32", TWTY_UINT32},
        {"bool", TWTY_BOOL},   {"fix32", TWTY_FIX32},
    };
    std::string name = Lower(text);
    for (const auto& [typeName, type] : kTypes) {
        if (name == typeName) {
            return type;
        }
    }
    return std::nullopt;
}

std::optional<PageSpec> ParsePage(const std::string& text) {
    std::vector<std::string> words = Words(text);
    if (words.size() < 2) {
        return std::nullopt;
    }
    PageSpec page;
    std::optional<int> bits = ParseInt(words[0]);
    if (!bits || (*bits != 1 && *bits != 8 && *bits != 24)) {
        return std::nullopt;
    }
    page.bitsPerPixel = *bits;
    const std::string kFilePrefix = "file:";
    if (words[1].rfind(kFilePrefix, 0) == 0) {
        // The rest of the line is the path, blanks included.
        size_t at = text.find(kFilePrefix);
        page.file = Trim(text.substr(at + kFilePrefix.size()));
        return page.file.empty() ? std::nullopt : std::optional<PageSpec>(page);
    }
    if (words.size() != 3) {
        return std::nullopt;
    }
    std::optional<int> width = ParseInt(words[1]);
    std::optional<int> height = ParseInt(words[2]);
    // Bounded so that a page's DIB stays well inside 32-bit sizes.
    if (!width || !height || *width < 1 || *height < 1 || *width > 20000 || *height > 30000) {
        return std::nullopt;
    }
    page.width = *width;
    page.height = *height;
    return page;
}

CapContainer DefaultResolutions() {
    CapContainer container;
    container.conType = TWON_ENUMERATION;
    container.itemType = TWTY_FIX32;
    container.values = {{100, 0}, {200, 0}, {300, 0}};
    return container;
}

}  // namespace

const PageSpec& SourceDescription::Page(int index) const {
    static const PageSpec kDefaultPage;
    return w32_devices::PageAt(pageSpecs, index, kDefaultPage);
}

std::optional<CapValue> ParseCapValue(const std::string& text) {
    std::string value = Trim(text);
    if (value.empty()) {
        return std::nullopt;
    }
    double number = 0;
    const char* end = value.data() + value.size();
    auto result = std::from_chars(value.data(), end, number);
    // "nan" reads as a number that no range test refuses.
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(number) ||
        number < -32768.0 || number >= 32768.0) {
        return std::nullopt;
    }
    // TW_FIX32 rounds to the nearest 1/65536 with the fraction kept positive.
    long scaled = std::lround(number * 65536.0);
    CapValue parts;
    parts.whole = static_cast<int32_t>(std::floor(static_cast<double>(scaled) / 65536.0));
    parts.frac = static_cast<uint16_t>(scaled - static_cast<long>(parts.whole) * 65536);
    return parts;
}

std::optional<CapContainer> ParseContainer(const std::string& text) {
    std::vector<std::string> words = Words(text);
    if (words.empty()) {
        return std::nullopt;
    }
    CapContainer container;
    std::string kind = Lower(words[0]);
    if (kind == "none") {
        if (words.size() != 1) {
            return std::nullopt;
        }
        container.supported = false;
        container.values.clear();
        return container;
    }
    if (kind == "enumeration") {
        container.conType = TWON_ENUMERATION;
    } else if (kind == "array") {
        container.conType = TWON_ARRAY;
    } else if (kind == "onevalue") {
        container.conType = TWON_ONEVALUE;
    } else if (kind == "range") {
        container.conType = TWON_RANGE;
    } else {
        return std::nullopt;
    }
    if (words.size() < 2) {
        return std::nullopt;
    }
    std::optional<TW_UINT16> itemType = ParseItemType(words[1]);
    if (!itemType) {
        return std::nullopt;
    }
    container.itemType = *itemType;
    for (size_t i = 2; i < words.size(); ++i) {
        std::optional<CapValue> value = ParseCapValue(words[i]);
        if (!value) {
            return std::nullopt;
        }
        // Only FIX32 items carry a fraction.
        if (container.itemType != TWTY_FIX32 && value->frac != 0) {
            return std::nullopt;
        }
        container.values.push_back(*value);
    }
    size_t count = container.values.size();
    if ((container.conType == TWON_ONEVALUE && count != 1) ||
        (container.conType == TWON_RANGE && count != 3)) {
        return std::nullopt;
    }
    if (container.conType == TWON_RANGE) {
        const CapValue& min = container.values[0];
        const CapValue& max = container.values[1];
        const CapValue& step = container.values[2];
        if (step.whole < 0 || (step.whole == 0 && step.frac == 0) || max.whole < min.whole ||
            (max.whole == min.whole && max.frac < min.frac)) {
            return std::nullopt;
        }
    }
    return container;
}

SessionDescription ParseDescription(const std::string& text, std::vector<std::string>* errors) {
    SessionDescription session;
    enum class Section { kNone, kManager, kSource } section = Section::kNone;
    std::optional<SourceDescription> source;
    bool ySet = false;
    std::set<std::string> names;

    auto report = [errors](int line, const std::string& what) {
        if (errors != nullptr) {
            errors->push_back("line " + std::to_string(line) + ": " + what);
        }
    };
    auto finishSource = [&](int line) {
        if (!source) {
            return;
        }
        if (!ySet) {
            source->yResolution = source->xResolution;
        }
        if (source->productName.empty()) {
            report(line, "source without a name dropped");
        } else if (!names.insert(source->productName).second) {
            report(line, "second source named \"" + source->productName + "\" dropped");
        } else {
            session.sources.push_back(*source);
        }
        source.reset();
    };

    std::istringstream in(text);
    std::string rawLine;
    int lineNumber = 0;
    while (std::getline(in, rawLine)) {
        ++lineNumber;
        std::string line = Trim(rawLine);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            std::string name = Lower(Trim(line.substr(1, line.size() - 2)));
            finishSource(lineNumber);
            if (name == "source") {
                section = Section::kSource;
                source = SourceDescription{};
                source->xResolution = DefaultResolutions();
                ySet = false;
            } else if (name == "manager") {
                section = Section::kManager;
            } else {
                section = Section::kNone;
                report(lineNumber, "unknown section [" + name + "]");
            }
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            report(lineNumber, "expected key = value");
            continue;
        }
        std::string key = Lower(Trim(line.substr(0, equals)));
        std::string value = Trim(line.substr(equals + 1));

        if (section == Section::kManager) {
            if (key == "fail") {
                for (const std::string& item : ListWords(Lower(value))) {
                    if (item == "open-dsm") {
                        session.failOpenDsm = true;
                    } else {
                        report(lineNumber, "unknown failure " + item);
                    }
                }
            } else {
                report(lineNumber, "unknown key " + key);
            }
            continue;
        }
        if (section != Section::kSource || !source) {
            report(lineNumber, "key outside a section");
            continue;
        }

        SourceDescription& s = *source;
        bool good = true;
        if (key == "name") {
            s.productName = value;
        } else if (key == "manufacturer") {
            s.manufacturer = value;
        } else if (key == "family") {
            s.productFamily = value;
        } else if (key == "x-resolution" || key == "y-resolution") {
            std::optional<CapContainer> container = ParseContainer(value);
            if (!container) {
                good = false;
            } else if (key == "x-resolution") {
                s.xResolution = *container;
            } else {
                s.yResolution = *container;
                ySet = true;
            }
        } else if (key == "resolution") {
            s.resolution = ParseCapValue(value);
            good = s.resolution.has_value();
        } else if (key == "pages") {
            std::optional<int> pages = ParseInt(value);
            good = pages && *pages >= 1 && *pages <= 1000;
            if (good) {
                s.pages = *pages;
            }
        } else if (key == "page") {
            std::optional<PageSpec> page = ParsePage(value);
            good = page.has_value();
            if (good) {
                s.pageSpecs.push_back(*page);
            }
        } else if (key == "keep-open") {
            std::optional<bool> flag = ParseBool(value);
            good = flag.has_value();
            s.keepOpen = flag.value_or(false);
        } else if (key == "xfer-limit") {
            std::optional<int> limit = ParseInt(value);
            good = limit && *limit >= 1 && *limit <= 32767;
            if (good) {
                s.xferLimit = *limit;
            }
        } else if (key == "fail") {
            for (const std::string& item : ListWords(Lower(value))) {
                if (item == "image-info") {
                    s.failImageInfo = true;
                } else if (item == "enable") {
                    s.failEnable = true;
                } else if (item == "disable") {
                    s.failDisable = true;
                } else if (item == "open") {
                    s.failOpen = true;
                } else if (item == "transfer-cancel") {
                    s.transferCancel = true;
                } else if (item == "transfer-failure") {
                    s.transferFailure = true;
                } else {
                    report(lineNumber, "unknown failure " + item);
                }
            }
        } else if (key == "fail-page") {
            std::optional<int> page = ParseInt(value);
            good = page && *page >= 1;
            if (good) {
                s.failPage = *page;
            }
        } else if (key == "pump") {
            for (const std::string& item : ListWords(Lower(value))) {
                if (item == "transfer") {
                    s.pumpDuringTransfer = true;
                } else if (item == "feed") {
                    s.pumpDuringFeed = true;
                } else {
                    report(lineNumber, "unknown pump point " + item);
                }
            }
        } else {
            report(lineNumber, "unknown key " + key);
            continue;
        }
        if (!good) {
            report(lineNumber, "bad value for " + key + ": " + value);
        }
    }
    finishSource(lineNumber);
    return session;
}

}  // namespace twain_dsm
