#include "registry_dump.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "framework/raii.h"
#include "framework/text.h"

namespace vexlo::regsvr {
namespace {

std::string Quoted(std::u16string text) {
    std::string out = "\"";
    for (char c : fw::FromWide(CP_UTF8, text)) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "\"";
}

std::string Data(DWORD type, const std::string& bytes) {
    char buffer[32];
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && bytes.size() % 2 == 0) {
        std::u16string text(bytes.size() / 2, u'\0');
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(text.data()));
        while (!text.empty() && text.back() == 0) {
            text.pop_back();
        }
        return (type == REG_SZ ? "" : "expand:") + Quoted(text);
    }
    if (type == REG_DWORD && bytes.size() == 4) {
        DWORD value = 0;
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(&value));
        snprintf(buffer, sizeof buffer, "dword:%08x", value);
        return buffer;
    }
    snprintf(buffer, sizeof buffer, "hex(%x):", type);
    std::string out = buffer;
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x",
                 static_cast<unsigned char>(bytes[i]));
        out += buffer;
    }
    return out;
}

void DumpKey(HKEY key, const std::u16string& name, std::string& out) {
    out += "[" + fw::FromWide(CP_UTF8, name) + "]\n";
    std::vector<std::pair<std::u16string, std::string>> values;
    for (DWORD i = 0;; ++i) {
        char16_t valueName[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (::RegEnumValueW(key, i, valueName, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string bytes(size, '\0');
        if (::RegQueryValueExW(key, valueName, nullptr, &type,
                               reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS) {
            continue;
        }
        bytes.resize(size);
        std::u16string shown(valueName, nameLength);
        values.emplace_back(
            shown, (shown.empty() ? std::string("@") : Quoted(shown)) + "=" + Data(type, bytes));
    }
    std::sort(values.begin(), values.end());
    for (const auto& [valueName, line] : values) {
        out += line + "\n";
    }
    for (DWORD i = 0;; ++i) {
        char16_t subkey[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        fw::unique_hkey child;
        if (::RegOpenKeyExW(key, subkey, 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
            DumpKey(child.get(), name + u"\\" + std::u16string(subkey, length), out);
        }
    }
}

}  // namespace

std::optional<RegistryPath> ParseRegistryPath(const std::u16string& path) {
    size_t slash = path.find(u'\\');
    std::u16string root = path.substr(0, slash);
    std::u16string subkey = slash == std::u16string::npos ? u"" : path.substr(slash + 1);
    struct Known {
        const char16_t* name;
        const char16_t* longName;
        HKEY key;
    } known[] = {{u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                 {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                 {u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}};
    for (const Known& k : known) {
        if (root == k.name || root == k.longName) {
            return RegistryPath{k.key, k.name, subkey};
        }
    }
    return std::nullopt;
}

std::string DumpRegistry(const RegistryPath& path) {
    fw::unique_hkey key;
    if (::RegOpenKeyExW(path.root, path.subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return {};
    }
    std::string out;
    DumpKey(key.get(), path.subkey.empty() ? path.rootName : path.rootName + u"\\" + path.subkey,
            out);
    return out;
}

}  // namespace vexlo::regsvr
