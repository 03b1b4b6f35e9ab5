// The wide C-runtime helpers on UTF-16 strings.
#include <cerrno>
#include <climits>

#include "w32/crt.h"

namespace {

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

}  // namespace

W32CPP size_t wcslen(const char16_t* s) {
    size_t length = 0;
    while (s[length] != 0) {
        ++length;
    }
    return length;
}

W32CPP size_t wcsnlen(const char16_t* s, size_t maxCount) {
    size_t length = 0;
    while (length < maxCount && s[length] != 0) {
        ++length;
    }
    return length;
}

W32CPP int wcscmp(const char16_t* a, const char16_t* b) {
    return wcsncmp(a, b, SIZE_MAX);
}

W32CPP int wcsncmp(const char16_t* a, const char16_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
        if (a[i] == 0) {
            return 0;
        }
    }
    return 0;
}

W32CPP int _wcsicmp(const char16_t* a, const char16_t* b) {
    return _wcsnicmp(a, b, SIZE_MAX);
}

W32CPP int _wcsnicmp(const char16_t* a, const char16_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        char16_t x = FoldAscii(a[i]);
        char16_t y = FoldAscii(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == 0) {
            return 0;
        }
    }
    return 0;
}

W32CPP const char16_t* wcschr(const char16_t* s, char16_t c) {
    for (;; ++s) {
        if (*s == c) {
            return s;
        }
        if (*s == 0) {
            return nullptr;
        }
    }
}

W32CPP const char16_t* wcsrchr(const char16_t* s, char16_t c) {
    const char16_t* found = nullptr;
    for (;; ++s) {
        if (*s == c) {
            found = s;
        }
        if (*s == 0) {
            return found;
        }
    }
}

W32CPP const char16_t* wcsstr(const char16_t* s, const char16_t* find) {
    size_t length = wcslen(find);
    if (length == 0) {
        return s;
    }
    for (; *s != 0; ++s) {
        if (wcsncmp(s, find, length) == 0) {
            return s;
        }
    }
    return nullptr;
}

W32CPP errno_t wcsncpy_s(char16_t* dest, size_t destSize, const char16_t* src, size_t count) {
    if (dest == nullptr || destSize == 0) {
        return EINVAL;
    }
    if (src == nullptr) {
        dest[0] = 0;
        return EINVAL;
    }
    size_t length = wcsnlen(src, count == _TRUNCATE ? SIZE_MAX : count);
    if (length >= destSize) {
        if (count == _TRUNCATE) {
            for (size_t i = 0; i + 1 < destSize; ++i) {
                dest[i] = src[i];
            }
            dest[destSize - 1] = 0;
            return STRUNCATE;
        }
        dest[0] = 0;
        return ERANGE;
    }
    for (size_t i = 0; i < length; ++i) {
        dest[i] = src[i];
    }
    dest[length] = 0;
    return 0;
}

W32CPP errno_t wcscpy_s(char16_t* dest, size_t destSize, const char16_t* src) {
    if (dest == nullptr || destSize == 0) {
        return EINVAL;
    }
    if (src == nullptr) {
        dest[0] = 0;
        return EINVAL;
    }
    size_t length = wcslen(src);
    if (length >= destSize) {
        dest[0] = 0;
        return ERANGE;
    }
    for (size_t i = 0; i <= length; ++i) {
        dest[i] = src[i];
    }
    return 0;
}

W32CPP errno_t wcscat_s(char16_t* dest, size_t destSize, const char16_t* src) {
    if (dest == nullptr || destSize == 0) {
        return EINVAL;
    }
    size_t used = wcsnlen(dest, destSize);
    if (used == destSize || src == nullptr) {
        dest[0] = 0;
        return EINVAL;
    }
    errno_t result = wcscpy_s(dest + used, destSize - used, src);
    if (result != 0) {
        dest[0] = 0;
    }
    return result;
}

W32CPP errno_t _wcslwr_s(char16_t* s, size_t size) {
    if (s == nullptr || wcsnlen(s, size) == size) {
        return EINVAL;
    }
    for (; *s != 0; ++s) {
        *s = FoldAscii(*s);
    }
    return 0;
}

W32CPP char16_t* _wcslwr(char16_t* s) {
    for (char16_t* p = s; *p != 0; ++p) {
        *p = FoldAscii(*p);
    }
    return s;
}

W32CPP long long _wtoi64(const char16_t* s) {
    if (s == nullptr) {
        return 0;
    }
    while (IsSpace(*s)) {
        ++s;
    }
    bool negative = false;
    if (*s == u'+' || *s == u'-') {
        negative = *s == u'-';
        ++s;
    }
    unsigned long long value = 0;
    bool overflow = false;
    for (; *s >= u'0' && *s <= u'9'; ++s) {
        unsigned digit = static_cast<unsigned>(*s - u'0');
        if (value > (static_cast<unsigned long long>(LLONG_MAX) + 1 - digit) / 10) {
            overflow = true;
        } else {
            value = value * 10 + digit;
        }
    }
    if (overflow || (!negative && value > static_cast<unsigned long long>(LLONG_MAX))) {
        return negative ? LLONG_MIN : LLONG_MAX;
    }
    return negative ? static_cast<long long>(0ULL - value) : static_cast<long long>(value);
}

// As the Microsoft runtime: out-of-range values saturate at INT_MIN / INT_MAX.
W32CPP int _wtoi(const char16_t* s) {
    long long value = _wtoi64(s);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}
