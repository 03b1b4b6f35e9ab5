#include "print/sheet_writer.h"

#include <mutex>

#include "w32/module.h"

namespace w32::print {
namespace {

using WriteProc = int (*)(const char* path, int width, int height, const unsigned char* rgb);

// The module once loaded serves for the process's life.
WriteProc Writer() {
    static std::once_flag once;
    static WriteProc writer = nullptr;
    std::call_once(once, [] {
        HMODULE library = LoadLibraryW(u"w32spool.dll");
        if (library != nullptr) {
            writer = reinterpret_cast<WriteProc>(GetProcAddress(library, "W32SpoolWritePng"));
        }
    });
    return writer;
}

}  // namespace

bool WriteSheetPng(const std::string& path, int width, int height, const uint8_t* rgb) {
    WriteProc writer = Writer();
    return writer != nullptr && writer(path.c_str(), width, height, rgb) != 0;
}

}  // namespace w32::print
