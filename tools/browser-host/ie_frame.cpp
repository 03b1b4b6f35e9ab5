#include "ie_frame.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "browser.h"
#include "framework/text.h"
#include "page.h"

namespace browser::ie {

namespace {

std::string UrlOf(const std::filesystem::path& file) {
    return "file://" + std::filesystem::absolute(file).lexically_normal().string();
}

VARIANT BstrArg(const std::u16string& text) {
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return value;
}

bool HasAttribute(const EmbedElement& element, const std::string& name) {
    return std::any_of(element.attributes.begin(), element.attributes.end(),
                       [&](const auto& attribute) { return attribute.first == name; });
}

}  // namespace

Frame::Frame(FrameHost& frameHost, HostBrowser* topBrowser, uint32_t frameSerial)
    : host(frameHost), serial(frameSerial) {
    browser.Attach(new HostBrowser(topBrowser, host.Variants()));
    top = topBrowser != nullptr ? topBrowser : browser.p;
}

bool Frame::Load(const std::filesystem::path& pageFile, bool withDocument) {
    browser->Fire(DISPID_DOWNLOADBEGIN);
    Unload();
    file = pageFile;
    url = UrlOf(pageFile);
    Page page;
    std::string error;
    if (!LoadPage(pageFile, &page, &error)) {
        host.Log(error);
        browser->Fire(DISPID_DOWNLOADCOMPLETE);
        return false;
    }
    std::u16string wideUrl = fw::ToWide(CP_UTF8, url);
    if (withDocument) {
        window.Attach(new HostWindow);
        document.Attach(
            new HostDocument(wideUrl, window.p, !host.Variants().documentWithoutWindow));
        engine = std::make_unique<ScriptEngine>(*this, url);
        window->Attach(engine.get(), document.p);
    }
    browser->Show(document.p, window.p, wideUrl);
    host.Verbose("navigated to " + url + (withDocument ? "" : " (no document)"));
    top->FireFrameEvent(DISPID_NAVIGATECOMPLETE2, static_cast<IWebBrowser2*>(browser.p), wideUrl);

    if (engine) {
        for (const PageScript& script : page.scripts) {
            if (host.Finished() || !engine || !engine->Run(script.source, script.origin)) {
                break;
            }
        }
    }
    for (const EmbedElement& element : page.frames) {
        if (host.Finished()) {
            break;
        }
        std::string source = element.Attribute("src");
        if (depth + 1 > kMostFrameDepth) {
            // A page that holds itself would nest without end.
            host.Log("a frame of " + url + " is not loaded: frames nest " +
                     std::to_string(kMostFrameDepth) + " deep at the most");
            break;
        }
        auto child = std::make_unique<Frame>(host, top, host.NextSerial());
        child->depth = depth + 1;
        Frame* added = child.get();
        children.push_back(std::move(child));
        bool childDocument = !HasAttribute(element, "data-no-document");
        if (!source.empty()) {
            added->Load(pageFile.parent_path() / source, childDocument);
        }
    }
    browser->Fire(DISPID_DOWNLOADCOMPLETE);
    browser->Fire(DISPID_TITLECHANGE, {BstrArg(wideUrl)});
    top->FireFrameEvent(DISPID_DOCUMENTCOMPLETE, static_cast<IWebBrowser2*>(browser.p), wideUrl);
    if (engine && !host.Finished()) {
        engine->CallOnload();
    }
    return true;
}

void EndDocument(HostBrowser& browser, fw::CComPtr<HostWindow>& window,
                 fw::CComPtr<HostDocument>& document, std::unique_ptr<ScriptEngine>& engine,
                 const std::u16string& url) {
    if (engine) {
        window->DropExpandos();
        engine->ReleaseComObjects();
        engine->MakeWrappersInert();
        engine.reset();
    }
    if (window) {
        window->Detach();
    }
    if (document) {
        document->Detach();
    }
    browser.Show(nullptr, nullptr, url);
    window.Release();
    document.Release();
}

void Frame::Unload() {
    for (auto& child : children) {
        child->Unload();
    }
    children.clear();
    bool hadDocument = document || window;
    EndDocument(*browser, window, document, engine, fw::ToWide(CP_UTF8, url));
    if (hadDocument) {
        host.Verbose(url + " unloaded; agent channel windows left: " +
                     std::to_string(host.ChannelWindows()));
    }
}

Frame* Frame::Find(uint32_t wanted) {
    if (serial == wanted) {
        return this;
    }
    for (auto& child : children) {
        if (Frame* found = child->Find(wanted)) {
            return found;
        }
    }
    return nullptr;
}

Frame* Frame::TimerOwner(uint32_t id) {
    if (engine && engine->OwnsTimer(id)) {
        return this;
    }
    for (auto& child : children) {
        if (Frame* found = child->TimerOwner(id)) {
            return found;
        }
    }
    return nullptr;
}

void Frame::Print(const std::string& line, bool error) {
    FILE* stream = error ? stderr : stdout;
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void Frame::Done(int exitCode) {
    host.Finish(exitCode);
}

void Frame::ScriptFailed(const std::string& message) {
    host.Log("script error in " + message);
    host.Finish(kExitScriptError);
}

void Frame::StartTimer(uint32_t id, uint32_t milliseconds) {
    ::SetTimer(host.HostWindow(), id, milliseconds, nullptr);
}

void Frame::StopTimer(uint32_t id) {
    ::KillTimer(host.HostWindow(), id);
}

HWND Frame::PageWindow() {
    return host.HostWindow();
}

void Frame::Status(const std::string& message) {
    host.Verbose("status: " + message);
}

void Frame::Navigate(const std::string& target) {
    pendingUrl = target;
    host.PostNavigation(serial);
}

}  // namespace browser::ie
