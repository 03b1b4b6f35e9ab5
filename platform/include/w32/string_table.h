// String tables: resources of type RT_STRING in Windows' layout, blocks of
// sixteen strings (block id / 16 + 1), each string its length in UTF-16
// units followed by the units, without a terminator.
#pragma once

#include "w32/module.h"

// Copies string uID of the module into lpBuffer (at most cchBufferMax - 1
// units and a terminator) and answers the units copied; 0 for a missing
// string. With cchBufferMax 0 it stores a read-only pointer to the string
// (not terminated) in *(LPCWSTR*)lpBuffer and answers its length.
W32API int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

typedef struct tagW32_STRING_ENTRY {
    UINT id;
    LPCWSTR text;
} W32_STRING_ENTRY;

// Registers the blocks of a string table of the module that holds
// moduleAddress (W32_STRING_TABLE does it for the module it is compiled into).
W32API void WINAPI W32RegisterStringTable(const void* moduleAddress,
                                          const W32_STRING_ENTRY* entries, UINT count);

// The string table of the module this line is compiled into:
//   W32_STRING_TABLE({100, u"Vexlo.Ie.Plugin"}, {101, u"..."})
#define W32_STRING_TABLE(...)                                                       \
    namespace {                                                                     \
    struct W32StringTableRegistration {                                             \
        W32StringTableRegistration() {                                              \
            static const W32_STRING_ENTRY entries[] = {__VA_ARGS__};                \
            W32RegisterStringTable(reinterpret_cast<const void*>(&Anchor), entries, \
                                   sizeof(entries) / sizeof(entries[0]));           \
        }                                                                           \
        static void Anchor() {}                                                     \
    } w32StringTableRegistration;                                                   \
    }
