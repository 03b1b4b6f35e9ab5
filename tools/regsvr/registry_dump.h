// A registry subtree as text, in the form of a .reg file: each key as
// "[ROOT\path]" in enumeration order, then its values sorted by name as
// "@" or "\"name\"" = data, data being "text" (REG_SZ, REG_EXPAND_SZ),
// dword:0000000a (REG_DWORD) or hex(type):0a,0b (other types).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vexlo::regsvr {

// "HKCR\CLSID\{...}" into its root and subkey; nothing for an unknown root.
struct RegistryPath {
    HKEY root;
    std::u16string rootName;
    std::u16string subkey;
};
std::optional<RegistryPath> ParseRegistryPath(const std::u16string& path);

// UTF-8 text of the subtree; empty when the key does not exist.
std::string DumpRegistry(const RegistryPath& path);

}  // namespace vexlo::regsvr
