#include "page.h"

#include "js_text.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace browser {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool ReadFile(const std::filesystem::path& file, std::string* text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    *text = bytes.str();
    return true;
}

// A character reference's value as UTF-8; no character gives U+FFFD.
void AppendReference(unsigned long value, std::string* out) {
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        value = 0xFFFD;
    }
    AppendUtf8(static_cast<char32_t>(value), out);
}

// Character references of attribute values: the common named ones and
// numeric ones; anything else stays as written.
std::string DecodeEntities(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out.push_back(text[i]);
            continue;
        }
        size_t semicolon = text.find(';', i);
        if (semicolon == std::string::npos || semicolon - i > 10) {
            out.push_back('&');
            continue;
        }
        std::string name = text.substr(i + 1, semicolon - i - 1);
        if (name == "amp") {
            out.push_back('&');
        } else if (name == "lt") {
            out.push_back('<');
        } else if (name == "gt") {
            out.push_back('>');
        } else if (name == "quot") {
            out.push_back('"');
        } else if (name == "apos") {
            out.push_back('\'');
        } else if (name.size() > 1 && name[0] == '#') {
            bool hex = name[1] == 'x' || name[1] == 'X';
            std::string digits = name.substr(hex ? 2 : 1);
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                out.push_back('&');
                continue;
            }
            AppendReference(std::stoul(digits, nullptr, hex ? 16 : 10), &out);
        } else {
            out.push_back('&');
            continue;
        }
        i = semicolon;
    }
    return out;
}

// Reads the attributes of a start tag from position (just after its name)
// to its '>'; position ends after the tag.
std::vector<std::pair<std::string, std::string>> ReadAttributes(const std::string& html,
                                                                size_t* position) {
    std::vector<std::pair<std::string, std::string>> attributes;
    size_t i = *position;
    auto skipSpace = [&] {
        while (i < html.size() && std::isspace(static_cast<unsigned char>(html[i]))) {
            ++i;
        }
    };
    for (;;) {
        skipSpace();
        if (i >= html.size()) {
            break;
        }
        if (html[i] == '>') {
            ++i;
            break;
        }
        if (html[i] == '/') {
            ++i;
            continue;
        }
        size_t nameStart = i;
        while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
               html[i] != '=' && html[i] != '>' && html[i] != '/') {
            ++i;
        }
        std::string name = Lower(html.substr(nameStart, i - nameStart));
        skipSpace();
        std::string value;
        if (i < html.size() && html[i] == '=') {
            ++i;
            skipSpace();
            if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                char quote = html[i++];
                size_t end = html.find(quote, i);
                if (end == std::string::npos) {
                    end = html.size();
                }
                value = html.substr(i, end - i);
                i = end < html.size() ? end + 1 : end;
            } else {
                size_t valueStart = i;
                while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
                       html[i] != '>') {
                    ++i;
                }
                value = html.substr(valueStart, i - valueStart);
            }
        }
        if (!name.empty()) {
            attributes.emplace_back(name, DecodeEntities(value));
        }
    }
    *position = i;
    return attributes;
}

std::string Find(const std::vector<std::pair<std::string, std::string>>& attributes,
                 const std::string& name) {
    for (const auto& [key, value] : attributes) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

bool Has(const std::vector<std::pair<std::string, std::string>>& attributes,
         const std::string& name) {
    for (const auto& attribute : attributes) {
        if (attribute.first == name) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string EmbedElement::Attribute(const std::string& name) const {
    return Find(attributes, name);
}

bool ParseHtml(const std::string& html, const std::filesystem::path& folder,
               const std::string& origin, Page* page, std::string* error) {
    const std::string lower = Lower(html);
    size_t i = 0;
    while ((i = lower.find('<', i)) != std::string::npos) {
        if (lower.compare(i, 4, "<!--") == 0) {
            size_t end = lower.find("-->", i + 4);
            i = end == std::string::npos ? lower.size() : end + 3;
            continue;
        }
        size_t nameStart = i + 1;
        size_t nameEnd = nameStart;
        while (nameEnd < lower.size() && std::isalnum(static_cast<unsigned char>(lower[nameEnd]))) {
            ++nameEnd;
        }
        std::string tag = lower.substr(nameStart, nameEnd - nameStart);
        size_t position = nameEnd;
        if (tag == "script") {
            auto attributes = ReadAttributes(html, &position);
            size_t close = lower.find("</script", position);
            if (close == std::string::npos) {
                close = lower.size();
            }
            PageScript script;
            if (Has(attributes, "src")) {
                std::filesystem::path file = folder / Find(attributes, "src");
                if (!ReadFile(file, &script.source)) {
                    *error = "cannot read the script " + file.string();
                    return false;
                }
                script.origin = file.string();
            } else {
                script.source = html.substr(position, close - position);
                script.origin = origin;
            }
            page->scripts.push_back(std::move(script));
            size_t end = lower.find('>', close);
            i = end == std::string::npos ? lower.size() : end + 1;
        } else if (tag == "embed" || tag == "iframe") {
            EmbedElement element;
            element.attributes = ReadAttributes(html, &position);
            (tag == "embed" ? page->embeds : page->frames).push_back(std::move(element));
            i = position;
        } else {
            i = nameEnd;
        }
    }
    return true;
}

bool LoadPage(const std::filesystem::path& file, Page* page, std::string* error) {
    std::string text;
    if (!ReadFile(file, &text)) {
        *error = "cannot read the page " + file.string();
        return false;
    }
    if (Lower(file.extension().string()) == ".js") {
        page->scripts.push_back(PageScript{text, file.string()});
        return true;
    }
    return ParseHtml(text, file.parent_path(), file.string(), page, error);
}

}  // namespace browser
