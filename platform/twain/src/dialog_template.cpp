#include "dialog_template.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include <unistd.h>

namespace twain_dsm {
namespace {

// Unique across loads of the library within the process: the clock at the
// first use seeds the counter.
std::u16string UniqueName() {
    static std::atomic<uint64_t> counter{
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    char text[64];
    snprintf(text, sizeof(text), "TWAIN_DSM_DIALOG_%d_%llx", static_cast<int>(getpid()),
             static_cast<unsigned long long>(counter.fetch_add(1)));
    std::string narrow = text;
    return std::u16string(narrow.begin(), narrow.end());
}

}  // namespace

HINSTANCE ThisLibrary() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisLibrary), &module);
    return module;
}

DialogTemplate::DialogTemplate(const std::u16string& caption, short width, short height) {
    form.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    form.exStyle = 0;
    form.x = 0;
    form.y = 0;
    form.cx = width;
    form.cy = height;
    form.caption = Keep(caption);
    form.fontName = Keep(u"MS Shell Dlg");
    form.pointSize = 8;
}

const char16_t* DialogTemplate::Keep(const std::u16string& text) {
    strings.push_back(text);
    return strings.back().c_str();
}

void DialogTemplate::AddControl(int id, const char16_t* className, const std::u16string& text,
                                short x, short y, short width, short height, DWORD style) {
    W32_DIALOG_CONTROL control = {};
    control.id = id;
    control.className = Keep(className);
    control.text = Keep(text);
    control.x = x;
    control.y = y;
    control.cx = width;
    control.cy = height;
    control.style = style | WS_CHILD | WS_VISIBLE;
    control.exStyle = 0;
    controls.push_back(control);
}

LPCWSTR DialogTemplate::Register() {
    form.controls = controls.data();
    form.controlCount = static_cast<int>(controls.size());
    name = UniqueName();
    W32RegisterResource(reinterpret_cast<const void*>(&ThisLibrary), RT_DIALOG, name.c_str(), &form,
                        sizeof(form));
    return name.c_str();
}

}  // namespace twain_dsm
