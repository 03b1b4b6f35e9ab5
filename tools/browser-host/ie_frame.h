// One frame in the host's Internet Explorer mode: the top-level page or an
// iframe element's page, with its browser, and while a document is shown
// its window, document and script engine. A frame loads its own iframe
// elements as child frames.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "ie_frame_objects.h"
#include "ie_script_engine.h"

namespace browser::ie {

// What frames ask of the run that holds them.
class FrameHost {
public:
    virtual const BrowserVariants& Variants() const = 0;
    // A message of the host's own (stderr), and one shown with --verbose.
    virtual void Log(const std::string& text) = 0;
    virtual void Verbose(const std::string& text) = 0;
    // The script ended the run (done, or an error no script caught).
    virtual void Finish(int exitCode) = 0;
    virtual bool Finished() const = 0;
    // The window whose timers and posted navigations the run handles.
    virtual HWND HostWindow() const = 0;
    // Posts a frame's navigation, handled later by the run's loop.
    virtual void PostNavigation(uint32_t frameSerial) = 0;
    virtual uint32_t NextSerial() = 0;
    // The add-on's agent channel windows in this process.
    virtual int ChannelWindows() const = 0;

protected:
    ~FrameHost() = default;
};

// A document's end, in a browser's order: the window's expandos go (the
// page's objects with them), then every COM reference the scripts hold; the
// script functions that COM still holds go inert, then the engine goes. The
// browser shows nothing any more, the window and the document forget each
// other and are released.
void EndDocument(HostBrowser& browser, fw::CComPtr<HostWindow>& window,
                 fw::CComPtr<HostDocument>& document, std::unique_ptr<ScriptEngine>& engine,
                 const std::u16string& url);

class Frame final : public FrameControl {
public:
    // How deep frames may nest below the top-level page.
    static constexpr int kMostFrameDepth = 8;

    // topBrowser: the top-level frame's browser, null for the top frame.
    Frame(FrameHost& host, HostBrowser* topBrowser, uint32_t serial);
    ~Frame() { Unload(); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Shows a page: the old document ends, the new one gets its objects,
    // NavigateComplete2 goes out before its inline scripts run, then its
    // frames load, the download events follow and onload runs. False when
    // the page cannot be read.
    bool Load(const std::filesystem::path& file, bool withDocument);
    // The document's end, frames first: expandos dropped, the scripts' COM
    // references released, the wrappers that COM still holds made inert,
    // then the engine destroyed.
    void Unload();

    Frame* Find(uint32_t wanted);
    Frame* TimerOwner(uint32_t id);
    HostBrowser* Browser() { return browser; }
    HostWindow* Window() { return window; }
    ScriptEngine* Engine() { return engine.get(); }
    const std::vector<std::unique_ptr<Frame>>& Children() const { return children; }
    std::filesystem::path Folder() const { return file.parent_path(); }
    // The navigation a script asked for, taken by the run.
    std::string TakePendingNavigation() { return std::exchange(pendingUrl, {}); }

    // What the document's scripts ask of the host.
    void Print(const std::string& line, bool error) override;
    void Done(int exitCode) override;
    void ScriptFailed(const std::string& message) override;
    void StartTimer(uint32_t id, uint32_t milliseconds) override;
    void StopTimer(uint32_t id) override;
    HWND PageWindow() override;
    void Status(const std::string& message) override;
    void Navigate(const std::string& url) override;

private:
    FrameHost& host;
    HostBrowser* top;  // the top-level browser; this frame's own for the top frame
    uint32_t serial;
    int depth = 0;  // 0 for the top-level frame
    fw::CComPtr<HostBrowser> browser;
    fw::CComPtr<HostWindow> window;
    fw::CComPtr<HostDocument> document;
    std::unique_ptr<ScriptEngine> engine;
    std::filesystem::path file;
    std::string url;
    std::string pendingUrl;
    std::vector<std::unique_ptr<Frame>> children;
};

}  // namespace browser::ie
