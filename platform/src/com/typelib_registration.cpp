// Registration of type libraries under TypeLib and Interface in the classes
// root (per machine) or the current user's classes, and LoadRegTypeLib,
// which finds a registered library's module by its id and version.
#include <string>
#include <vector>

#include "w32/crt.h"
#include "w32/registry.h"
#include "w32/typeinfo.h"

namespace {

constexpr char16_t kUserClasses[] = u"Software\\Classes";

// A key handle closed with its owner.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (handle != nullptr) {
            RegCloseKey(handle);
        }
    }
    HKEY* operator&() { return &handle; }
    operator HKEY() const { return handle; }

private:
    HKEY handle = nullptr;
};

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::u16string Hex(unsigned value) {
    OLECHAR text[16];
    swprintf_s(text, 16, u"%x", value);
    return text;
}

std::u16string Decimal(unsigned value) {
    OLECHAR text[16];
    swprintf_s(text, 16, u"%u", value);
    return text;
}

std::u16string VersionText(WORD major, WORD minor) {
    return Hex(major) + u"." + Hex(minor);
}

// The classes key that registration writes under: the merged classes root,
// or the user's own classes.
LSTATUS OpenClasses(bool perUser, HKEY* classes) {
    if (!perUser) {
        *classes = HKEY_CLASSES_ROOT;
        return ERROR_SUCCESS;
    }
    return RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE | DELETE, nullptr, classes, nullptr);
}

LSTATUS SetText(HKEY parent, const std::u16string& subKey, LPCOLESTR name,
                const std::u16string& text) {
    Key key;
    LSTATUS status = RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
}

bool ReadText(HKEY parent, const std::u16string& subKey, LPCOLESTR name, std::u16string& text) {
    Key key;
    if (RegOpenKeyExW(parent, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > 64 * 1024) {
        return false;
    }
    std::vector<OLECHAR> buffer(size / sizeof(OLECHAR) + 1, 0);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    text.assign(buffer.data());
    return true;
}

std::vector<std::u16string> SubKeys(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        OLECHAR name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

// The interfaces of a library that dispatch reaches (dispinterfaces and
// dual or automation-compatible interfaces) get Interface keys.
bool IsRegisteredInterface(const TYPEATTR& attr) {
    return attr.typekind == TKIND_DISPATCH ||
           (attr.typekind == TKIND_INTERFACE &&
            (attr.wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0);
}

HRESULT Register(ITypeLib* library, LPCOLESTR fullPath, LPCOLESTR helpDir, bool perUser) {
    if (library == nullptr || fullPath == nullptr) {
        return E_INVALIDARG;
    }
    TLIBATTR* attr = nullptr;
    HRESULT hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) {
        return hr;
    }
    TLIBATTR lib = *attr;
    library->ReleaseTLibAttr(attr);

    HKEY classes = nullptr;
    if (OpenClasses(perUser, &classes) != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    BSTR name = nullptr;
    BSTR doc = nullptr;
    library->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    std::u16string title = doc != nullptr && doc[0] != 0 ? doc : (name != nullptr ? name : u"");
    SysFreeString(name);
    SysFreeString(doc);

    std::u16string libId = GuidText(lib.guid);
    std::u16string version = VersionText(lib.wMajorVerNum, lib.wMinorVerNum);
    std::u16string versionKey = u"TypeLib\\" + libId + u"\\" + version;
    std::u16string path(fullPath);
    std::u16string folder = helpDir != nullptr ? std::u16string(helpDir) : path;
    if (helpDir == nullptr) {
        size_t slash = folder.find_last_of(u"/\\");
        folder = slash == std::u16string::npos ? std::u16string() : folder.substr(0, slash);
    }
    bool written = SetText(classes, versionKey, nullptr, title) == ERROR_SUCCESS &&
                   SetText(classes, versionKey + u"\\FLAGS", nullptr, Decimal(lib.wLibFlags)) ==
                       ERROR_SUCCESS &&
                   SetText(classes, versionKey + u"\\HELPDIR", nullptr, folder) == ERROR_SUCCESS &&
                   SetText(classes, versionKey + u"\\" + Hex(lib.lcid) + u"\\win32", nullptr,
                           path) == ERROR_SUCCESS;

    for (UINT i = 0; written && i < library->GetTypeInfoCount(); ++i) {
        ITypeInfo* info = nullptr;
        if (FAILED(library->GetTypeInfo(i, &info))) {
            continue;
        }
        TYPEATTR* typeAttr = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&typeAttr))) {
            if (IsRegisteredInterface(*typeAttr)) {
                BSTR typeName = nullptr;
                info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr);
                std::u16string key = u"Interface\\" + GuidText(typeAttr->guid);
                std::u16string proxy = GuidText(typeAttr->typekind == TKIND_DISPATCH &&
                                                        (typeAttr->wTypeFlags & TYPEFLAG_FDUAL) == 0
                                                    ? CLSID_PSDispatch
                                                    : CLSID_PSOAInterface);
                written =
                    SetText(classes, key, nullptr, typeName != nullptr ? typeName : u"") ==
                        ERROR_SUCCESS &&
                    SetText(classes, key + u"\\ProxyStubClsid", nullptr, proxy) == ERROR_SUCCESS &&
                    SetText(classes, key + u"\\ProxyStubClsid32", nullptr, proxy) ==
                        ERROR_SUCCESS &&
                    SetText(classes, key + u"\\TypeLib", nullptr, libId) == ERROR_SUCCESS &&
                    SetText(classes, key + u"\\TypeLib", u"Version", version) == ERROR_SUCCESS;
                SysFreeString(typeName);
            }
            info->ReleaseTypeAttr(typeAttr);
        }
        info->Release();
    }
    if (perUser) {
        RegCloseKey(classes);
    }
    return written ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT Unregister(REFGUID libID, WORD major, WORD minor, bool perUser) {
    HKEY classes = nullptr;
    if (OpenClasses(perUser, &classes) != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    std::u16string libId = GuidText(libID);
    std::u16string version = VersionText(major, minor);
    std::u16string libKey = u"TypeLib\\" + libId;
    HRESULT hr = S_OK;
    {
        Key versionKey;
        if (RegOpenKeyExW(classes, (libKey + u"\\" + version).c_str(), 0, KEY_READ, &versionKey) !=
            ERROR_SUCCESS) {
            hr = TYPE_E_REGISTRYACCESS;  // not registered
        }
    }
    if (SUCCEEDED(hr)) {
        // The Interface keys that name this library and version.
        Key interfaces;
        if (RegOpenKeyExW(classes, u"Interface", 0, KEY_READ | KEY_WRITE | DELETE, &interfaces) ==
            ERROR_SUCCESS) {
            for (const std::u16string& iid : SubKeys(interfaces)) {
                std::u16string named;
                std::u16string namedVersion;
                if (ReadText(interfaces, iid + u"\\TypeLib", nullptr, named) &&
                    _wcsicmp(named.c_str(), libId.c_str()) == 0 &&
                    ReadText(interfaces, iid + u"\\TypeLib", u"Version", namedVersion) &&
                    namedVersion == version) {
                    RegDeleteTreeW(interfaces, iid.c_str());
                }
            }
        }
        if (RegDeleteTreeW(classes, (libKey + u"\\" + version).c_str()) != ERROR_SUCCESS) {
            hr = TYPE_E_REGISTRYACCESS;
        }
        // The library's key goes with its last version.
        Key library;
        if (RegOpenKeyExW(classes, libKey.c_str(), 0, KEY_READ, &library) == ERROR_SUCCESS &&
            SubKeys(library).empty()) {
            RegDeleteKeyW(classes, libKey.c_str());
        }
    }
    if (perUser) {
        RegCloseKey(classes);
    }
    return hr;
}

// "major.minor" in hex, or false.
bool ParseVersion(const std::u16string& text, unsigned& major, unsigned& minor) {
    size_t dot = text.find(u'.');
    if (dot == std::u16string::npos || dot == 0 || dot + 1 >= text.size() || text.size() > 9) {
        return false;
    }
    auto parse = [](const std::u16string& digits, unsigned& value) {
        value = 0;
        for (char16_t c : digits) {
            int v = c >= u'0' && c <= u'9'   ? c - u'0'
                    : c >= u'a' && c <= u'f' ? c - u'a' + 10
                    : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                             : -1;
            if (v < 0) {
                return false;
            }
            value = value * 16 + static_cast<unsigned>(v);
        }
        return value <= 0xFFFF;
    };
    return parse(text.substr(0, dot), major) && parse(text.substr(dot + 1), minor);
}

}  // namespace

W32API HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    return Register(ptlib, szFullPath, szHelpDir, false);
}

W32API HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, LPOLESTR szFullPath,
                                             LPOLESTR szHelpDir) {
    return Register(ptlib, szFullPath, szHelpDir, true);
}

W32API HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID,
                                        SYSKIND) {
    return Unregister(libID, wVerMajor, wVerMinor, false);
}

W32API HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum,
                                               LCID, SYSKIND) {
    return Unregister(libID, wMajorVerNum, wMinorVerNum, true);
}

W32API HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                     ITypeLib** pptlib) {
    if (pptlib == nullptr) {
        return E_INVALIDARG;
    }
    *pptlib = nullptr;
    Key library;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (u"TypeLib\\" + GuidText(rguid)).c_str(), 0, KEY_READ,
                      &library) != ERROR_SUCCESS) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    // The highest minor version not below the one asked, of the same major.
    std::u16string best;
    unsigned bestMinor = 0;
    for (const std::u16string& name : SubKeys(library)) {
        unsigned major = 0;
        unsigned minor = 0;
        if (ParseVersion(name, major, minor) && major == wVerMajor && minor >= wVerMinor &&
            (best.empty() || minor > bestMinor)) {
            best = name;
            bestMinor = minor;
        }
    }
    if (best.empty()) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    // The language asked, its primary language, then the neutral one.
    std::u16string path;
    for (unsigned language :
         {static_cast<unsigned>(lcid), static_cast<unsigned>(lcid & 0x3FF), 0u}) {
        if (ReadText(library, best + u"\\" + Hex(language) + u"\\win32", nullptr, path)) {
            return LoadTypeLibEx(path.c_str(), REGKIND_NONE, pptlib);
        }
    }
    return TYPE_E_LIBNOTREGISTERED;
}
