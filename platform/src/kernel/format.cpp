// The formatter with Microsoft rules, one engine for wide and narrow formats.
#include <cstdio>
#include <cstring>
#include <string>

#include "internal/text.h"
#include "w32/codepage.h"
#include "w32/crt.h"

namespace {

template <typename Ch>
struct Traits;

template <>
struct Traits<char16_t> {
    static constexpr bool kWide = true;
};

template <>
struct Traits<char> {
    static constexpr bool kWide = false;
};

// A va_list that can be passed by reference on every ABI.
struct Args {
    va_list list;
};

enum class Size { kDefault, kChar, kShort, kLong, kLongLong, kPointer, kLongDouble, kWide };

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
    Size size = Size::kDefault;
};

template <typename Ch>
void AppendNarrow(std::basic_string<Ch>& out, const char* text, size_t length) {
    if constexpr (Traits<Ch>::kWide) {
        out += w32::ToWide(CP_ACP, std::string_view(text, length));
    } else {
        out.append(text, length);
    }
}

template <typename Ch>
void AppendWide(std::basic_string<Ch>& out, const char16_t* text, size_t length) {
    if constexpr (Traits<Ch>::kWide) {
        out.append(text, length);
    } else {
        out += w32::FromWide(CP_ACP, std::u16string_view(text, length));
    }
}

// Pads the converted field to its width.
template <typename Ch>
void AppendField(std::basic_string<Ch>& out, const std::basic_string<Ch>& body, const Spec& spec,
                 size_t prefixLength, bool zeroPad) {
    size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
    if (body.size() >= width) {
        out += body;
        return;
    }
    size_t pad = width - body.size();
    if (spec.left) {
        out += body;
        out.append(pad, Ch(' '));
    } else if (zeroPad) {
        out.append(body, 0, prefixLength);
        out.append(pad, Ch('0'));
        out.append(body, prefixLength, std::basic_string<Ch>::npos);
    } else {
        out.append(pad, Ch(' '));
        out += body;
    }
}

template <typename Ch>
std::basic_string<Ch> FromAscii(const char* text) {
    std::basic_string<Ch> out;
    for (; *text != 0; ++text) {
        out += static_cast<Ch>(*text);
    }
    return out;
}

template <typename Ch>
void FormatInteger(std::basic_string<Ch>& out, const Spec& spec, char conversion,
                   unsigned long long magnitude, bool negative) {
    const char* digitsOf = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    unsigned base = (conversion == 'x' || conversion == 'X') ? 16 : (conversion == 'o' ? 8 : 10);
    std::string digits;
    while (magnitude != 0) {
        digits.insert(digits.begin(), digitsOf[magnitude % base]);
        magnitude /= base;
    }
    if (spec.precision < 0 && digits.empty()) {
        digits = "0";
    }
    if (spec.precision >= 0 && digits.size() < static_cast<size_t>(spec.precision)) {
        digits.insert(0, static_cast<size_t>(spec.precision) - digits.size(), '0');
    }
    std::string prefix;
    if (conversion == 'd' || conversion == 'i') {
        if (negative) {
            prefix = "-";
        } else if (spec.plus) {
            prefix = "+";
        } else if (spec.space) {
            prefix = " ";
        }
    } else if (spec.alternate && !digits.empty() && digits != "0") {
        if (conversion == 'x') {
            prefix = "0x";
        } else if (conversion == 'X') {
            prefix = "0X";
        } else if (conversion == 'o' && digits[0] != '0') {
            prefix = "0";
        }
    }
    std::basic_string<Ch> body = FromAscii<Ch>((prefix + digits).c_str());
    AppendField(out, body, spec, prefix.size(), spec.zero && !spec.left && spec.precision < 0);
}

template <typename Ch>
class Engine {
public:
    // False when the format asks for something refused (%n).
    bool Run(const Ch* format, Args& args, std::basic_string<Ch>& out) {
        for (const Ch* p = format; *p != 0; ++p) {
            if (*p != Ch('%')) {
                out += *p;
                continue;
            }
            ++p;
            if (*p == 0) {
                break;
            }
            if (*p == Ch('%')) {
                out += Ch('%');
                continue;
            }
            Spec spec;
            for (;; ++p) {
                if (*p == Ch('-')) {
                    spec.left = true;
                } else if (*p == Ch('+')) {
                    spec.plus = true;
                } else if (*p == Ch(' ')) {
                    spec.space = true;
                } else if (*p == Ch('#')) {
                    spec.alternate = true;
                } else if (*p == Ch('0')) {
                    spec.zero = true;
                } else {
                    break;
                }
            }
            if (*p == Ch('*')) {
                spec.width = va_arg(args.list, int);
                if (spec.width < 0) {
                    spec.left = true;
                    spec.width = -spec.width;
                }
                ++p;
            } else {
                while (*p >= Ch('0') && *p <= Ch('9')) {
                    spec.width = spec.width * 10 + (*p - Ch('0'));
                    ++p;
                }
            }
            if (*p == Ch('.')) {
                ++p;
                spec.precision = 0;
                if (*p == Ch('*')) {
                    spec.precision = va_arg(args.list, int);
                    ++p;
                } else {
                    while (*p >= Ch('0') && *p <= Ch('9')) {
                        spec.precision = spec.precision * 10 + (*p - Ch('0'));
                        ++p;
                    }
                }
            }
            p = ReadSize(p, spec);
            if (*p == 0) {
                break;
            }
            if (!Convert(static_cast<char>(*p), spec, args, out)) {
                return false;
            }
        }
        return true;
    }

private:
    const Ch* ReadSize(const Ch* p, Spec& spec) {
        if (*p == Ch('h')) {
            spec.size = Size::kShort;
            if (p[1] == Ch('h')) {
                spec.size = Size::kChar;
                ++p;
            }
            return p + 1;
        }
        if (*p == Ch('l')) {
            spec.size = Size::kLong;
            if (p[1] == Ch('l')) {
                spec.size = Size::kLongLong;
                ++p;
            }
            return p + 1;
        }
        if (*p == Ch('w')) {
            spec.size = Size::kWide;
            return p + 1;
        }
        if (*p == Ch('L')) {
            spec.size = Size::kLongDouble;
            return p + 1;
        }
        if (*p == Ch('z') || *p == Ch('t') || *p == Ch('j')) {
            spec.size = *p == Ch('j') ? Size::kLongLong : Size::kPointer;
            return p + 1;
        }
        if (*p == Ch('I')) {
            if (p[1] == Ch('6') && p[2] == Ch('4')) {
                spec.size = Size::kLongLong;
                return p + 3;
            }
            if (p[1] == Ch('3') && p[2] == Ch('2')) {
                spec.size = Size::kDefault;
                return p + 3;
            }
            spec.size = Size::kPointer;
            return p + 1;
        }
        return p;
    }

    // Whether a %s / %c takes a wide argument.
    bool TakesWide(char conversion, const Spec& spec) {
        if (spec.size == Size::kShort) {
            return false;
        }
        if (spec.size == Size::kLong || spec.size == Size::kWide) {
            return true;
        }
        bool upper = conversion == 'S' || conversion == 'C';
        return Traits<Ch>::kWide != upper;
    }

    bool Convert(char conversion, const Spec& spec, Args& args, std::basic_string<Ch>& out) {
        switch (conversion) {
            case 'd':
            case 'i': {
                long long value;
                switch (spec.size) {
                    case Size::kChar:
                        value = static_cast<signed char>(va_arg(args.list, int));
                        break;
                    case Size::kShort:
                        value = static_cast<short>(va_arg(args.list, int));
                        break;
                    case Size::kLongLong:
                        value = va_arg(args.list, long long);
                        break;
                    case Size::kPointer:
                        value = static_cast<long long>(va_arg(args.list, intptr_t));
                        break;
                    default:  // int, and long, which is 32 bits on Windows
                        value = va_arg(args.list, int);
                        break;
                }
                unsigned long long magnitude = value < 0
                                                   ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
                FormatInteger(out, spec, conversion, magnitude, value < 0);
                return true;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X': {
                unsigned long long value;
                switch (spec.size) {
                    case Size::kChar:
                        value = static_cast<unsigned char>(va_arg(args.list, unsigned));
                        break;
                    case Size::kShort:
                        value = static_cast<unsigned short>(va_arg(args.list, unsigned));
                        break;
                    case Size::kLongLong:
                        value = va_arg(args.list, unsigned long long);
                        break;
                    case Size::kPointer:
                        value = va_arg(args.list, uintptr_t);
                        break;
                    default:
                        value = va_arg(args.list, unsigned);
                        break;
                }
                FormatInteger(out, spec, conversion, value, false);
                return true;
            }
            case 'p': {
                Spec pointer = spec;
                pointer.precision = static_cast<int>(sizeof(void*) * 2);
                pointer.alternate = false;
                FormatInteger(out, pointer, 'X',
                              static_cast<unsigned long long>(
                                  reinterpret_cast<uintptr_t>(va_arg(args.list, void*))),
                              false);
                return true;
            }
            case 'c':
            case 'C': {
                std::basic_string<Ch> body;
                if (TakesWide(conversion, spec)) {
                    char16_t c = static_cast<char16_t>(va_arg(args.list, int));
                    AppendWide(body, &c, 1);
                } else {
                    char c = static_cast<char>(va_arg(args.list, int));
                    AppendNarrow(body, &c, 1);
                }
                AppendField(out, body, spec, 0, false);
                return true;
            }
            case 's':
            case 'S': {
                std::basic_string<Ch> body;
                if (TakesWide(conversion, spec)) {
                    const char16_t* text = va_arg(args.list, const char16_t*);
                    if (text == nullptr) {
                        text = u"(null)";
                    }
                    size_t length = 0;
                    while (text[length] != 0 &&
                           (spec.precision < 0 || length < static_cast<size_t>(spec.precision))) {
                        ++length;
                    }
                    AppendWide(body, text, length);
                } else {
                    const char* text = va_arg(args.list, const char*);
                    if (text == nullptr) {
                        text = "(null)";
                    }
                    size_t length = 0;
                    while (text[length] != 0 &&
                           (spec.precision < 0 || length < static_cast<size_t>(spec.precision))) {
                        ++length;
                    }
                    AppendNarrow(body, text, length);
                }
                AppendField(out, body, spec, 0, false);
                return true;
            }
            case 'e':
            case 'E':
            case 'f':
            case 'F':
            case 'g':
            case 'G':
            case 'a':
            case 'A': {
                double value = va_arg(args.list, double);
                std::string conversionSpec = "%";
                if (spec.left)
                    conversionSpec += '-';
                if (spec.plus)
                    conversionSpec += '+';
                if (spec.space)
                    conversionSpec += ' ';
                if (spec.alternate)
                    conversionSpec += '#';
                if (spec.zero)
                    conversionSpec += '0';
                if (spec.width > 0)
                    conversionSpec += std::to_string(spec.width);
                if (spec.precision >= 0)
                    conversionSpec += "." + std::to_string(spec.precision);
                conversionSpec += conversion;
                int length = snprintf(nullptr, 0, conversionSpec.c_str(), value);
                if (length > 0) {
                    std::string text(static_cast<size_t>(length) + 1, '\0');
                    snprintf(text.data(), text.size(), conversionSpec.c_str(), value);
                    text.resize(static_cast<size_t>(length));
                    out += FromAscii<Ch>(text.c_str());
                }
                return true;
            }
            case 'n':
                // Writing through a pointer from the format is refused, as the
                // Microsoft runtime does by default.
                return false;
            default:
                out += static_cast<Ch>(conversion);
                return true;
        }
    }
};

template <typename Ch>
bool Format(const Ch* format, va_list args, std::basic_string<Ch>& out) {
    if (format == nullptr) {
        return false;
    }
    Args copy;
    va_copy(copy.list, args);
    Engine<Ch> engine;
    bool ok = engine.Run(format, copy, out);
    va_end(copy.list);
    return ok;
}

// _vsnprintf: up to count characters; the terminator only when there is room.
template <typename Ch>
int BoundedNoTerminator(Ch* buffer, size_t count, const Ch* format, va_list args) {
    std::basic_string<Ch> out;
    if (!Format(format, args, out) || buffer == nullptr) {
        return -1;
    }
    if (out.size() < count) {
        out.copy(buffer, out.size());
        buffer[out.size()] = 0;
        return static_cast<int>(out.size());
    }
    out.copy(buffer, count);
    return out.size() == count ? static_cast<int>(count) : -1;
}

// _vsnprintf_s: always terminated.
template <typename Ch>
int BoundedSecure(Ch* buffer, size_t sizeOfBuffer, size_t count, const Ch* format, va_list args) {
    if (buffer == nullptr || sizeOfBuffer == 0) {
        return -1;
    }
    std::basic_string<Ch> out;
    if (!Format(format, args, out)) {
        buffer[0] = 0;
        return -1;
    }
    size_t limit = sizeOfBuffer - 1;
    bool truncateAllowed = count == _TRUNCATE;
    if (!truncateAllowed && count < sizeOfBuffer) {
        limit = count;
        truncateAllowed = true;  // cut at count, as the runtime does
    }
    if (out.size() <= limit) {
        out.copy(buffer, out.size());
        buffer[out.size()] = 0;
        return static_cast<int>(out.size());
    }
    if (!truncateAllowed) {
        buffer[0] = 0;
        return -1;
    }
    out.copy(buffer, limit);
    buffer[limit] = 0;
    return -1;
}

// vsprintf_s: output that does not fit empties the buffer.
template <typename Ch>
int Secure(Ch* buffer, size_t sizeOfBuffer, const Ch* format, va_list args) {
    if (buffer == nullptr || sizeOfBuffer == 0) {
        return -1;
    }
    std::basic_string<Ch> out;
    if (!Format(format, args, out) || out.size() >= sizeOfBuffer) {
        buffer[0] = 0;
        return -1;
    }
    out.copy(buffer, out.size());
    buffer[out.size()] = 0;
    return static_cast<int>(out.size());
}

template <typename Ch>
int Count(const Ch* format, va_list args) {
    std::basic_string<Ch> out;
    return Format(format, args, out) ? static_cast<int>(out.size()) : -1;
}

}  // namespace

W32CPP int _vsnwprintf(char16_t* buffer, size_t count, const char16_t* format, va_list args) {
    return BoundedNoTerminator(buffer, count, format, args);
}

W32CPP int _snwprintf(char16_t* buffer, size_t count, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = BoundedNoTerminator(buffer, count, format, args);
    va_end(args);
    return result;
}

W32CPP int _vsnwprintf_s(char16_t* buffer, size_t sizeOfBuffer, size_t count,
                         const char16_t* format, va_list args) {
    return BoundedSecure(buffer, sizeOfBuffer, count, format, args);
}

W32CPP int _snwprintf_s(char16_t* buffer, size_t sizeOfBuffer, size_t count, const char16_t* format,
                        ...) {
    va_list args;
    va_start(args, format);
    int result = BoundedSecure(buffer, sizeOfBuffer, count, format, args);
    va_end(args);
    return result;
}

W32CPP int vswprintf_s(char16_t* buffer, size_t sizeOfBuffer, const char16_t* format,
                       va_list args) {
    return Secure(buffer, sizeOfBuffer, format, args);
}

W32CPP int swprintf_s(char16_t* buffer, size_t sizeOfBuffer, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = Secure(buffer, sizeOfBuffer, format, args);
    va_end(args);
    return result;
}

W32CPP int _vscwprintf(const char16_t* format, va_list args) {
    return Count(format, args);
}

W32CPP int _scwprintf(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = Count(format, args);
    va_end(args);
    return result;
}

W32API int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
    // The user32 formatter writes at most 1024 characters, terminator included.
    int result = BoundedSecure(buffer, 1024, _TRUNCATE, format, args);
    return result < 0 ? 1023 : result;
}

W32API int WINAPI wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int result = wvsprintfW(buffer, format, args);
    va_end(args);
    return result;
}

W32CPP int _vsnprintf(char* buffer, size_t count, const char* format, va_list args) {
    return BoundedNoTerminator(buffer, count, format, args);
}

W32CPP int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = BoundedNoTerminator(buffer, count, format, args);
    va_end(args);
    return result;
}

W32CPP int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format,
                        va_list args) {
    return BoundedSecure(buffer, sizeOfBuffer, count, format, args);
}

W32CPP int _snprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = BoundedSecure(buffer, sizeOfBuffer, count, format, args);
    va_end(args);
    return result;
}

W32CPP int vsprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, va_list args) {
    return Secure(buffer, sizeOfBuffer, format, args);
}

W32CPP int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = Secure(buffer, sizeOfBuffer, format, args);
    va_end(args);
    return result;
}

W32CPP int _vscprintf(const char* format, va_list args) {
    return Count(format, args);
}

W32CPP int _scprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = Count(format, args);
    va_end(args);
    return result;
}
