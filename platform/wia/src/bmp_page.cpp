#include "bmp_page.h"

#include <cstring>
#include <vector>

namespace wia_service {
namespace {

void Put16(std::vector<BYTE>& out, size_t at, uint16_t value) {
    memcpy(out.data() + at, &value, 2);
}
void Put32(std::vector<BYTE>& out, size_t at, uint32_t value) {
    memcpy(out.data() + at, &value, 4);
}

// The pixel pattern: diagonal bands that differ from page to page.
BYTE Shade(int x, int y, int pageNumber) {
    return static_cast<BYTE>(((x + y) / 8 + pageNumber * 40) % 256);
}

}  // namespace

HRESULT WriteBmpPage(const std::u16string& path, const PageSpec& page, int dpi, int pageNumber) {
    const int bits = page.bitsPerPixel;
    const uint32_t colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    const uint32_t stride = ((static_cast<uint32_t>(page.width) * bits + 31) / 32) * 4;
    const uint32_t offBits = 14 + 40 + colours * 4;
    const uint32_t imageSize = stride * static_cast<uint32_t>(page.height);
    std::vector<BYTE> file(offBits + imageSize, 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, offBits + imageSize);
    Put32(file, 10, offBits);
    Put32(file, 14, 40);
    Put32(file, 18, static_cast<uint32_t>(page.width));
    Put32(file, 22, static_cast<uint32_t>(page.height));
    Put16(file, 26, 1);
    Put16(file, 28, static_cast<uint16_t>(bits));
    Put32(file, 34, imageSize);
    const auto perMetre = static_cast<uint32_t>(dpi / 0.0254 + 0.5);
    Put32(file, 38, perMetre);
    Put32(file, 42, perMetre);
    Put32(file, 46, colours);
    for (uint32_t i = 0; i < colours; ++i) {
        BYTE level = static_cast<BYTE>(colours == 2 ? i * 255 : i);
        size_t at = 54 + i * 4;
        file[at] = file[at + 1] = file[at + 2] = level;
    }
    for (int y = 0; y < page.height; ++y) {
        BYTE* row = file.data() + offBits + static_cast<size_t>(page.height - 1 - y) * stride;
        for (int x = 0; x < page.width; ++x) {
            BYTE shade = Shade(x, y, pageNumber);
            if (bits == 24) {
                row[x * 3] = shade;
                row[x * 3 + 1] = static_cast<BYTE>(255 - shade);
                row[x * 3 + 2] = static_cast<BYTE>(shade / 2);
            } else if (bits == 8) {
                row[x] = shade;
            } else if (shade >= 128) {
                row[x / 8] = static_cast<BYTE>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return E_FAIL;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
    CloseHandle(out);
    if (!ok || written != file.size()) {
        DeleteFileW(path.c_str());
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace wia_service
