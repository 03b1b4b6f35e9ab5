#include "agent/core/dialog_about.h"

#include <cstdarg>
#include <cstring>
#include <iterator>

#include "framework/text.h"

namespace vexlo {
namespace {

constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr COLORREF kVisitedColour = RGB(128, 0, 128);

// The fixed part of a version block starts after the block's header (three
// words) and its key "VS_VERSION_INFO", padded to a 32-bit boundary.
constexpr size_t kFixedInfoOffset = 40;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

uint32_t ReadDword(const uint8_t* bytes) {
    uint32_t value = 0;
    memcpy(&value, bytes, sizeof(value));
    return value;
}

std::u16string FormatText(const char16_t* format, ...) {
    char16_t buffer[128] = {};
    va_list args;
    va_start(args, format);
    vswprintf_s(buffer, std::size(buffer), format, args);
    va_end(args);
    return buffer;
}

}  // namespace

std::u16string GetBuildDate() {
    return fw::ToWide(CP_THREAD_ACP, __DATE__);
}

ProgramVersion GetProgramVersion() {
    ProgramVersion result;
    HMODULE module = fw::ThisModule();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
    DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
    const auto* bytes = static_cast<const uint8_t*>(
        resource != nullptr ? LockResource(LoadResource(module, resource)) : nullptr);
    if (bytes == nullptr || size < kFixedInfoOffset + 16 ||
        ReadDword(bytes + kFixedInfoOffset) != kFixedInfoSignature) {
        return result;
    }
    uint32_t high = ReadDword(bytes + kFixedInfoOffset + 8);
    uint32_t low = ReadDword(bytes + kFixedInfoOffset + 12);
    result.version = FormatText(u"%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low));
    result.build = LOWORD(low);
    return result;
}

CDialogAbout::CDialogAbout() {
    siteLink.SetLinkColors(kLinkColour, kVisitedColour);
}

CDialogAbout::~CDialogAbout() = default;

LRESULT CDialogAbout::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    ProgramVersion version = GetProgramVersion();
    std::u16string date = GetBuildDate();
    ::SetDlgItemTextW(
        m_hWnd, kAboutVersionId,
        FormatText(u"Версия %s от %s", version.version.c_str(), date.c_str()).c_str());
    ::SetDlgItemTextW(m_hWnd, kAboutBuildId, FormatText(u"Сборка %i", version.build).c_str());
    siteLink.SetHyperLink(kProductSite);
    if (siteLink.m_hWnd == nullptr) {
        siteLink.SubclassWindow(::GetDlgItem(m_hWnd, kAboutSiteLinkId));
    }
    return 0;  // no default focus is set
}

LRESULT CDialogAbout::OnControlColour(UINT, WPARAM wParam, LPARAM, BOOL&) {
    // Controls are drawn on the dialog's own background.
    SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

LRESULT CDialogAbout::OnDialogColour(UINT, WPARAM, LPARAM, BOOL&) {
    if (!background) {
        background.reset(CreateSolidBrush(kAboutBackground));
    }
    return reinterpret_cast<LRESULT>(background.get());
}

LRESULT CDialogAbout::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    WORD id = LOWORD(wParam);
    if ((id == IDOK || id == IDCANCEL) && HIWORD(wParam) == 0) {
        EndDialog(0);
        return 0;
    }
    handled = FALSE;
    return 0;
}

}  // namespace vexlo
