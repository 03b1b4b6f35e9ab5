// Reads a module's version block the way Windows browsers do before they
// load a plug-in: the fixed file information, the translations, and the
// string values of a table ("\StringFileInfo\040904E4\MIMEType").
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace browser {

struct FixedFileInfo {
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t fileType = 0;
};

class VersionInfo {
public:
    // Null when the data is no well-formed version block.
    static std::optional<VersionInfo> Parse(const void* data, size_t size);
    // The module's RT_VERSION resource number 1.
    static std::optional<VersionInfo> OfModule(HMODULE module);

    const FixedFileInfo& Fixed() const { return fixed; }
    // Language and code page pairs of "\VarFileInfo\Translation".
    const std::vector<std::pair<uint16_t, uint16_t>>& Translations() const { return translations; }
    // A value of the string table of the first translation (or of the only
    // table when there is no translation list); nothing when it is missing.
    std::optional<std::u16string> String(const std::u16string& key) const;
    // A value of a named table ("040904E4").
    std::optional<std::u16string> String(const std::u16string& table,
                                         const std::u16string& key) const;

private:
    FixedFileInfo fixed;
    std::vector<std::pair<uint16_t, uint16_t>> translations;
    std::map<std::u16string, std::map<std::u16string, std::u16string>> tables;
};

// The MIME types of a "MIMEType" value, split at '|'.
std::vector<std::string> SplitMimeTypes(const std::u16string& value);

}  // namespace browser
