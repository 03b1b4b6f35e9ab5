#include "framework/version_block.h"

#include <cstdio>
#include <cstring>

namespace vexlo {

namespace {

enum : uint16_t { kBinary = 0, kText = 1 };

// Writes the little-endian words of one block; each node is a header
// (length, value length, type), its key, padding to 32 bits, the value,
// padding, and its children, and its length is patched in at the end.
class Writer {
public:
    size_t Begin(const std::u16string& key, uint16_t valueLength, uint16_t type) {
        size_t start = bytes.size();
        Word(0);
        Word(valueLength);
        Word(type);
        Text(key);
        Align();
        return start;
    }
    void End(size_t start) {
        size_t length = bytes.size() - start;
        bytes[start] = static_cast<uint8_t>(length & 0xFF);
        bytes[start + 1] = static_cast<uint8_t>(length >> 8);
    }
    void Word(uint16_t value) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    void Dword(uint32_t value) {
        Word(static_cast<uint16_t>(value & 0xFFFF));
        Word(static_cast<uint16_t>(value >> 16));
    }
    void Text(const std::u16string& text) {
        for (char16_t c : text) {
            Word(static_cast<uint16_t>(c));
        }
        Word(0);
    }
    void Align() {
        while (bytes.size() % 4 != 0) {
            bytes.push_back(0);
        }
    }

    std::vector<uint8_t> bytes;
};

uint32_t High(const uint16_t (&version)[4]) {
    return (static_cast<uint32_t>(version[0]) << 16) | version[1];
}
uint32_t Low(const uint16_t (&version)[4]) {
    return (static_cast<uint32_t>(version[2]) << 16) | version[3];
}

std::u16string TableKey(uint16_t language, uint16_t codePage) {
    char key[16];
    std::snprintf(key, sizeof(key), "%04X%04X", language, codePage);
    return std::u16string(key, key + 8);
}

}  // namespace

std::vector<uint8_t> BuildVersionBlock(const VersionBlockContent& content) {
    Writer out;
    size_t root = out.Begin(u"VS_VERSION_INFO", 52, kBinary);
    out.Dword(kFixedFileInfoSignature);
    out.Dword(kFixedFileInfoStructVersion);
    out.Dword(High(content.fileVersion));
    out.Dword(Low(content.fileVersion));
    out.Dword(High(content.productVersion));
    out.Dword(Low(content.productVersion));
    out.Dword(kFileFlagsMask);
    out.Dword(0);  // no flags
    out.Dword(kFileOsWindows32);
    out.Dword(content.fileType);
    out.Dword(0);  // subtype
    out.Dword(0);  // date
    out.Dword(0);
    out.Align();

    size_t stringInfo = out.Begin(u"StringFileInfo", 0, kText);
    size_t table = out.Begin(TableKey(content.language, content.codePage), 0, kText);
    for (const auto& [key, value] : content.strings) {
        // The value length counts characters with the terminator.
        size_t entry = out.Begin(key, static_cast<uint16_t>(value.size() + 1), kText);
        out.Text(value);
        out.End(entry);
        out.Align();
    }
    out.End(table);
    out.End(stringInfo);
    out.Align();

    size_t varInfo = out.Begin(u"VarFileInfo", 0, kText);
    size_t translation = out.Begin(u"Translation", 4, kBinary);
    out.Word(content.language);
    out.Word(content.codePage);
    out.End(translation);
    out.End(varInfo);
    out.End(root);
    return out.bytes;
}

}  // namespace vexlo
