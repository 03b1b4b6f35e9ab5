// The wide C-runtime helpers and the formatter of the stand-in.
//
// Wide strings are UTF-16 (char16_t), so these are C++ overloads of the
// Microsoft C runtime names on char16_t. Formatting follows the Microsoft
// rules: inside a wide format %s and %c take wide arguments and %S / %C
// narrow ones; inside a narrow format it is the other way round; %hs / %ls
// force narrow / wide; %I64d, %I64u, %I64x, %lld, %zu, %p, widths, precision,
// '*', flags "-+ #0" and the floating conversions are understood.
//
// Bounded output never overruns: every function here writes at most the size
// it is given, counted in characters of its own width.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "w32/types.h"

#define W32CPP __attribute__((visibility("default")))

// Count value of the _s functions that asks for truncation instead of failure.
#define _TRUNCATE ((size_t)-1)

typedef int errno_t;
#ifndef STRUNCATE
#define STRUNCATE 80
#endif

// Length, copy, compare.
W32CPP size_t wcslen(const char16_t* s);
W32CPP size_t wcsnlen(const char16_t* s, size_t maxCount);
W32CPP int wcscmp(const char16_t* a, const char16_t* b);
W32CPP int wcsncmp(const char16_t* a, const char16_t* b, size_t count);
// ASCII-case-insensitive compare (letters A-Z and a-z only), as the C runtime
// does in the "C" locale.
W32CPP int _wcsicmp(const char16_t* a, const char16_t* b);
W32CPP int _wcsnicmp(const char16_t* a, const char16_t* b, size_t count);
W32CPP const char16_t* wcschr(const char16_t* s, char16_t c);
W32CPP const char16_t* wcsrchr(const char16_t* s, char16_t c);
W32CPP const char16_t* wcsstr(const char16_t* s, const char16_t* find);
// Copies with a destination size (characters, terminator included). On a
// source that does not fit, the destination becomes empty and ERANGE (34) is
// returned, or with count _TRUNCATE the copy is cut and STRUNCATE returned.
W32CPP errno_t wcscpy_s(char16_t* dest, size_t destSize, const char16_t* src);
W32CPP errno_t wcsncpy_s(char16_t* dest, size_t destSize, const char16_t* src, size_t count);
W32CPP errno_t wcscat_s(char16_t* dest, size_t destSize, const char16_t* src);
// Lower-cases ASCII letters in place.
W32CPP errno_t _wcslwr_s(char16_t* s, size_t size);
W32CPP char16_t* _wcslwr(char16_t* s);

// Number parsing as _wtoi: leading blanks, an optional sign, decimal
// digits; no digits give 0; overflow saturates like the C runtime.
W32CPP int _wtoi(const char16_t* s);
W32CPP long long _wtoi64(const char16_t* s);

// Wide formatting.
// _vsnwprintf / _snwprintf: at most count characters. Shorter output is
// terminated; output of exactly count characters is written without a
// terminator and count returned; longer output is cut to count characters,
// unterminated, and -1 returned.
W32CPP int _vsnwprintf(char16_t* buffer, size_t count, const char16_t* format, va_list args);
W32CPP int _snwprintf(char16_t* buffer, size_t count, const char16_t* format, ...);
// _vsnwprintf_s: always terminated. count _TRUNCATE cuts to sizeOfBuffer - 1
// and returns -1; otherwise at most count characters fit or the buffer becomes
// empty and -1 is returned.
W32CPP int _vsnwprintf_s(char16_t* buffer, size_t sizeOfBuffer, size_t count,
                         const char16_t* format, va_list args);
W32CPP int _snwprintf_s(char16_t* buffer, size_t sizeOfBuffer, size_t count, const char16_t* format,
                        ...);
// vswprintf_s / swprintf_s: output that does not fit empties the buffer and
// returns -1 (the C runtime would call its invalid-parameter handler).
W32CPP int vswprintf_s(char16_t* buffer, size_t sizeOfBuffer, const char16_t* format, va_list args);
W32CPP int swprintf_s(char16_t* buffer, size_t sizeOfBuffer, const char16_t* format, ...);
// Length the output would have, without the terminator.
W32CPP int _vscwprintf(const char16_t* format, va_list args);
W32CPP int _scwprintf(const char16_t* format, ...);
// wsprintfW: the user32 formatter with its 1024-character buffer limit.
W32API int WINAPI wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
W32API int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);

// Narrow formatting, the same rules with narrow %s.
W32CPP int _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
W32CPP int _snprintf(char* buffer, size_t count, const char* format, ...);
W32CPP int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format,
                        va_list args);
W32CPP int _snprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, ...);
W32CPP int vsprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, va_list args);
W32CPP int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...);
W32CPP int _vscprintf(const char* format, va_list args);
W32CPP int _scprintf(const char* format, ...);
