// Running registration descriptions against the registry.
#include "framework/registrar.h"

#include "framework/raii.h"
#include "framework/text.h"

namespace fw {
namespace {

HRESULT FromStatus(LONG status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

// A subtree that is already gone is what removal wants.
LONG RemoveTree(HKEY parent, const std::u16string& name) {
    LONG status = ::RegDeleteTreeW(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

HRESULT RegisterKey(HKEY parent, const ScriptKey& key) {
    if (key.mark == ScriptKeyMark::Delete) {
        return FromStatus(RemoveTree(parent, key.name));
    }
    if (key.mark == ScriptKeyMark::ForceRemove) {
        HRESULT hr = FromStatus(RemoveTree(parent, key.name));
        if (FAILED(hr)) {
            return hr;
        }
    }
    unique_hkey handle;
    LONG status = ::RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, handle.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return FromStatus(status);
    }
    for (const ScriptValue& value : key.values) {
        status = ::RegSetValueExW(handle.get(), value.name.c_str(), 0, value.type,
                                  reinterpret_cast<const BYTE*>(value.data.data()),
                                  static_cast<DWORD>(value.data.size()));
        if (status != ERROR_SUCCESS) {
            return FromStatus(status);
        }
    }
    for (const ScriptKey& subkey : key.subkeys) {
        HRESULT hr = RegisterKey(handle.get(), subkey);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

// Goes on past failures, so that as much as can be removed is; answers the
// first failure.
HRESULT UnregisterKey(HKEY parent, const ScriptKey& key) {
    if (key.mark == ScriptKeyMark::Delete) {
        return S_OK;
    }
    if (key.mark == ScriptKeyMark::ForceRemove) {
        return FromStatus(RemoveTree(parent, key.name));
    }
    HRESULT result = S_OK;
    {
        unique_hkey handle;
        LONG status = ::RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, handle.put());
        if (status == ERROR_FILE_NOT_FOUND) {
            return S_OK;
        }
        if (status != ERROR_SUCCESS) {
            return FromStatus(status);
        }
        for (auto it = key.subkeys.rbegin(); it != key.subkeys.rend(); ++it) {
            HRESULT hr = UnregisterKey(handle.get(), *it);
            if (SUCCEEDED(result)) {
                result = hr;
            }
        }
        for (const ScriptValue& value : key.values) {
            status = ::RegDeleteValueW(handle.get(), value.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) {
                result = FromStatus(status);
            }
        }
    }
    if (key.mark == ScriptKeyMark::None) {
        // A key that holds someone else's subkeys stays (ERROR_ACCESS_DENIED).
        LONG status = ::RegDeleteKeyW(parent, key.name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND &&
            status != ERROR_ACCESS_DENIED && SUCCEEDED(result)) {
            result = FromStatus(status);
        }
    }
    return result;
}

}  // namespace

HRESULT CRegistrar::Run(const std::u16string& script, bool doRegister) {
    std::optional<std::vector<ScriptRoot>> roots = ParseRegistrationScript(script, replacements_);
    if (!roots) {
        return E_INVALIDARG;
    }
    HRESULT result = S_OK;
    for (const ScriptRoot& root : *roots) {
        HKEY parent = root.root;
        unique_hkey userClasses;
        if (perUser_ && root.root == HKEY_CLASSES_ROOT) {
            LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, userClasses.put(), nullptr);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
            parent = userClasses.get();
        }
        if (doRegister) {
            for (const ScriptKey& key : root.keys) {
                HRESULT hr = RegisterKey(parent, key);
                if (FAILED(hr)) {
                    return hr;
                }
            }
        } else {
            for (auto it = root.keys.rbegin(); it != root.keys.rend(); ++it) {
                HRESULT hr = UnregisterKey(parent, *it);
                if (SUCCEEDED(result)) {
                    result = hr;
                }
            }
        }
    }
    return result;
}

HRESULT CRegistrar::ResourceRegister(HMODULE module, UINT id, bool doRegister) {
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_REGISTRY_SCRIPT);
    if (resource == nullptr) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, resource)));
    DWORD size = ::SizeofResource(module, resource);
    if (bytes == nullptr) {
        return E_FAIL;
    }
    return Run(ToWide(CP_UTF8, std::string_view(bytes, size)), doRegister);
}

}  // namespace fw
