#include "framework/hyperlink.h"

namespace fw {

CHyperLink::~CHyperLink() {
    // A link that outlives its attachment gives the static its own procedure back.
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        UnsubclassWindow();
    }
}

bool CHyperLink::Navigate() {
    if (target.empty()) {
        return false;
    }
    HINSTANCE result =
        ::ShellExecuteW(nullptr, u"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        return false;
    }
    visited = true;
    if (m_hWnd != nullptr) {
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }
    return true;
}

LRESULT CHyperLink::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    if (dc == nullptr) {
        return 0;
    }
    // The parent chooses the background (a dialog may answer a hollow brush);
    // the text is the link's own colour.
    HWND parent = ::GetParent(m_hWnd);
    if (parent != nullptr) {
        ::SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(m_hWnd));
    }
    ::SetTextColor(dc, visited ? visitedColour : linkColour);
    int length = ::GetWindowTextLengthW(m_hWnd);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(m_hWnd, text.data(), length + 1)));
    RECT area = paint.rcPaint;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CHyperLink::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL&) {
    Navigate();
    return 0;
}

LRESULT CHyperLink::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    if (wParam == VK_SPACE || wParam == VK_RETURN) {
        Navigate();
        return 0;
    }
    handled = FALSE;
    return 0;
}

}  // namespace fw
