// The about dialog: the product's logo, name, version with build date, build
// number, maker and a link to the product's web site.
#pragma once

#include <windows.h>

#include <string>

#include "agent/core/resource_ids.h"
#include "framework/dialog.h"
#include "framework/hyperlink.h"
#include "framework/raii.h"

namespace vexlo {

// The product's web site, shown in the dialog and opened by its link.
inline constexpr char16_t kProductSite[] = u"www.vexlo.example";
// The dialog's background colour.
inline constexpr COLORREF kAboutBackground = RGB(240, 240, 240);

// The date the program was built, as the compiler spells it ("Apr 29 2013"),
// in the thread's ANSI code page.
std::u16string GetBuildDate();

// The version ("0.0.81") and build number (91) of the program's version block.
struct ProgramVersion {
    std::u16string version;
    int build = 0;
};
ProgramVersion GetProgramVersion();

class CDialogAbout : public fw::CDialogImpl<CDialogAbout>,
                     public fw::CWinDataExchange<CDialogAbout> {
public:
    enum { IDD = kAboutDialogId };

    CDialogAbout();
    ~CDialogAbout() override;

    BEGIN_MSG_MAP(CDialogAbout)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, OnControlColour)
    MESSAGE_HANDLER(WM_CTLCOLORBTN, OnControlColour)
    MESSAGE_HANDLER(WM_CTLCOLOREDIT, OnControlColour)
    MESSAGE_HANDLER(WM_CTLCOLORDLG, OnDialogColour)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()

    // The link's state, for what only a thread of the agent can see.
    const fw::CHyperLink& SiteLink() const { return siteLink; }
    HBRUSH BackgroundBrush() const { return background.get(); }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnControlColour(UINT, WPARAM wParam, LPARAM, BOOL&);
    LRESULT OnDialogColour(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled);

    fw::CHyperLink siteLink;
    // One brush for the dialog's life, made on the first paint's question.
    fw::unique_hbrush background;
};

}  // namespace vexlo
