#include "js_text.h"

#include <cstdint>

namespace browser {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence of up to four bytes; surrogates are let through so
// that the caller can pair them. Advances past what it consumed.
char32_t Decode(const unsigned char* text, size_t length, size_t* position) {
    unsigned char lead = text[*position];
    size_t count = lead < 0x80             ? 1
                   : (lead & 0xE0) == 0xC0 ? 2
                   : (lead & 0xF0) == 0xE0 ? 3
                   : (lead & 0xF8) == 0xF0 ? 4
                                           : 0;
    if (count == 0 || *position + count > length) {
        ++*position;
        return kReplacement;
    }
    char32_t value = count == 1 ? lead : lead & (0x7F >> count);
    for (size_t i = 1; i < count; ++i) {
        unsigned char next = text[*position + i];
        if ((next & 0xC0) != 0x80) {
            *position += i;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    *position += count;
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[count] || value > 0x10FFFF) {
        return kReplacement;
    }
    return value;
}

bool IsHighSurrogate(char32_t value) {
    return value >= 0xD800 && value <= 0xDBFF;
}
bool IsLowSurrogate(char32_t value) {
    return value >= 0xDC00 && value <= 0xDFFF;
}

// Decodes text leniently, code point by code point, into what step makes of
// each; step may read on (the second half of a pair) by moving position.
template <typename Out, typename Step>
Out Transcode(const char* text, size_t length, Step step) {
    Out out;
    if (text == nullptr) {
        return out;
    }
    out.reserve(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t position = 0;
    while (position < length) {
        step(Decode(bytes, length, &position), bytes, &position, &out);
    }
    return out;
}

}  // namespace

std::string EngineToUtf8(const char* text, size_t length) {
    return Transcode<std::string>(
        text, length,
        [length](char32_t value, const unsigned char* bytes, size_t* position, std::string* out) {
            if (IsHighSurrogate(value)) {
                size_t after = *position;
                char32_t low = after < length ? Decode(bytes, length, &after) : 0;
                if (IsLowSurrogate(low)) {
                    value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
                    *position = after;
                } else {
                    value = kReplacement;
                }
            } else if (IsLowSurrogate(value)) {
                value = kReplacement;
            }
            AppendUtf8(value, out);
        });
}

std::string Utf8ToEngine(const char* text, size_t length) {
    return Transcode<std::string>(
        text, length, [](char32_t value, const unsigned char*, size_t*, std::string* out) {
            if (IsHighSurrogate(value) || IsLowSurrogate(value)) {
                value = kReplacement;  // UTF-8 never encodes surrogates
            }
            if (value >= 0x10000) {
                value -= 0x10000;
                AppendUtf8(0xD800 + (value >> 10), out);
                AppendUtf8(0xDC00 + (value & 0x3FF), out);
            } else {
                AppendUtf8(value, out);
            }
        });
}

std::string WideToEngine(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        AppendUtf8(text[i], &out);
    }
    return out;
}

std::u16string EngineToWide(const char* text, size_t length) {
    return Transcode<std::u16string>(
        text, length, [](char32_t value, const unsigned char*, size_t*, std::u16string* out) {
            if (value > 0xFFFF) {
                // Not what scripts make, but what a native may have pushed.
                value -= 0x10000;
                out->push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
                out->push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
            } else {
                out->push_back(static_cast<char16_t>(value));
            }
        });
}

void AppendUtf8(char32_t value, std::string* out) {
    if (value < 0x80) {
        out->push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (value >> 6)));
        out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (value >> 12)));
        out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (value >> 18)));
        out->push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
}

}  // namespace browser
