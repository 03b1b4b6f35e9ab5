// A frame of the browser host's Internet Explorer object model, driven as a
// test drives a browser: each load gives the frame a new document with its
// window and script engine, ends the old one as the browser does, and a
// navigation tells the top-level browser's sinks.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "ie_frame.h"
#include "ie_frame_objects.h"
#include "ie_script_engine.h"

namespace vexlo::test {

// What a document's scripts ask of their frame: nothing a test needs but
// the errors no script caught.
class QuietFrameControl final : public browser::ie::FrameControl {
public:
    void Print(const std::string&, bool) override {}
    void Done(int) override {}
    void ScriptFailed(const std::string& message) override { failures.push_back(message); }
    void StartTimer(uint32_t, uint32_t) override {}
    void StopTimer(uint32_t) override {}
    HWND PageWindow() override { return nullptr; }
    void Status(const std::string&) override {}
    void Navigate(const std::string&) override {}

    std::vector<std::string> failures;
};

class TestFrame {
public:
    // top: the top-level frame, null for that one.
    explicit TestFrame(TestFrame* top = nullptr, const browser::ie::BrowserVariants& variants = {});
    ~TestFrame();
    TestFrame(const TestFrame&) = delete;
    TestFrame& operator=(const TestFrame&) = delete;

    // Ends the current document and shows a new one (or none).
    void Load(bool withDocument = true);
    // NavigateComplete2 of this frame (or of another), fired on the
    // top-level browser.
    void FireNavigateComplete(IDispatch* frame = nullptr);
    // Load and tell the sinks, as a completed navigation does.
    void Navigate(bool withDocument = true);
    void Fire(DISPID event) { browser->Fire(event); }
    size_t Sinks() const { return browser->Sinks(); }

    IWebBrowser2* Browser() const { return browser.p; }
    // The current document's window and engine; null without a document.
    browser::ie::HostWindow* Window() const { return window.p; }
    browser::ie::ScriptEngine* Engine() const { return engine.get(); }
    const std::vector<std::string>& ScriptFailures() const { return control.failures; }

private:
    void Unload();

    TestFrame* top;  // this frame when it is the top-level one
    browser::ie::BrowserVariants variants;
    QuietFrameControl control;
    fw::CComPtr<browser::ie::HostBrowser> browser;
    fw::CComPtr<browser::ie::HostWindow> window;
    fw::CComPtr<browser::ie::HostDocument> document;
    std::unique_ptr<browser::ie::ScriptEngine> engine;
};

// A window property read through IDispatch, as script reads it; an object
// with one reference for the caller, or null.
fw::CComPtr<IDispatch> WindowObject(IDispatch* window, const char16_t* name);

// A global of a document's scripts as a number; -1 when it is none.
LONG ScriptNumber(browser::ie::ScriptEngine* engine, const char16_t* name);

}  // namespace vexlo::test
