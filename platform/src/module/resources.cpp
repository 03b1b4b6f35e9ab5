// Resource lookup in the modules' tables.
#include <cstring>

#include "module/modules.h"

using namespace w32::module;

W32API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (!name || !type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!LinkMapOf(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const W32_RESOURCE* r = Find(module, type, name);
    if (!r) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<W32_RESOURCE*>(r));
}

W32API HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
    const W32_RESOURCE* first = Find(module, type, name);
    if (!first) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const W32_RESOURCE* neutral = nullptr;
    for (const W32_RESOURCE* r : Resources(module)) {
        if (r->type.id != first->type.id || r->type.text != first->type.text)
            continue;
        if (r->name.id != first->name.id ||
            (r->name.text && first->name.text && std::u16string(r->name.text) != first->name.text))
            continue;
        if (r->language == language)
            return reinterpret_cast<HRSRC>(const_cast<W32_RESOURCE*>(r));
        if (!neutral && PRIMARYLANGID(r->language) == LANG_NEUTRAL)
            neutral = r;
    }
    return reinterpret_cast<HRSRC>(const_cast<W32_RESOURCE*>(neutral ? neutral : first));
}

W32API HGLOBAL WINAPI LoadResource(HMODULE, HRSRC res) {
    if (!res)
        return nullptr;
    return const_cast<void*>(reinterpret_cast<const W32_RESOURCE*>(res)->data);
}

W32API LPVOID WINAPI LockResource(HGLOBAL data) {
    return data;
}

W32API DWORD WINAPI SizeofResource(HMODULE, HRSRC res) {
    return res ? reinterpret_cast<const W32_RESOURCE*>(res)->size : 0;
}

W32API BOOL WINAPI FreeResource(HGLOBAL) {
    return FALSE;
}

W32API BOOL WINAPI EnumResourceNamesW(HMODULE module, LPCWSTR type, ENUMRESNAMEPROCW proc,
                                      LONG_PTR lParam) {
    if (!proc)
        return FALSE;
    bool any = false;
    for (const W32_RESOURCE* r : Resources(module)) {
        bool typeOk = IS_INTRESOURCE(type)
                          ? (!r->type.text &&
                             r->type.id == static_cast<WORD>(reinterpret_cast<uintptr_t>(type)))
                          : (r->type.text && std::u16string(r->type.text) == type);
        if (!typeOk)
            continue;
        any = true;
        std::u16string name = r->name.text ? r->name.text : u"";
        LPWSTR n = r->name.text ? name.data() : MAKEINTRESOURCEW(r->name.id);
        if (!proc(module, type, n, lParam))
            return TRUE;
    }
    if (!any)
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return any ? TRUE : FALSE;
}

W32API int WINAPI LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int max) {
    for (const W32_RESOURCE* r : Resources(module)) {
        if (r->type.text || r->type.id != 6 /* RT_STRING */ || !r->data)
            continue;
        auto* table = static_cast<const W32_STRING_TABLE*>(r->data);
        for (size_t i = 0; i < table->count; ++i) {
            if (table->entries[i].id != id || !table->entries[i].text)
                continue;
            const char16_t* text = table->entries[i].text;
            int len = static_cast<int>(std::char_traits<char16_t>::length(text));
            if (!buffer)
                return 0;
            if (max == 0) {
                *reinterpret_cast<const char16_t**>(buffer) = text;
                return len;
            }
            int n = len < max - 1 ? len : max - 1;
            std::memcpy(buffer, text, static_cast<size_t>(n) * sizeof(char16_t));
            buffer[n] = 0;
            return n;
        }
    }
    if (buffer && max > 0)
        buffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}
