// The registrar: runs a module's registration description (see
// registration_script.h) and its reverse.
//
// Registration writes every key and value; a ForceRemove key's subtree is
// removed first, a Delete key is removed. Unregistration removes the values
// the description writes and its unmarked keys (a key that still holds
// other subkeys stays), removes ForceRemove keys whole, and keeps NoRemove
// keys and the roots. With per-user registration, HKCR stands for
// HKCU\Software\Classes, so nothing is written to the machine's classes.
#pragma once

#include <windows.h>

#include <string>

#include "framework/registration_script.h"

namespace fw {

class CRegistrar {
public:
    // A replacement for %name% in the descriptions this registrar runs.
    void AddReplacement(const std::u16string& name, const std::u16string& value) {
        replacements_[name] = value;
    }
    void SetPerUser(bool perUser) { perUser_ = perUser; }

    // S_OK, E_INVALIDARG for a description that does not read (nothing is
    // written then), or the first failing registry call as an HRESULT.
    HRESULT StringRegister(const std::u16string& script) { return Run(script, true); }
    HRESULT StringUnregister(const std::u16string& script) { return Run(script, false); }
    // The description kept as a module's RT_REGISTRY_SCRIPT resource (UTF-8
    // text); a missing resource answers HRESULT_FROM_WIN32 of the lookup.
    HRESULT ResourceRegister(HMODULE module, UINT id, bool doRegister);

private:
    HRESULT Run(const std::u16string& script, bool doRegister);

    ScriptReplacements replacements_;
    bool perUser_ = false;
};

}  // namespace fw
