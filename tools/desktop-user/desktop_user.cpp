#include "desktop_user.h"

#include "framework/text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace desktop_user {

std::string Narrow(const std::u16string& text) {
    return fw::FromWide(CP_UTF8, text);
}

std::u16string Wide(const std::string& text) {
    return fw::ToWide(CP_UTF8, text);
}

namespace {

std::u16string TextOf(HWND hwnd) {
    std::u16string text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::u16string ClassOf(HWND hwnd) {
    WCHAR name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

std::u16string WithoutMnemonic(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c != u'&') {
            out += c;
        }
    }
    return out;
}

bool Matches(const WindowInfo& window, const std::u16string& className,
             const std::u16string& title) {
    return (className.empty() || _wcsicmp(window.className.c_str(), className.c_str()) == 0) &&
           (title.empty() || window.title == title);
}

}  // namespace

std::vector<WindowInfo> TopLevelWindows() {
    std::vector<WindowInfo> windows;
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* list = reinterpret_cast<std::vector<WindowInfo>*>(data);
            WindowInfo info;
            info.hwnd = hwnd;
            info.className = ClassOf(hwnd);
            info.title = TextOf(hwnd);
            GetWindowThreadProcessId(hwnd, &info.pid);
            info.visible = IsWindowVisible(hwnd) != FALSE;
            info.topmost = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            list->push_back(info);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<ControlInfo> Controls(HWND window) {
    std::vector<ControlInfo> controls;
    EnumChildWindows(
        window,
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* list = reinterpret_cast<std::vector<ControlInfo>*>(data);
            ControlInfo info{hwnd, GetDlgCtrlID(hwnd), ClassOf(hwnd), TextOf(hwnd), {}};
            W32GetPaintRecord(hwnd, &info.paint);
            list->push_back(info);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&controls));
    return controls;
}

HWND WaitForWindow(const std::u16string& className, const std::u16string& title,
                   std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    do {
        for (const auto& window : TopLevelWindows()) {
            if (window.visible && Matches(window, className, title)) {
                return window.hwnd;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

bool PressButton(HWND window, const std::u16string& button) {
    for (const auto& control : Controls(window)) {
        bool byText = WithoutMnemonic(control.text) == WithoutMnemonic(button);
        bool byId = !button.empty() && Narrow(button) == std::to_string(control.id);
        if ((byText || byId) && _wcsicmp(control.className.c_str(), u"Button") == 0) {
            // A click is a posted message: it crosses processes with integers only.
            return PostMessageW(control.hwnd, BM_CLICK, 0, 0) != FALSE;
        }
    }
    return false;
}

bool PressKey(HWND window, WPARAM virtualKey) {
    return PostMessageW(window, WM_KEYDOWN, virtualKey, 0) != FALSE;
}

bool CloseWindow(HWND window) {
    return PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
}

bool ClickControl(HWND window, const std::u16string& control) {
    for (const auto& info : Controls(window)) {
        bool byText = !control.empty() && WithoutMnemonic(info.text) == WithoutMnemonic(control);
        bool byId = !control.empty() && Narrow(control) == std::to_string(info.id);
        if (byText || byId) {
            return PostMessageW(info.hwnd, WM_LBUTTONDOWN, 0, 0) != FALSE &&
                   PostMessageW(info.hwnd, WM_LBUTTONUP, 0, 0) != FALSE;
        }
    }
    return false;
}

bool PickMenuItem(const std::u16string& item, std::chrono::milliseconds timeout) {
    HWND menu = WaitForWindow(u"#32768", u"", timeout);
    if (menu == nullptr) {
        return false;
    }
    for (const auto& control : Controls(menu)) {
        if (WithoutMnemonic(control.text) == WithoutMnemonic(item)) {
            return PostMessageW(control.hwnd, BM_CLICK, 0, 0) != FALSE;
        }
    }
    return false;
}

bool DismissMenu(std::chrono::milliseconds timeout) {
    HWND menu = WaitForWindow(u"#32768", u"", timeout);
    return menu != nullptr && PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0) != FALSE;
}

std::vector<Rule> ParseRules(const std::string& text) {
    std::vector<Rule> rules;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::vector<std::string> words;
        std::string word;
        bool quoted = false;
        bool any = false;
        for (char c : line) {
            if (c == '#' && !quoted && !any) {
                break;  // a comment starts a word; "class=#32770" is no comment
            }
            if (c == '"') {
                quoted = !quoted;
                any = true;
            } else if ((c == ' ' || c == '\t' || c == '\r') && !quoted) {
                if (any) {
                    words.push_back(word);
                }
                word.clear();
                any = false;
            } else {
                word += c;
                any = true;
            }
        }
        if (any) {
            words.push_back(word);
        }
        if (words.empty()) {
            continue;
        }
        auto fail = [&](const std::string& why) {
            throw std::runtime_error("rule line " + std::to_string(number) + ": " + why);
        };
        if (words[0] != "when") {
            fail("must start with 'when'");
        }
        Rule rule;
        size_t i = 1;
        for (; i < words.size(); ++i) {
            if (words[i].rfind("class=", 0) == 0) {
                rule.className = Wide(words[i].substr(6));
            } else if (words[i].rfind("title=", 0) == 0) {
                rule.title = Wide(words[i].substr(6));
            } else {
                break;
            }
        }
        if (rule.className.empty() && rule.title.empty()) {
            fail("names neither a class nor a title");
        }
        if (i >= words.size()) {
            fail("has no action");
        }
        std::string action = words[i++];
        if (action == "press" || action == "key" || action == "click" || action == "menu") {
            if (i >= words.size()) {
                fail("'" + action + "' needs an argument");
            }
            rule.argument = Wide(words[i++]);
            if (action == "key" && rule.argument != u"enter" && rule.argument != u"escape") {
                fail("keys are 'enter' and 'escape'");
            }
        } else if (action != "close") {
            fail("unknown action '" + action + "'");
        }
        rule.action = Wide(action);
        if (i < words.size()) {
            if (words[i] != "after" || i + 1 >= words.size()) {
                fail("expected 'after <milliseconds>'");
            }
            char* end = nullptr;
            long delay = strtol(words[i + 1].c_str(), &end, 10);
            if (*end != 0 || delay < 0) {
                fail("bad delay '" + words[i + 1] + "'");
            }
            rule.delay = std::chrono::milliseconds(delay);
            i += 2;
        }
        if (i != words.size()) {
            fail("unexpected '" + words[i] + "'");
        }
        rules.push_back(rule);
    }
    return rules;
}

int RunRules(const std::vector<Rule>& rules, std::chrono::steady_clock::time_point until,
             bool verbose) {
    using Clock = std::chrono::steady_clock;
    std::set<std::pair<size_t, HWND>> done;
    std::map<std::pair<size_t, HWND>, Clock::time_point> seen;
    int actions = 0;
    while (Clock::now() < until) {
        for (const auto& window : TopLevelWindows()) {
            for (size_t r = 0; r < rules.size(); ++r) {
                const Rule& rule = rules[r];
                auto key = std::make_pair(r, window.hwnd);
                if (done.count(key) || !window.visible ||
                    !Matches(window, rule.className, rule.title)) {
                    continue;
                }
                auto first = seen.emplace(key, Clock::now()).first->second;
                if (Clock::now() - first < rule.delay) {
                    continue;
                }
                bool ok = false;
                if (rule.action == u"press") {
                    ok = PressButton(window.hwnd, rule.argument);
                } else if (rule.action == u"click") {
                    ok = ClickControl(window.hwnd, rule.argument);
                } else if (rule.action == u"menu") {
                    ok = false;
                    for (const auto& item : Controls(window.hwnd)) {
                        if (WithoutMnemonic(item.text) == WithoutMnemonic(rule.argument)) {
                            ok = PostMessageW(item.hwnd, BM_CLICK, 0, 0) != FALSE;
                            break;
                        }
                    }
                } else if (rule.action == u"key") {
                    ok = PressKey(window.hwnd, rule.argument == u"enter" ? VK_RETURN : VK_ESCAPE);
                } else {
                    ok = CloseWindow(window.hwnd);
                }
                if (verbose) {
                    printf("desktop-user: %s %s in \"%s\" (%s)%s\n", Narrow(rule.action).c_str(),
                           Narrow(rule.argument).c_str(), Narrow(window.title).c_str(),
                           Narrow(window.className).c_str(), ok ? "" : ": failed");
                    fflush(stdout);
                }
                if (ok) {
                    done.insert(key);
                    ++actions;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return actions;
}

}  // namespace desktop_user
