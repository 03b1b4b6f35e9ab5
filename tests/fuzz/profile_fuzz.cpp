// The private profile reader and the code page conversions under it: any
// bytes as a settings file (UTF-16 or UTF-8 by their mark, else the ANSI code
// page, here 1251), read by section and key lists, values into small and
// large buffers, numbers, the agent's own settings, and a write back; the
// same bytes through every supported code page both ways.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "agent/base/data_folders.h"
#include "agent/base/settings.h"
#include "fuzz_support.h"
#include "support/temp_dir.h"

namespace {

using vexlo::fuzz::Require;

// Converts the bytes to UTF-16 and back as a caller sizing its buffers does.
void RoundTrip(UINT codePage, DWORD flags, const std::string& bytes) {
    const int length = static_cast<int>(bytes.size());
    int wide = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
    if (wide <= 0) {
        return;
    }
    std::vector<char16_t> text(static_cast<size_t>(wide));
    Require(MultiByteToWideChar(codePage, flags, bytes.data(), length, text.data(), wide) == wide);
    int narrow = WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    Require(narrow > 0);
    std::vector<char> back(static_cast<size_t>(narrow));
    Require(WideCharToMultiByte(codePage, 0, text.data(), wide, back.data(), narrow, nullptr,
                                nullptr) == narrow);
    // A buffer one short is refused, never overrun (a size of 0 asks for the size).
    if (narrow > 1) {
        std::vector<char> shortBuffer(static_cast<size_t>(narrow - 1));
        Require(WideCharToMultiByte(codePage, 0, text.data(), wide, shortBuffer.data(), narrow - 1,
                                    nullptr, nullptr) == 0);
    }
}

// The bytes read as UTF-16 units, to each code page.
void FromUnits(UINT codePage, const std::string& bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    }
    int count = static_cast<int>(units.size());
    BOOL usedDefault = FALSE;
    BOOL* used = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int narrow = WideCharToMultiByte(codePage, 0, units.data(), count, nullptr, 0, nullptr, used);
    if (narrow > 0) {
        std::vector<char> out(static_cast<size_t>(narrow));
        Require(WideCharToMultiByte(codePage, 0, units.data(), count, out.data(), narrow, nullptr,
                                    used) == narrow);
    }
}

// Every section and key the file lists, each value read into a buffer of
// `size` characters.
void ReadAll(const std::u16string& file, DWORD size) {
    std::vector<char16_t> sections(4096);
    DWORD got = GetPrivateProfileStringW(nullptr, nullptr, u"", sections.data(),
                                         static_cast<DWORD>(sections.size()), file.c_str());
    Require(got < sections.size());
    std::vector<char16_t> keys(4096);
    std::vector<char16_t> value(size);
    for (const char16_t* section = sections.data(); *section != 0;
         section += std::char_traits<char16_t>::length(section) + 1) {
        got = GetPrivateProfileStringW(section, nullptr, u"", keys.data(),
                                       static_cast<DWORD>(keys.size()), file.c_str());
        Require(got < keys.size());
        for (const char16_t* key = keys.data(); *key != 0;
             key += std::char_traits<char16_t>::length(key) + 1) {
            got = GetPrivateProfileStringW(section, key, u"fallback", value.data(), size,
                                           file.c_str());
            Require(got < size && value[got] == 0);
            GetPrivateProfileIntW(section, key, 7, file.c_str());
        }
    }
}

struct Folder {
    Folder() {
        setenv("APPDATA", dir.native().c_str(), 1);
        vexlo::FreeSettings();
    }
    vexlo::test::TempDir dir;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Files without a mark are read in the ANSI code page: a single-byte one
    // here, UTF-8 comes with its mark.
    setenv("W32_ACP", "1251", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = vexlo::fuzz::Text(data, size);
    for (UINT codePage : {UINT{CP_UTF8}, UINT{1251}, UINT{1252}}) {
        RoundTrip(codePage, 0, bytes);
        RoundTrip(codePage, MB_ERR_INVALID_CHARS, bytes);
        FromUnits(codePage, bytes);
    }

    vexlo::fuzz::Kept<Folder>();
    std::u16string file = vexlo::GetSettingsFilePath();
    vexlo::test::WriteFileBytes(vexlo::fuzz::PathText(file), bytes);
    ReadAll(file, 3);
    ReadAll(file, 1024);
    // The agent's own reading, and its write back into the same file.
    vexlo::FreeSettings();
    vexlo::CSettings* settings = vexlo::GetSettings();
    Require(settings != nullptr);
    vexlo::SaveSettings(file);
    ReadAll(file, 1024);
    vexlo::FreeSettings();
    return 0;
}
