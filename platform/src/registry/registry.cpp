// The registry calls: key handles of the process over the session's hives,
// and the merged view of the classes.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "internal/handles.h"
#include "registry/hive.h"
#include "registry/store.h"
#include "w32/registry.h"

namespace {

using w32::registry::ChangeHive;
using w32::registry::Hive;
using w32::registry::HiveId;
using w32::registry::Key;
using w32::registry::Path;
using w32::registry::Value;

enum class Root { Machine, User, Classes };

// A handle: which view, which key, and what it may do. A handle of the
// machine's or the user's hive also names the key it was opened on (its
// serial), so that a key deleted and made again is not the same key.
struct OpenKey {
    Root root = Root::Machine;
    Path path;
    uint64_t serial = 0;
    REGSAM access = KEY_ALL_ACCESS;
};

constexpr REGSAM kWriteDac = 0x00040000L;
constexpr REGSAM kWriteOwner = 0x00080000L;
// Rights that a user without administrator rights cannot get on the machine's keys.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | kWriteDac | kWriteOwner;
// Windows' limits on the length of a key name and of a value name.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

struct Handles {
    std::mutex lock;
    std::map<uint32_t, OpenKey> keys;
};

Handles& TheHandles() {
    static Handles* handles = new Handles;
    return *handles;
}

std::optional<Root> PredefinedRoot(HKEY key) {
    if (key == HKEY_CLASSES_ROOT) {
        return Root::Classes;
    }
    if (key == HKEY_CURRENT_USER) {
        return Root::User;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        return Root::Machine;
    }
    return std::nullopt;
}

LONG LookUp(HKEY key, OpenKey& open) {
    if (std::optional<Root> root = PredefinedRoot(key)) {
        open = OpenKey{*root, {}, 0, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    Handles& handles = TheHandles();
    std::lock_guard<std::mutex> guard(handles.lock);
    auto it = handles.keys.find(w32::ValueFromHandle(key));
    if (it == handles.keys.end()) {
        return ERROR_INVALID_HANDLE;
    }
    open = it->second;
    return ERROR_SUCCESS;
}

HKEY AddHandle(const OpenKey& open) {
    uint32_t value = w32::AllocateHandleValue();
    Handles& handles = TheHandles();
    std::lock_guard<std::mutex> guard(handles.lock);
    handles.keys[value] = open;
    return w32::HandleFromValue<HKEY>(value);
}

// The key names of a subkey path; a leading separator is not a relative path.
LONG Split(LPCWSTR subkey, Path& path) {
    path.clear();
    if (subkey == nullptr || subkey[0] == 0) {
        return ERROR_SUCCESS;
    }
    if (subkey[0] == u'\\') {
        return ERROR_BAD_PATHNAME;
    }
    std::u16string_view rest(subkey);
    while (!rest.empty()) {
        size_t end = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, end);
        if (name.empty() || name.size() > kMaxKeyName) {
            return ERROR_INVALID_PARAMETER;
        }
        path.emplace_back(name);
        if (end == std::u16string_view::npos) {
            break;
        }
        rest.remove_prefix(end + 1);  // a trailing separator ends the path
    }
    return ERROR_SUCCESS;
}

Path Joined(const Path& base, const Path& relative) {
    Path path = base;
    path.insert(path.end(), relative.begin(), relative.end());
    return path;
}

// One hive and path that a view's key lives at.
struct Side {
    HiveId hive;
    Path path;
};

// The places of a key in priority order: the classes view looks at the
// per-user classes first, then the machine's.
std::vector<Side> SidesOf(Root root, const Path& path) {
    if (root == Root::Classes) {
        Path classes = Joined({u"Software", u"Classes"}, path);
        return {Side{HiveId::User, classes}, Side{HiveId::Machine, classes}};
    }
    return {Side{root == Root::Machine ? HiveId::Machine : HiveId::User, path}};
}

// The hives a view reads, loaded once per call.
class Snapshot {
public:
    LONG Load(Root root) {
        for (HiveId id : {HiveId::User, HiveId::Machine}) {
            bool needed =
                root == Root::Classes || (id == HiveId::Machine) == (root == Root::Machine);
            int slot = static_cast<int>(id);
            if (needed && !loaded_[slot]) {
                LONG status = w32::registry::ReadHive(id, hives_[slot]);
                if (status != ERROR_SUCCESS) {
                    return status;
                }
                loaded_[slot] = true;
            }
        }
        return ERROR_SUCCESS;
    }
    const Key* Find(const Side& side) const {
        int slot = static_cast<int>(side.hive);
        return loaded_[slot] ? hives_[slot].Find(side.path) : nullptr;
    }

private:
    Hive hives_[2];
    bool loaded_[2] = {false, false};
};

// The keys of the view at the path, one per side (null where missing).
std::vector<const Key*> KeysAt(const Snapshot& snapshot, Root root, const Path& path) {
    std::vector<const Key*> keys;
    for (const Side& side : SidesOf(root, path)) {
        keys.push_back(snapshot.Find(side));
    }
    return keys;
}

const Key* FirstOf(const std::vector<const Key*>& keys) {
    for (const Key* key : keys) {
        if (key != nullptr) {
            return key;
        }
    }
    return nullptr;
}

// Whether the handle's key is still there: the same key for a hive's
// handle, any side's key for the classes view (whose root always exists).
bool StillThere(const Snapshot& snapshot, const OpenKey& open) {
    std::vector<const Key*> keys = KeysAt(snapshot, open.root, open.path);
    if (open.root == Root::Classes) {
        return open.path.empty() || FirstOf(keys) != nullptr;
    }
    return keys[0] != nullptr && (open.serial == 0 || keys[0]->serial == open.serial);
}

// Loads the view of a handle and checks its rights and that its key lives.
LONG Begin(HKEY hKey, REGSAM needed, OpenKey& open, Snapshot& snapshot) {
    LONG status = LookUp(hKey, open);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if ((open.access & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    status = snapshot.Load(open.root);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return StillThere(snapshot, open) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Begin for a call on a subkey of the handle; path is the subkey's in the view.
LONG BeginAt(HKEY hKey, LPCWSTR subkey, REGSAM needed, OpenKey& open, Snapshot& snapshot,
             Path& path) {
    LONG status = Begin(hKey, needed, open, snapshot);
    Path relative;
    if (status == ERROR_SUCCESS) {
        status = Split(subkey, relative);
    }
    path = Joined(open.path, relative);
    return status;
}

// The side that a value written through the handle goes to: the first side
// whose key exists (the per-user classes key over the machine's).
std::optional<Side> ValueSide(const Snapshot& snapshot, const OpenKey& open) {
    for (const Side& side : SidesOf(open.root, open.path)) {
        if (snapshot.Find(side) != nullptr) {
            return side;
        }
    }
    return std::nullopt;
}

// Finds the handle's key inside a hive being changed.
Key* KeyToChange(Hive& hive, const Side& side, const OpenKey& open) {
    Key* key = hive.Find(side.path);
    if (key == nullptr ||
        (open.root != Root::Classes && open.serial != 0 && key->serial != open.serial)) {
        return nullptr;
    }
    return key;
}

// Changes the values of the handle's key, on the side its values live.
template <class Change>
LONG ChangeValues(HKEY hKey, Change change) {
    OpenKey open;
    Snapshot snapshot;
    LONG status = Begin(hKey, KEY_SET_VALUE, open, snapshot);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::optional<Side> side = ValueSide(snapshot, open);
    if (!side) {
        return ERROR_KEY_DELETED;
    }
    return ChangeHive(side->hive, [&](Hive& hive, bool& changed) -> LONG {
        Key* key = KeyToChange(hive, *side, open);
        return key != nullptr ? change(*key, changed) : ERROR_KEY_DELETED;
    });
}

// The parent in the hive of the key at a path of at least one name.
Key* ParentOf(Hive& hive, const Path& path) {
    return hive.Find(Path(path.begin(), path.end() - 1));
}

bool DeniedOnMachine(Root root, bool userHasKey, REGSAM access) {
    if ((access & kWriteRights) == 0 || !w32::registry::MachineReadOnly()) {
        return false;
    }
    return root == Root::Machine || (root == Root::Classes && !userHasKey);
}

LONG OpenExisting(const OpenKey& parent, const Path& path, const Snapshot& snapshot, REGSAM access,
                  PHKEY result) {
    std::vector<const Key*> keys = KeysAt(snapshot, parent.root, path);
    const Key* key = FirstOf(keys);
    if (key == nullptr && !(parent.root == Root::Classes && path.empty())) {
        return ERROR_FILE_NOT_FOUND;
    }
    bool userHasKey = parent.root == Root::Classes && keys[0] != nullptr;
    if (DeniedOnMachine(parent.root, userHasKey, access)) {
        return ERROR_ACCESS_DENIED;
    }
    uint64_t serial = parent.root == Root::Classes || key == nullptr ? 0 : key->serial;
    *result = AddHandle(OpenKey{parent.root, path, serial, access});
    return ERROR_SUCCESS;
}

}  // namespace

W32API void WINAPI W32SetMachineRegistryReadOnly(BOOL readOnly) {
    w32::registry::SetMachineReadOnly(readOnly != FALSE);
}

W32API LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                                    PHKEY phkResult) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    OpenKey parent;
    Snapshot snapshot;
    Path path;
    LONG status = BeginAt(hKey, lpSubKey, 0, parent, snapshot, path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return OpenExisting(parent, path, snapshot, samDesired, phkResult);
}

W32API LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD,
                                      REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                      LPDWORD lpdwDisposition) {
    if (phkResult == nullptr || lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    OpenKey parent;
    Snapshot snapshot;
    Path path;
    LONG status = BeginAt(hKey, lpSubKey, KEY_CREATE_SUB_KEY, parent, snapshot, path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (FirstOf(KeysAt(snapshot, parent.root, path)) != nullptr ||
        (parent.root == Root::Classes && path.empty())) {
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        }
        return OpenExisting(parent, path, snapshot, samDesired, phkResult);
    }
    // A new key of the classes view goes to the machine's classes.
    Side side = SidesOf(parent.root, path).back();
    Side parentSide = SidesOf(parent.root, parent.path).back();
    uint64_t serial = 0;
    bool created = false;
    status = ChangeHive(side.hive, [&](Hive& hive, bool& changed) -> LONG {
        // The parent must still be there (a classes root always is).
        if (parent.root != Root::Classes && KeyToChange(hive, parentSide, parent) == nullptr) {
            return ERROR_KEY_DELETED;
        }
        serial = hive.Create(side.path, &created).serial;
        changed = created;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *phkResult = AddHandle(
        OpenKey{parent.root, path, parent.root == Root::Classes ? 0 : serial, samDesired});
    return ERROR_SUCCESS;
}

W32API LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (PredefinedRoot(hKey)) {
        return ERROR_SUCCESS;
    }
    Handles& handles = TheHandles();
    std::lock_guard<std::mutex> guard(handles.lock);
    return handles.keys.erase(w32::ValueFromHandle(hKey)) == 1 ? ERROR_SUCCESS
                                                               : ERROR_INVALID_HANDLE;
}

W32API LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                                     const BYTE* lpData, DWORD cbData) {
    std::u16string name = lpValueName != nullptr ? lpValueName : u"";
    if ((lpData == nullptr && cbData != 0) || name.size() > kMaxValueName) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string data(reinterpret_cast<const char*>(lpData), lpData != nullptr ? cbData : 0);
    return ChangeValues(hKey, [&](Key& key, bool& changed) -> LONG {
        if (Value* value = key.FindValue(name)) {
            value->type = dwType;
            value->data = data;
        } else {
            key.values.push_back(Value{name, dwType, data});
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

W32API LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType,
                                       LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey open;
    Snapshot snapshot;
    LONG status = Begin(hKey, KEY_QUERY_VALUE, open, snapshot);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Key* key = FirstOf(KeysAt(snapshot, open.root, open.path));
    const Value* value =
        key != nullptr ? key->FindValue(lpValueName != nullptr ? lpValueName : u"") : nullptr;
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType != nullptr) {
        *lpType = value->type;
    }
    if (lpcbData == nullptr) {
        return ERROR_SUCCESS;
    }
    DWORD size = static_cast<DWORD>(value->data.size());
    if (lpData != nullptr && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData != nullptr) {
        memcpy(lpData, value->data.data(), size);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

W32API LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::u16string name = lpValueName != nullptr ? lpValueName : u"";
    return ChangeValues(hKey, [&](Key& key, bool& changed) -> LONG {
        auto it = std::find_if(key.values.begin(), key.values.end(), [&](const Value& value) {
            return w32::registry::SameName(value.name, name);
        });
        if (it == key.values.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        key.values.erase(it);
        changed = true;
        return ERROR_SUCCESS;
    });
}

namespace {

// The subkey names of the view: the union of the sides, in folded order.
std::vector<std::u16string> SubkeyNames(const std::vector<const Key*>& keys) {
    std::map<std::u16string, std::u16string> names;  // folded -> as written
    for (const Key* key : keys) {
        if (key == nullptr) {
            continue;
        }
        for (const Key& subkey : key->subkeys) {
            names.emplace(w32::registry::Fold(subkey.name), subkey.name);
        }
    }
    std::vector<std::u16string> ordered;
    for (auto& [folded, name] : names) {
        ordered.push_back(name);
    }
    return ordered;
}

// Copies a name into a buffer of *capacity units with its terminator.
LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD capacity) {
    if (name.size() + 1 > *capacity) {
        return ERROR_MORE_DATA;
    }
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

W32API LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                    LPDWORD, LPWSTR lpClass, LPDWORD lpcchClass,
                                    PFILETIME lpftLastWriteTime) {
    if (lpName == nullptr || lpcchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey open;
    Snapshot snapshot;
    LONG status = Begin(hKey, KEY_ENUMERATE_SUB_KEYS, open, snapshot);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::u16string> names = SubkeyNames(KeysAt(snapshot, open.root, open.path));
    if (dwIndex >= names.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    status = CopyName(names[dwIndex], lpName, lpcchName);
    if (status == ERROR_SUCCESS && lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) {
        lpClass[0] = 0;
        *lpcchClass = 0;
    }
    if (status == ERROR_SUCCESS && lpftLastWriteTime != nullptr) {
        *lpftLastWriteTime = FILETIME{};
    }
    return status;
}

W32API LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                    LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                    LPDWORD lpcbData) {
    if (lpValueName == nullptr || lpcchValueName == nullptr ||
        (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey open;
    Snapshot snapshot;
    LONG status = Begin(hKey, KEY_QUERY_VALUE, open, snapshot);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Key* key = FirstOf(KeysAt(snapshot, open.root, open.path));
    if (key == nullptr || dwIndex >= key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Value& value = key->values[dwIndex];
    DWORD size = static_cast<DWORD>(value.data.size());
    if (value.name.size() + 1 > *lpcchValueName || (lpData != nullptr && *lpcbData < size)) {
        if (lpcbData != nullptr) {
            *lpcbData = size;
        }
        return ERROR_MORE_DATA;
    }
    CopyName(value.name, lpValueName, lpcchValueName);
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (lpData != nullptr) {
        memcpy(lpData, value.data.data(), size);
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

W32API LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                       LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                       LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                       LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                       LPDWORD lpcbSecurityDescriptor,
                                       PFILETIME lpftLastWriteTime) {
    OpenKey open;
    Snapshot snapshot;
    LONG status = Begin(hKey, KEY_QUERY_VALUE, open, snapshot);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<const Key*> keys = KeysAt(snapshot, open.root, open.path);
    std::vector<std::u16string> names = SubkeyNames(keys);
    const Key* key = FirstOf(keys);
    size_t longestName = 0, longestValueName = 0, largestValue = 0;
    for (const auto& name : names) {
        longestName = std::max(longestName, name.size());
    }
    size_t values = key != nullptr ? key->values.size() : 0;
    for (size_t i = 0; i < values; ++i) {
        longestValueName = std::max(longestValueName, key->values[i].name.size());
        largestValue = std::max(largestValue, key->values[i].data.size());
    }
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) {
        lpClass[0] = 0;
    }
    auto put = [](LPDWORD out, size_t value) {
        if (out != nullptr) {
            *out = static_cast<DWORD>(value);
        }
    };
    put(lpcchClass, 0);
    put(lpcSubKeys, names.size());
    put(lpcbMaxSubKeyLen, longestName);
    put(lpcbMaxClassLen, 0);
    put(lpcValues, values);
    put(lpcbMaxValueNameLen, longestValueName);
    put(lpcbMaxValueLen, largestValue);
    put(lpcbSecurityDescriptor, 0);
    if (lpftLastWriteTime != nullptr) {
        *lpftLastWriteTime = FILETIME{};
    }
    return ERROR_SUCCESS;
}

W32API LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey open;
    Snapshot snapshot;
    Path path;
    LONG status = BeginAt(hKey, lpSubKey, 0, open, snapshot, path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (path.empty()) {
        return ERROR_ACCESS_DENIED;  // a root is never deleted
    }
    // The per-user classes key goes first; the machine's shows through after.
    std::optional<Side> side = ValueSide(snapshot, OpenKey{open.root, path, 0, 0});
    if (!side) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ChangeHive(side->hive, [&](Hive& hive, bool& changed) -> LONG {
        Key* parent = ParentOf(hive, side->path);
        Key* key = hive.Find(side->path);
        if (parent == nullptr || key == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (!key->subkeys.empty()) {
            return ERROR_ACCESS_DENIED;
        }
        changed = parent->RemoveSubkey(side->path.back());
        return ERROR_SUCCESS;
    });
}

W32API LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    OpenKey open;
    Snapshot snapshot;
    REGSAM needed = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE |
                    (lpSubKey == nullptr ? KEY_SET_VALUE : 0);
    Path path;
    LONG status = BeginAt(hKey, lpSubKey, needed, open, snapshot, path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    bool keepKey = path.size() == open.path.size();  // no subkey: its contents go
    if (!keepKey && path.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    // Every side that has the key loses it; the machine's first, so that a
    // read-only machine hive changes nothing.
    std::vector<Side> sides = SidesOf(open.root, path);
    std::reverse(sides.begin(), sides.end());
    bool found = false;
    for (const Side& side : sides) {
        if (snapshot.Find(side) == nullptr) {
            continue;
        }
        found = true;
        status = ChangeHive(side.hive, [&](Hive& hive, bool& changed) -> LONG {
            Key* key = hive.Find(side.path);
            if (key == nullptr) {
                return ERROR_SUCCESS;
            }
            if (keepKey) {
                changed = !key->subkeys.empty() || !key->values.empty();
                key->subkeys.clear();
                key->values.clear();
                return ERROR_SUCCESS;
            }
            Key* parent = ParentOf(hive, side.path);
            changed = parent != nullptr && parent->RemoveSubkey(side.path.back());
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    return found || keepKey ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}
