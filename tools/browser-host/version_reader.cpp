#include "version_reader.h"

#include <cstdio>
#include <cstring>

namespace browser {

namespace {

// One node of the block: length, value length, type, key, value, children,
// each part aligned to 32 bits from the start of the block.
struct Node {
    std::u16string key;
    uint16_t type = 0;
    size_t valueOffset = 0;
    size_t valueBytes = 0;
    size_t childrenOffset = 0;
    size_t end = 0;
};

class Reader {
public:
    explicit Reader(const uint8_t* bytes) : data(bytes) {}

    uint16_t Word(size_t offset) const {
        return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
    }
    uint32_t Dword(size_t offset) const {
        return static_cast<uint32_t>(Word(offset)) |
               (static_cast<uint32_t>(Word(offset + 2)) << 16);
    }
    static size_t Align(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

    // Reads the node at offset within [offset, parentEnd); false when it
    // does not fit.
    bool Read(size_t offset, size_t parentEnd, Node* node) const {
        if (offset + 6 > parentEnd) {
            return false;
        }
        size_t length = Word(offset);
        size_t valueLength = Word(offset + 2);
        node->type = Word(offset + 4);
        if (length < 6 || offset + length > parentEnd) {
            return false;
        }
        node->end = offset + length;
        size_t position = offset + 6;
        node->key.clear();
        for (;;) {
            if (position + 2 > node->end) {
                return false;
            }
            char16_t c = static_cast<char16_t>(Word(position));
            position += 2;
            if (c == 0) {
                break;
            }
            node->key.push_back(c);
        }
        position = Align(position);
        // Text values count characters, binary ones bytes.
        size_t valueBytes = node->type == 1 ? valueLength * 2 : valueLength;
        if (position + valueBytes > node->end) {
            // Some writers count the text value in bytes, or leave it short.
            valueBytes = position <= node->end ? node->end - position : 0;
        }
        node->valueOffset = position;
        node->valueBytes = valueBytes;
        node->childrenOffset = Align(position + valueBytes);
        return true;
    }

    std::u16string Text(const Node& node) const {
        std::u16string text;
        for (size_t i = 0; i + 1 < node.valueBytes; i += 2) {
            char16_t c = static_cast<char16_t>(Word(node.valueOffset + i));
            if (c == 0) {
                break;
            }
            text.push_back(c);
        }
        return text;
    }

    template <class Visit>
    bool Children(const Node& parent, Visit visit) const {
        size_t offset = parent.childrenOffset;
        while (offset + 6 <= parent.end) {
            Node child;
            if (!Read(offset, parent.end, &child)) {
                return false;
            }
            visit(child);
            offset = Align(child.end);
        }
        return true;
    }

private:
    const uint8_t* data;
};

std::u16string Upper(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return text;
}

}  // namespace

std::optional<VersionInfo> VersionInfo::Parse(const void* data, size_t size) {
    if (data == nullptr || size < 6) {
        return std::nullopt;
    }
    Reader reader(static_cast<const uint8_t*>(data));
    Node root;
    if (!reader.Read(0, size, &root) || root.key != u"VS_VERSION_INFO") {
        return std::nullopt;
    }
    VersionInfo info;
    if (root.valueBytes >= 52 && reader.Dword(root.valueOffset) == 0xFEEF04BD) {
        info.fixed.fileVersionMS = reader.Dword(root.valueOffset + 8);
        info.fixed.fileVersionLS = reader.Dword(root.valueOffset + 12);
        info.fixed.productVersionMS = reader.Dword(root.valueOffset + 16);
        info.fixed.productVersionLS = reader.Dword(root.valueOffset + 20);
        info.fixed.fileType = reader.Dword(root.valueOffset + 36);
    }
    bool wellFormed = reader.Children(root, [&](const Node& section) {
        if (section.key == u"StringFileInfo") {
            reader.Children(section, [&](const Node& table) {
                auto& strings = info.tables[Upper(table.key)];
                reader.Children(
                    table, [&](const Node& entry) { strings[entry.key] = reader.Text(entry); });
            });
        } else if (section.key == u"VarFileInfo") {
            reader.Children(section, [&](const Node& var) {
                if (var.key != u"Translation") {
                    return;
                }
                for (size_t i = 0; i + 4 <= var.valueBytes; i += 4) {
                    info.translations.emplace_back(reader.Word(var.valueOffset + i),
                                                   reader.Word(var.valueOffset + i + 2));
                }
            });
        }
    });
    if (!wellFormed) {
        return std::nullopt;
    }
    return info;
}

std::optional<VersionInfo> VersionInfo::OfModule(HMODULE module) {
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
    if (resource == nullptr) {
        return std::nullopt;
    }
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    return Parse(data, ::SizeofResource(module, resource));
}

std::optional<std::u16string> VersionInfo::String(const std::u16string& key) const {
    if (!translations.empty()) {
        char name[16];
        std::snprintf(name, sizeof(name), "%04X%04X", translations.front().first,
                      translations.front().second);
        return String(std::u16string(name, name + 8), key);
    }
    if (tables.size() == 1) {
        return String(tables.begin()->first, key);
    }
    return std::nullopt;
}

std::optional<std::u16string> VersionInfo::String(const std::u16string& table,
                                                  const std::u16string& key) const {
    auto found = tables.find(Upper(table));
    if (found == tables.end()) {
        return std::nullopt;
    }
    auto value = found->second.find(key);
    if (value == found->second.end()) {
        return std::nullopt;
    }
    return value->second;
}

std::vector<std::string> SplitMimeTypes(const std::u16string& value) {
    std::vector<std::string> types;
    std::string current;
    for (char16_t c : value + u"|") {
        if (c == u'|') {
            size_t first = current.find_first_not_of(' ');
            size_t last = current.find_last_not_of(' ');
            if (first != std::string::npos) {
                types.push_back(current.substr(first, last - first + 1));
            }
            current.clear();
        } else if (c < 0x80) {
            current.push_back(static_cast<char>(c));
        }
    }
    return types;
}

}  // namespace browser
