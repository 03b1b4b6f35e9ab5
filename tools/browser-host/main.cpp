// browser-host: runs a page's scripts against the NPAPI plug-in, or with
// --ie against the Internet Explorer add-on, as a browser on the user's
// desktop would.
//
//   browser-host [--plugin FILE] [--timeout SECONDS] [--embed ID]... [--verbose] PAGE
//   browser-host --ie [--register[=user]] [--variant NAME]... [--timeout SECONDS]
//                [--verbose] PAGE
//
// PAGE is an HTML file (its script elements run in order, each embed element
// of the plug-in's MIME type gets an instance) or a script file (.js), to
// which --embed adds plug-in elements. The script prints with print() or
// console.log() and ends the run with done(code); the exit status is that
// code, 2 after the time-out, 3 after a script error nothing caught, 4 when
// the page or the plug-in cannot be loaded, 64 for a bad command line.
//
// In the IE mode the add-ons are those registered under the Browser Helper
// Objects key; --register first registers ie_agent_vexlo beside the host
// per machine, --register=user per user. iframe elements become frames with
// documents of their own (data-no-document: a frame without a document).
// The variants: site-without-service (the site refuses
// QueryService(SID_SWebBrowserApp)), document-without-window (documents
// answer no parent window; the window is then a service of the browser).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "browser.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: browser-host [--plugin FILE] [--timeout SECONDS] [--embed ID]... "
                 "[--verbose] PAGE\n"
                 "       browser-host --ie [--register[=user]] [--variant site-without-service|"
                 "document-without-window]... [--timeout SECONDS] [--verbose] PAGE\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    browser::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (argument == "--plugin" && hasValue) {
            options.plugin = argv[++i];
        } else if (argument == "--timeout" && hasValue) {
            char* end = nullptr;
            unsigned long seconds = std::strtoul(argv[++i], &end, 10);
            if (end == nullptr || *end != 0 || seconds == 0 || seconds > 86400) {
                Usage();
                return browser::kExitUsage;
            }
            options.timeoutSeconds = static_cast<unsigned>(seconds);
        } else if (argument == "--embed" && hasValue) {
            options.embedIds.push_back(argv[++i]);
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--ie") {
            options.ie = true;
        } else if (argument == "--register") {
            options.registration = browser::Registration::PerMachine;
        } else if (argument == "--register=user") {
            options.registration = browser::Registration::PerUser;
        } else if (argument == "--variant" && hasValue) {
            std::string variant = argv[++i];
            if (variant == "site-without-service") {
                options.siteWithoutService = true;
            } else if (variant == "document-without-window") {
                options.documentWithoutWindow = true;
            } else {
                Usage();
                return browser::kExitUsage;
            }
        } else if (argument.rfind("--", 0) == 0 || !options.page.empty()) {
            Usage();
            return browser::kExitUsage;
        } else {
            options.page = argument;
        }
    }
    bool ieOnly = options.registration != browser::Registration::None ||
                  options.siteWithoutService || options.documentWithoutWindow;
    bool npapiOnly = !options.plugin.empty() || !options.embedIds.empty();
    if (options.page.empty() || (ieOnly && !options.ie) || (npapiOnly && options.ie)) {
        Usage();
        return browser::kExitUsage;
    }
    return browser::RunPage(options);
}
