// A hive of the registry in memory: keys with their values and subkeys, and
// its form on disk. Names keep their case and compare without it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace w32::registry {

// A name folded for comparison (upper case).
std::u16string Fold(std::u16string_view name);
bool SameName(std::u16string_view a, std::u16string_view b);

struct Value {
    std::u16string name;  // empty for the default value
    uint32_t type = 0;
    std::string data;
};

struct Key {
    std::u16string name;
    // Tells a key from a later key of the same path, so that a handle to a
    // deleted key answers ERROR_KEY_DELETED.
    uint64_t serial = 0;
    std::vector<Value> values;  // in the order they were first written
    std::vector<Key> subkeys;   // in folded-name order

    Key* Subkey(std::u16string_view name);
    const Key* Subkey(std::u16string_view name) const;
    Value* FindValue(std::u16string_view name);
    const Value* FindValue(std::u16string_view name) const;
    // Adds a subkey in order; the caller has made sure it is missing.
    Key& AddSubkey(std::u16string name, uint64_t serial);
    bool RemoveSubkey(std::u16string_view name);
};

using Path = std::vector<std::u16string>;

struct Hive {
    uint64_t nextSerial = 1;
    Key root;

    Key* Find(const Path& path);
    const Key* Find(const Path& path) const;
    // Creates what is missing of the path; the key and whether it was new.
    Key& Create(const Path& path, bool* created);
};

// A fresh hive: the root with Software\Classes, as every Windows hive has.
Hive EmptyHive();

std::string Serialize(const Hive& hive);
// Nothing for bytes that are not a whole hive (the file is another party's).
std::optional<Hive> Parse(std::string_view bytes);

}  // namespace w32::registry
