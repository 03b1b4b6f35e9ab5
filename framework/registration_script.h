// Registration descriptions: the text form in which a module says what it
// writes into the registry, read into keys and values.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove %CLSID% = s 'Example Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Roots: HKCR, HKCU, HKLM (or their long names). A key is a word or a quoted
// name, optionally marked ForceRemove (its subtree is removed before it is
// written and removed whole again at unregistration), NoRemove (never
// removed) or Delete (removed at registration, untouched at
// unregistration); "= type data" gives its default value and "val name =
// type data" a named value; types s (text), d (a number, decimal or 0x hex)
// and b (hex bytes). Quoted text doubles a quote to hold one. %NAME% stands
// for a replacement and %% for a percent sign; the replaced text is taken
// as it is, never read as part of the description again.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw {

struct ScriptValue {
    std::u16string name;  // empty for the default value
    DWORD type = REG_SZ;
    std::string data;  // as RegSetValueExW takes it
};

enum class ScriptKeyMark { None, ForceRemove, NoRemove, Delete };

struct ScriptKey {
    std::u16string name;
    ScriptKeyMark mark = ScriptKeyMark::None;
    std::vector<ScriptValue> values;  // the default value first, when given
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
    HKEY root = nullptr;
    std::vector<ScriptKey> keys;
};

// Replacement names compare without regard to case.
using ScriptReplacements = std::map<std::u16string, std::u16string>;

// The description's roots; nothing for a description that does not read
// (a syntax error, an unknown replacement), so that it changes nothing.
std::optional<std::vector<ScriptRoot>> ParseRegistrationScript(
    const std::u16string& text, const ScriptReplacements& replacements);

}  // namespace fw
