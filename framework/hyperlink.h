// A hyperlink on a static control: attached by subclassing the static, it
// draws the static's text in the link colour (the visited colour once opened)
// and opens its target with the shell when clicked. Its state lives in this
// object, never in the static's GWLP_USERDATA slot (a bitmap static keeps its
// image there).
#pragma once

#include <windows.h>

#include <string>

#include "framework/window_impl.h"

namespace fw {

class CHyperLink : public CWindowImpl<CHyperLink> {
public:
    CHyperLink() = default;
    ~CHyperLink() override;

    BEGIN_MSG_MAP(CHyperLink)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    END_MSG_MAP()

    // The address that a click opens.
    void SetHyperLink(const char16_t* target) { this->target = target != nullptr ? target : u""; }
    const std::u16string& GetHyperLink() const { return target; }
    void SetLinkColors(COLORREF link, COLORREF visited) {
        linkColour = link;
        visitedColour = visited;
    }
    COLORREF GetLinkColor() const { return linkColour; }
    COLORREF GetVisitedColor() const { return visitedColour; }
    bool IsVisited() const { return visited; }

    // Opens the target with ShellExecuteW; the link turns visited (and is
    // repainted) only when the shell reports success.
    bool Navigate();

private:
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& handled);

    std::u16string target;
    COLORREF linkColour = RGB(0, 0, 255);
    COLORREF visitedColour = RGB(128, 0, 128);
    bool visited = false;
};

}  // namespace fw
