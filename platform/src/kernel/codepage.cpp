// Code-page conversion: UTF-8 and the single-byte pages 1251 and 1252. The
// ANSI code page comes from $W32_ACP, read once (default 65001).
#include <cstdlib>
#include <string>

#include "internal/codepage_tables.h"
#include "w32/codepage.h"

namespace {

UINT ConfiguredAnsiCodePage() {
    const char* value = getenv("W32_ACP");
    if (value != nullptr) {
        UINT page = static_cast<UINT>(strtoul(value, nullptr, 10));
        if (page == 1251 || page == 1252 || page == CP_UTF8) {
            return page;
        }
    }
    return CP_UTF8;
}

UINT AnsiCodePage() {
    static const UINT page = ConfiguredAnsiCodePage();
    return page;
}

// The code page a conversion really uses; 0 when unsupported.
UINT Resolve(UINT codePage) {
    switch (codePage) {
        case CP_ACP:
        case CP_OEMCP:
        case CP_MACCP:
        case CP_THREAD_ACP:
            return AnsiCodePage();
        case CP_UTF8:
        case 1251:
        case 1252:
            return codePage;
        default:
            return 0;
    }
}

const char16_t* UpperHalf(UINT codePage) {
    return codePage == 1251 ? w32::kCodePage1251 : w32::kCodePage1252;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, or fails the
// conversion with strict flags.
bool EncodeUtf8(const char16_t* text, size_t length, bool strict, std::string& out) {
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            char32_t code = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                            (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            AppendUtf8(out, code);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            if (strict) {
                return false;
            }
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return true;
}

bool EncodeSingleByte(UINT codePage, const char16_t* text, size_t length, char defaultChar,
                      bool& usedDefault, std::string& out) {
    const char16_t* upper = UpperHalf(codePage);
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int b = 0; b < 128; ++b) {
            if (upper[b] == c) {
                found = b;
                break;
            }
        }
        if (found >= 0) {
            out += static_cast<char>(0x80 + found);
        } else {
            out += defaultChar;
            usedDefault = true;
            if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
                ++i;  // one default character for the whole pair
            }
        }
    }
    return true;
}

// UTF-8 to UTF-16; invalid sequences become U+FFFD, or fail with strict flags.
bool DecodeUtf8(const unsigned char* bytes, size_t length, bool strict, std::u16string& out) {
    size_t i = 0;
    while (i < length) {
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        size_t extra = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            if (strict) {
                return false;
            }
            out += u'\xFFFD';
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra; ++k) {
            if (i + k >= length || (bytes[i + k] & 0xC0) != 0x80) {
                break;
            }
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        if (k <= extra || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            if (strict) {
                return false;
            }
            out += u'\xFFFD';
            i += (k > 1 ? k : 1);
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace

W32API UINT WINAPI GetACP(void) {
    return AnsiCodePage();
}

W32API UINT WINAPI GetOEMCP(void) {
    return AnsiCodePage();
}

W32API BOOL WINAPI IsValidCodePage(UINT CodePage) {
    return CodePage == CP_UTF8 || CodePage == 1251 || CodePage == 1252;
}

W32API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                      int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                      LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    UINT page = Resolve(CodePage);
    if (page == 0 || lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (page == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (cchWideChar < 0) {
        while (lpWideCharStr[length] != 0) {
            ++length;
        }
        ++length;  // the terminator is converted too
    } else {
        length = static_cast<size_t>(cchWideChar);
    }
    std::string out;
    bool usedDefault = false;
    if (page == CP_UTF8) {
        if (!EncodeUtf8(lpWideCharStr, length, (dwFlags & WC_ERR_INVALID_CHARS) != 0, out)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else {
        char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
        EncodeSingleByte(page, lpWideCharStr, length, defaultChar, usedDefault, out);
    }
    if (lpUsedDefaultChar != nullptr) {
        *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (cbMultiByte == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(lpMultiByteStr, out.size());
    return static_cast<int>(out.size());
}

W32API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                      int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
    UINT page = Resolve(CodePage);
    if (page == 0 || lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (cbMultiByte < 0) {
        while (lpMultiByteStr[length] != 0) {
            ++length;
        }
        ++length;
    } else {
        length = static_cast<size_t>(cbMultiByte);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::u16string out;
    if (page == CP_UTF8) {
        if (!DecodeUtf8(bytes, length, (dwFlags & MB_ERR_INVALID_CHARS) != 0, out)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else {
        const char16_t* upper = UpperHalf(page);
        for (size_t i = 0; i < length; ++i) {
            out += bytes[i] < 0x80 ? static_cast<char16_t>(bytes[i]) : upper[bytes[i] - 0x80];
        }
    }
    if (cchWideChar == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(lpWideCharStr, out.size());
    return static_cast<int>(out.size());
}
