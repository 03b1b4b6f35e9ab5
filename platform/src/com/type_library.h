// The stand-in's type library objects over a library's data form, shared by
// loading, dispatch and registration.
#pragma once

#include "w32/typeinfo.h"

namespace w32::typelib {

// Checks a library's data: its form and version, names, and that each
// function's parameters match the member it is bound to.
bool IsConsistent(const W32_TYPELIB_DATA& data);

// A library object over data that stays valid while module is loaded;
// module (may be null) is released with the last reference.
HRESULT CreateTypeLib(const W32_TYPELIB_DATA& data, HMODULE module, ITypeLib** library);

// The data behind a library of the stand-in, or null for another object.
const W32_TYPELIB_DATA* DataOf(ITypeLib* library);

// The description of a type of the stand-in's libraries, or null.
const W32_TYPE_DATA* TypeDataOf(ITypeInfo* info);

// Dispatch through a type description.
HRESULT GetIDsOfNames(const W32_TYPE_DATA& type, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT Invoke(const W32_TYPE_DATA& type, void* instance, DISPID member, WORD flags,
               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);

// Case-insensitive comparison of names (ASCII letters).
bool SameName(LPCOLESTR a, LPCOLESTR b);

}  // namespace w32::typelib
