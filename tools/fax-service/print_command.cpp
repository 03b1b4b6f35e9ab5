#include "print_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace faxservice {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool ParseInt(std::string_view text, int low, int high, int& out) {
    text = Trim(text);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && out >= low &&
           out <= high;
}

bool ParseSize(std::string_view text, PageSize& size) {
    size_t x = text.find_first_of("xX");
    return x != std::string_view::npos &&
           ParseInt(text.substr(0, x), 1, kMaxPageWidth, size.width) &&
           ParseInt(text.substr(x + 1), 1, kMaxPageHeight, size.height);
}

}  // namespace

std::optional<std::vector<PageSize>> ParsePrintCommand(std::string_view command,
                                                       std::string& error) {
    std::optional<int> pages;
    PageSize common{1678, 2373};
    std::optional<std::vector<PageSize>> sizes;
    std::vector<int> broken;

    if (Trim(command).empty()) {
        error = "empty print command";
        return std::nullopt;
    }
    while (!command.empty()) {
        size_t end = command.find(';');
        std::string_view item = Trim(command.substr(0, end));
        command = end == std::string_view::npos ? std::string_view() : command.substr(end + 1);
        if (item.empty()) {
            continue;
        }
        size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            error = "expected key=value, got \"" + std::string(item) + "\"";
            return std::nullopt;
        }
        std::string key = Lower(Trim(item.substr(0, eq)));
        std::string_view value = Trim(item.substr(eq + 1));
        int number = 0;
        if (key == "pages") {
            if (!ParseInt(value, 0, kMaxPrintPages, number)) {
                error = "pages must be 0 to " + std::to_string(kMaxPrintPages);
                return std::nullopt;
            }
            pages = number;
        } else if (key == "width") {
            if (!ParseInt(value, 1, kMaxPageWidth, common.width)) {
                error = "width must be 1 to " + std::to_string(kMaxPageWidth);
                return std::nullopt;
            }
        } else if (key == "height") {
            if (!ParseInt(value, 1, kMaxPageHeight, common.height)) {
                error = "height must be 1 to " + std::to_string(kMaxPageHeight);
                return std::nullopt;
            }
        } else if (key == "sizes") {
            sizes.emplace();
            while (!value.empty()) {
                size_t comma = value.find(',');
                PageSize size;
                if (!ParseSize(value.substr(0, comma), size)) {
                    error = "sizes must be WxH,WxH,... within 5000x7000";
                    return std::nullopt;
                }
                sizes->push_back(size);
                if (sizes->size() > kMaxPrintPages) {
                    error = "more than " + std::to_string(kMaxPrintPages) + " pages";
                    return std::nullopt;
                }
                value =
                    comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
            }
        } else if (key == "broken") {
            while (!value.empty()) {
                size_t comma = value.find(',');
                if (!ParseInt(value.substr(0, comma), 1, kMaxPrintPages, number)) {
                    error = "broken must list page numbers 1 to " + std::to_string(kMaxPrintPages);
                    return std::nullopt;
                }
                broken.push_back(number);
                value =
                    comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
            }
        } else {
            error = "unknown key \"" + key + "\"";
            return std::nullopt;
        }
    }

    std::vector<PageSize> result;
    if (sizes) {
        if (pages && *pages != static_cast<int>(sizes->size())) {
            error = "pages and sizes disagree";
            return std::nullopt;
        }
        result = std::move(*sizes);
    } else {
        result.assign(static_cast<size_t>(pages.value_or(1)), common);
    }
    for (int number : broken) {
        if (number > static_cast<int>(result.size())) {
            error = "broken names a page that is not there";
            return std::nullopt;
        }
        result[static_cast<size_t>(number - 1)].broken = true;
    }
    return result;
}

}  // namespace faxservice
