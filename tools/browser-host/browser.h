// The browser host's run of one page: loads the plug-in, makes an instance
// for each of the page's embed elements of its MIME type, runs the page's
// scripts, then pumps the page thread's messages (the plug-in's timers and
// the agent's answers, the page's own timers) until the script calls done()
// or the time-out ends it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace browser {

// Exit statuses besides the one a script gives to done().
inline constexpr int kExitTimeout = 2;
inline constexpr int kExitScriptError = 3;
inline constexpr int kExitLoadFailed = 4;
inline constexpr int kExitUsage = 64;

// How the IE mode registers the add-on beside the host before the page.
enum class Registration { None, PerMachine, PerUser };

struct Options {
    std::filesystem::path page;
    // The plug-in library; empty means npagentvexlo beside the host.
    std::filesystem::path plugin;
    unsigned timeoutSeconds = 30;
    // Embed elements of the plug-in's type added to the page, by id.
    std::vector<std::string> embedIds;
    bool verbose = false;

    // The Internet Explorer mode and its choices.
    bool ie = false;
    Registration registration = Registration::None;
    // The site refuses QueryService(SID_SWebBrowserApp).
    bool siteWithoutService = false;
    // Documents answer no parent window (the window is a browser service).
    bool documentWithoutWindow = false;
};

int RunPage(const Options& options);

}  // namespace browser
