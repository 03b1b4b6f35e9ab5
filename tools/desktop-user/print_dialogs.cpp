#include "print_dialogs.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "desktop_user.h"
#include "wia_dialogs.h"

namespace desktop_user {
namespace {

constexpr std::chrono::seconds kCommandWait{5};

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    size_t end = text.find_last_not_of(" \t\r");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::string SessionFolder() {
    const char* session = getenv("W32_SESSION");
    if (session != nullptr && session[0] != 0) {
        return session;
    }
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    return std::string(runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp") +
           "/w32-session-" + std::to_string(getuid());
}

}  // namespace

std::vector<std::u16string> SessionPrinters() {
    std::ifstream file(SessionFolder() + "/printers");
    if (!file) {
        return {u"Virtual A4"};
    }
    std::vector<std::u16string> names;
    bool inPrinter = false;
    std::string line;
    while (std::getline(file, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            inPrinter = line == "[printer]";
            continue;
        }
        size_t equals = line.find('=');
        if (inPrinter && equals != std::string::npos && Trim(line.substr(0, equals)) == "name") {
            names.push_back(Wide(Trim(line.substr(equals + 1))));
        }
    }
    return names;
}

bool PickPrinter(HWND printDialog, const std::u16string& printer) {
    HWND list = FindListView(printDialog);
    std::vector<std::u16string> names = SessionPrinters();
    for (size_t row = 0; list != nullptr && row < names.size(); ++row) {
        if (_wcsicmp(names[row].c_str(), printer.c_str()) == 0) {
            return ClickListRow(list, static_cast<int>(row));
        }
    }
    return false;
}

bool IsPrintCommand(const std::string& command) {
    return command == "print-pick";
}

int RunPrintCommand(int argc, char** argv) {
    if (argc == 4) {
        HWND dialog = WaitForWindow(u"", Wide(argv[2]), kCommandWait);
        if (dialog == nullptr) {
            fprintf(stderr, "desktop-user: no window \"%s\"\n", argv[2]);
            return 1;
        }
        if (PickPrinter(dialog, Wide(argv[3]))) {
            return 0;
        }
        fprintf(stderr, "desktop-user: no printer \"%s\" in \"%s\"\n", argv[3], argv[2]);
        return 1;
    }
    fprintf(stderr, "usage: desktop-user print-pick TITLE PRINTER\n");
    return 2;
}

}  // namespace desktop_user
