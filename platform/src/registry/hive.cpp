// The hive in memory and on disk. The file is read as untrusted bytes: every
// count and length is checked against what remains, and nesting is bounded.
#include "registry/hive.h"

#include <algorithm>
#include <cstring>

namespace w32::registry {
namespace {

char16_t FoldUnit(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    // Latin-1 and Cyrillic lower-case letters.
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F)) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<char16_t>(c - 0x50);
    }
    return c;
}

bool FoldedLess(std::u16string_view a, std::u16string_view b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](char16_t x, char16_t y) { return FoldUnit(x) < FoldUnit(y); });
}

constexpr char kMagic[8] = {'W', '3', '2', 'H', 'I', 'V', 'E', '1'};
// Windows allows 512 levels of keys.
constexpr int kMaxDepth = 512;

class Writer {
public:
    void U32(uint32_t v) { Bytes(&v, sizeof v); }
    void U64(uint64_t v) { Bytes(&v, sizeof v); }
    void Text(const std::u16string& s) {
        U32(static_cast<uint32_t>(s.size()));
        Bytes(s.data(), s.size() * sizeof(char16_t));
    }
    void Bytes(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
    void KeyTree(const Key& key) {
        Text(key.name);
        U64(key.serial);
        U32(static_cast<uint32_t>(key.values.size()));
        for (const Value& value : key.values) {
            Text(value.name);
            U32(value.type);
            U32(static_cast<uint32_t>(value.data.size()));
            Bytes(value.data.data(), value.data.size());
        }
        U32(static_cast<uint32_t>(key.subkeys.size()));
        for (const Key& subkey : key.subkeys) {
            KeyTree(subkey);
        }
    }
    std::string out;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : in(bytes) {}
    bool Bytes(void* p, size_t n) {
        if (n > in.size()) {
            return false;
        }
        memcpy(p, in.data(), n);
        in.remove_prefix(n);
        return true;
    }
    bool U32(uint32_t& v) { return Bytes(&v, sizeof v); }
    bool U64(uint64_t& v) { return Bytes(&v, sizeof v); }
    bool Text(std::u16string& s) {
        uint32_t units = 0;
        if (!U32(units) || units > in.size() / sizeof(char16_t)) {
            return false;
        }
        s.resize(units);
        return Bytes(s.data(), units * sizeof(char16_t));
    }
    bool KeyTree(Key& key, int depth) {
        uint32_t count = 0;
        if (depth > kMaxDepth || !Text(key.name) || !U64(key.serial) || !U32(count) ||
            count > in.size()) {
            return false;
        }
        key.values.resize(count);
        for (Value& value : key.values) {
            uint32_t size = 0;
            if (!Text(value.name) || !U32(value.type) || !U32(size) || size > in.size()) {
                return false;
            }
            value.data.assign(in.data(), size);
            in.remove_prefix(size);
        }
        if (!U32(count) || count > in.size()) {
            return false;
        }
        key.subkeys.resize(count);
        for (size_t i = 0; i < key.subkeys.size(); ++i) {
            if (!KeyTree(key.subkeys[i], depth + 1)) {
                return false;
            }
            // Order and uniqueness are what lookups rely on.
            if (i > 0 && !FoldedLess(key.subkeys[i - 1].name, key.subkeys[i].name)) {
                return false;
            }
        }
        return true;
    }
    bool AtEnd() const { return in.empty(); }

private:
    std::string_view in;
};

}  // namespace

std::u16string Fold(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        c = FoldUnit(c);
    }
    return folded;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return FoldUnit(x) == FoldUnit(y); });
}

Key* Key::Subkey(std::u16string_view name) {
    return const_cast<Key*>(static_cast<const Key*>(this)->Subkey(name));
}

const Key* Key::Subkey(std::u16string_view name) const {
    auto it = std::lower_bound(
        subkeys.begin(), subkeys.end(), name,
        [](const Key& key, std::u16string_view n) { return FoldedLess(key.name, n); });
    return it != subkeys.end() && SameName(it->name, name) ? &*it : nullptr;
}

Value* Key::FindValue(std::u16string_view name) {
    return const_cast<Value*>(static_cast<const Key*>(this)->FindValue(name));
}

const Value* Key::FindValue(std::u16string_view name) const {
    for (const Value& value : values) {
        if (SameName(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

Key& Key::AddSubkey(std::u16string name, uint64_t serial) {
    auto it = std::lower_bound(
        subkeys.begin(), subkeys.end(), name,
        [](const Key& key, std::u16string_view n) { return FoldedLess(key.name, n); });
    Key key;
    key.name = std::move(name);
    key.serial = serial;
    return *subkeys.insert(it, std::move(key));
}

bool Key::RemoveSubkey(std::u16string_view name) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
        if (SameName(it->name, name)) {
            subkeys.erase(it);
            return true;
        }
    }
    return false;
}

Key* Hive::Find(const Path& path) {
    return const_cast<Key*>(static_cast<const Hive*>(this)->Find(path));
}

const Key* Hive::Find(const Path& path) const {
    const Key* key = &root;
    for (const auto& name : path) {
        key = key->Subkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

Key& Hive::Create(const Path& path, bool* created) {
    Key* key = &root;
    *created = false;
    for (const auto& name : path) {
        Key* next = key->Subkey(name);
        if (next == nullptr) {
            next = &key->AddSubkey(name, nextSerial++);
            *created = true;
        }
        key = next;
    }
    return *key;
}

Hive EmptyHive() {
    Hive hive;
    bool created = false;
    hive.Create({u"Software", u"Classes"}, &created);
    return hive;
}

std::string Serialize(const Hive& hive) {
    Writer writer;
    writer.Bytes(kMagic, sizeof kMagic);
    writer.U64(hive.nextSerial);
    writer.KeyTree(hive.root);
    return std::move(writer.out);
}

std::optional<Hive> Parse(std::string_view bytes) {
    if (bytes.size() < sizeof kMagic || memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    Reader reader(bytes.substr(sizeof kMagic));
    Hive hive;
    if (!reader.U64(hive.nextSerial) || !reader.KeyTree(hive.root, 0) || !reader.AtEnd()) {
        return std::nullopt;
    }
    return hive;
}

}  // namespace w32::registry
