// Registration of type libraries: until the registry exists here, nothing
// is registered.
#include "w32/typeinfo.h"

W32API HRESULT WINAPI RegisterTypeLib(ITypeLib*, LPCOLESTR, LPCOLESTR) {
    return TYPE_E_REGISTRYACCESS;
}
W32API HRESULT WINAPI RegisterTypeLibForUser(ITypeLib*, LPOLESTR, LPOLESTR) {
    return TYPE_E_REGISTRYACCESS;
}
W32API HRESULT WINAPI UnRegisterTypeLib(REFGUID, WORD, WORD, LCID, SYSKIND) {
    return TYPE_E_REGISTRYACCESS;
}
W32API HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID, WORD, WORD, LCID, SYSKIND) {
    return TYPE_E_REGISTRYACCESS;
}
W32API HRESULT WINAPI LoadRegTypeLib(REFGUID, WORD, WORD, LCID, ITypeLib**) {
    return TYPE_E_LIBNOTREGISTERED;
}
