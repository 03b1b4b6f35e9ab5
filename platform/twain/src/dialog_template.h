// Dialog templates made at run time for the manager's and the sources'
// dialogs. The library is loaded and unloaded again and again, so its
// dialogs cannot be resources compiled into it (a registered resource would
// outlive the library's memory): each template is made in memory owned by its
// dialog and registered with the module under a name of its own that nothing
// else ever looks up.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace twain_dsm {

class DialogTemplate {
public:
    DialogTemplate(const std::u16string& caption, short width, short height);
    DialogTemplate(const DialogTemplate&) = delete;
    DialogTemplate& operator=(const DialogTemplate&) = delete;

    void AddControl(int id, const char16_t* className, const std::u16string& text, short x, short y,
                    short width, short height, DWORD style);
    // Registers the template with this library's module; the name to give
    // CreateDialogParamW or DialogBoxParamW. The template must outlive the
    // dialog's creation.
    LPCWSTR Register();

private:
    const char16_t* Keep(const std::u16string& text);

    W32_DIALOG_TEMPLATE form = {};
    std::deque<std::u16string> strings;  // addresses stay put as it grows
    std::vector<W32_DIALOG_CONTROL> controls;
    std::u16string name;
};

// This library's module handle (the instance its dialogs belong to).
HINSTANCE ThisLibrary();

}  // namespace twain_dsm
