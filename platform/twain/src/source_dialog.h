// A virtual source's own user interface: a modeless dialog, titled with the
// source's product name and owned by the window the application gives with
// MSG_ENABLEDS, with a status line and the buttons "Scan" (the default
// button) and "Close" (also Escape and the close box).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "dialog_template.h"

namespace twain_dsm {

class SourceDialog {
public:
    class Events {
    public:
        virtual void OnScanPressed() = 0;
        virtual void OnClosePressed() = 0;

    protected:
        ~Events() = default;
    };

    static constexpr int kScanButton = 1001;
    static constexpr int kCloseButton = IDCANCEL;
    static constexpr int kStatusText = 1002;

    explicit SourceDialog(Events& events) : events(events) {}
    ~SourceDialog() { Destroy(); }
    SourceDialog(const SourceDialog&) = delete;
    SourceDialog& operator=(const SourceDialog&) = delete;

    // Makes and shows the dialog; false when it cannot be made.
    bool Show(HWND owner, const std::u16string& title);
    void Destroy();
    bool IsShown() const { return window != nullptr; }
    HWND Window() const { return window; }
    // The dialog itself or one of its controls.
    bool Owns(HWND hwnd) const;
    // While a run is under way the Scan button is disabled.
    void SetBusy(bool busy, const std::u16string& status);

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Events& events;
    HWND window = nullptr;
};

}  // namespace twain_dsm
