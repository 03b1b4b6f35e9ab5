#include "desktop_user.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace desktop_user {

namespace {

WindowEntry FromInfo(const W32_WINDOW_INFO& i) {
    WindowEntry w;
    w.hwnd = i.hwnd;
    w.owner = i.owner;
    w.className = i.className;
    w.title = i.text;
    w.processId = i.processId;
    w.threadId = i.threadId;
    w.visible = i.visible != 0;
    w.enabled = i.enabled != 0;
    w.topmost = i.topmost != 0;
    w.controlId = i.controlId;
    w.style = i.style;
    return w;
}

std::vector<W32_WINDOW_INFO> All() {
    std::vector<W32_WINDOW_INFO> v(256);
    for (;;) {
        UINT n = W32ListWindows(v.data(), static_cast<UINT>(v.size()));
        if (n <= v.size()) {
            v.resize(n);
            return v;
        }
        v.resize(n + 64);
    }
}

char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    return c;
}

bool Same(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::u16string WithoutAmpersand(const std::u16string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'&' && i + 1 < s.size() && s[i + 1] != u'&')
            continue;
        out += s[i];
    }
    return out;
}

std::optional<long> AsId(const std::u16string& s) {
    std::u16string digits = !s.empty() && s[0] == u'#' ? s.substr(1) : s;
    if (digits.empty())
        return std::nullopt;
    long v = 0;
    bool neg = false;
    size_t i = 0;
    if (digits[0] == u'-') {
        neg = true;
        i = 1;
    }
    if (i == digits.size())
        return std::nullopt;
    for (; i < digits.size(); ++i) {
        if (digits[i] < u'0' || digits[i] > u'9' || v > 100000000)
            return std::nullopt;
        v = v * 10 + (digits[i] - u'0');
    }
    return neg ? -v : v;
}

}  // namespace

std::string ToUtf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        auto cont = [&](size_t k) { return static_cast<unsigned char>(s[i + k]) & 0x3Fu; };
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 6 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | cont(1);
            len = 2;
        } else if ((c >> 4) == 14 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | (cont(1) << 6) | cont(2);
            len = 3;
        } else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = ((c & 0x07u) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::vector<WindowEntry> ListTopLevelWindows() {
    std::vector<WindowEntry> out;
    for (auto& i : All())
        if (!i.parent && !i.messageOnly)
            out.push_back(FromInfo(i));
    return out;
}

std::vector<WindowEntry> ListControls(HWND window) {
    std::vector<WindowEntry> out;
    for (auto& i : All())
        if (i.parent == window)
            out.push_back(FromInfo(i));
    return out;
}

std::optional<WindowEntry> Describe(HWND window) {
    W32_WINDOW_INFO info;
    if (!W32GetWindowInfo(window, &info))
        return std::nullopt;
    return FromInfo(info);
}

bool Match::Matches(const WindowEntry& w) const {
    if (!className.empty() && !Same(className, w.className))
        return false;
    if (!title.empty() && !Same(title, w.title))
        return false;
    return true;
}

std::optional<WindowEntry> FindWindow(const Match& match) {
    for (auto& w : ListTopLevelWindows())
        if (w.visible && match.Matches(w))
            return w;
    return std::nullopt;
}

std::optional<WindowEntry> WaitForWindow(const Match& match, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto w = FindWindow(match))
            return w;
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool WaitUntilGone(HWND window, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (IsWindow(window)) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::optional<WindowEntry> FindControl(HWND dialog, const std::u16string& textOrId) {
    auto controls = ListControls(dialog);
    for (auto& c : controls)
        if (Same(WithoutAmpersand(c.title), WithoutAmpersand(textOrId)))
            return c;
    if (auto id = AsId(textOrId))
        for (auto& c : controls)
            if (c.controlId == *id)
                return c;
    return std::nullopt;
}

bool PressButton(HWND dialog, const std::u16string& textOrId) {
    auto c = FindControl(dialog, textOrId);
    if (!c || !Same(c->className, u"Button"))
        return false;
    return PostMessageW(c->hwnd, BM_CLICK, 0, 0) != 0;
}

bool Click(HWND control) {
    if (!PostMessageW(control, WM_LBUTTONDOWN, 1 /* MK_LBUTTON */, 0))
        return false;
    return PostMessageW(control, WM_LBUTTONUP, 0, 0) != 0;
}

bool PressKey(HWND window, UINT virtualKey) {
    return PostMessageW(window, WM_KEYDOWN, virtualKey, 1) != 0;
}

bool CloseWindow(HWND window) {
    return PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

std::optional<WindowEntry> FindOpenMenu() {
    for (auto& w : ListTopLevelWindows())
        if (w.visible && w.className == u"#32768")
            return w;
    return std::nullopt;
}

std::optional<WindowEntry> WaitForMenu(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto w = FindOpenMenu())
            return w;
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<MenuEntry> ReadMenu(HWND menuWindow) {
    std::vector<W32_POPUP_ITEM> items(64);
    int n = W32GetPopupMenuItems(menuWindow, items.data(), static_cast<int>(items.size()), 2000);
    std::vector<MenuEntry> out;
    for (int i = 0; i < n && i < static_cast<int>(items.size()); ++i) {
        MenuEntry e;
        e.id = items[static_cast<size_t>(i)].id;
        e.text = items[static_cast<size_t>(i)].text;
        UINT f = items[static_cast<size_t>(i)].flags;
        e.separator = (f & MF_SEPARATOR) != 0;
        e.grayed = (f & (MF_GRAYED | MF_DISABLED)) != 0;
        e.checked = (f & MF_CHECKED) != 0;
        out.push_back(e);
    }
    return out;
}

bool PickMenuItem(HWND menuWindow, const std::u16string& textOrId) {
    auto items = ReadMenu(menuWindow);
    for (auto& e : items)
        if (!e.separator && Same(WithoutAmpersand(e.text), WithoutAmpersand(textOrId)))
            return !e.grayed && W32ChoosePopupMenuItem(menuWindow, e.id) != 0;
    if (auto id = AsId(textOrId))
        for (auto& e : items)
            if (!e.separator && static_cast<long>(e.id) == *id)
                return !e.grayed && W32ChoosePopupMenuItem(menuWindow, e.id) != 0;
    return false;
}

bool DismissMenu(HWND menuWindow) {
    return W32ChoosePopupMenuItem(menuWindow, 0) != 0;
}

namespace {

// Splits a rule line into words; "quoted text" is one word.
std::vector<std::string> Words(const std::string& line, int number) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                throw std::runtime_error("line " + std::to_string(number) + ": unclosed quote");
            out.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t end = line.find_first_of(" \t\r", i);
        if (end == std::string::npos)
            end = line.size();
        out.push_back(line.substr(i, end - i));
        i = end;
    }
    return out;
}

}  // namespace

std::vector<Rule> ParseRules(const std::string& text) {
    std::vector<Rule> rules;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        auto w = Words(line, number);
        if (w.empty())
            continue;
        auto fail = [&](const std::string& why) {
            throw std::runtime_error("line " + std::to_string(number) + ": " + why);
        };
        Rule r;
        size_t i = 0;
        if (w[i] == "every") {
            r.repeat = true;
            ++i;
        }
        if (i >= w.size() || w[i] != "when")
            fail("expected 'when'");
        ++i;
        bool menu = false;
        bool any = false;
        while (i < w.size()) {
            if (w[i] == "class" && i + 1 < w.size()) {
                r.match.className = FromUtf8(w[i + 1]);
                i += 2;
                any = true;
            } else if (w[i] == "title" && i + 1 < w.size()) {
                r.match.title = FromUtf8(w[i + 1]);
                i += 2;
                any = true;
            } else if (w[i] == "menu") {
                menu = true;
                r.match.className = u"#32768";
                ++i;
                any = true;
            } else {
                break;
            }
        }
        if (!any)
            fail("expected 'class', 'title' or 'menu'");
        if (i >= w.size())
            fail("expected an action");
        const std::string& act = w[i++];
        if (menu) {
            if (act == "pick" && i < w.size()) {
                r.action = Rule::Action::PickMenu;
                r.argument = FromUtf8(w[i++]);
            } else if (act == "dismiss") {
                r.action = Rule::Action::DismissMenu;
            } else {
                fail("a menu rule picks \"item\" or dismisses");
            }
        } else if (act == "press" && i < w.size()) {
            r.action = Rule::Action::Press;
            r.argument = FromUtf8(w[i++]);
        } else if (act == "enter") {
            r.action = Rule::Action::Enter;
        } else if (act == "escape") {
            r.action = Rule::Action::Escape;
        } else if (act == "close") {
            r.action = Rule::Action::Close;
        } else {
            fail("unknown action '" + act + "'");
        }
        if (i < w.size()) {
            if (w[i] != "after" || i + 1 >= w.size())
                fail("expected 'after N'");
            char* end = nullptr;
            long ms = std::strtol(w[i + 1].c_str(), &end, 10);
            if (!end || *end || ms < 0)
                fail("bad delay '" + w[i + 1] + "'");
            r.delay = std::chrono::milliseconds(ms);
            i += 2;
        }
        if (i != w.size())
            fail("unexpected '" + w[i] + "'");
        rules.push_back(r);
    }
    return rules;
}

int RunRules(const std::vector<Rule>& rules, std::chrono::milliseconds timeout,
             const std::function<void(const std::string&)>& log) {
    using Clock = std::chrono::steady_clock;
    auto end = Clock::now() + timeout;
    std::map<std::pair<size_t, HWND>, Clock::time_point> seen;  // rule, window -> when it appeared
    std::set<std::pair<size_t, HWND>> done;
    std::vector<bool> fired(rules.size(), false);
    int acts = 0;
    while (Clock::now() < end) {
        bool pending = false;
        for (size_t r = 0; r < rules.size(); ++r)
            if (rules[r].repeat || !fired[r])
                pending = true;
        if (!pending)
            break;
        auto windows = ListTopLevelWindows();
        auto now = Clock::now();
        for (size_t r = 0; r < rules.size(); ++r) {
            const Rule& rule = rules[r];
            if (!rule.repeat && fired[r])
                continue;
            for (auto& w : windows) {
                if (!w.visible || !rule.match.Matches(w))
                    continue;
                auto key = std::make_pair(r, w.hwnd);
                if (done.count(key))
                    continue;
                auto it = seen.emplace(key, now).first;
                if (now - it->second < rule.delay)
                    continue;
                bool ok = false;
                std::string what;
                switch (rule.action) {
                    case Rule::Action::Press:
                        ok = PressButton(w.hwnd, rule.argument);
                        what = "press \"" + ToUtf8(rule.argument) + "\"";
                        break;
                    case Rule::Action::Enter:
                        ok = PressKey(w.hwnd, VK_RETURN);
                        what = "enter";
                        break;
                    case Rule::Action::Escape:
                        ok = PressKey(w.hwnd, VK_ESCAPE);
                        what = "escape";
                        break;
                    case Rule::Action::Close:
                        ok = CloseWindow(w.hwnd);
                        what = "close";
                        break;
                    case Rule::Action::PickMenu:
                        ok = PickMenuItem(w.hwnd, rule.argument);
                        what = "pick \"" + ToUtf8(rule.argument) + "\"";
                        break;
                    case Rule::Action::DismissMenu:
                        ok = DismissMenu(w.hwnd);
                        what = "dismiss";
                        break;
                }
                done.insert(key);
                if (ok) {
                    ++acts;
                    fired[r] = true;
                }
                if (log) {
                    char handle[16];
                    std::snprintf(handle, sizeof handle, "0x%08X",
                                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(w.hwnd)));
                    log(std::string(ok ? "" : "failed: ") + what + " in " + handle + " \"" +
                        ToUtf8(w.title) + "\" (" + ToUtf8(w.className) + ")");
                }
                if (!rule.repeat)
                    break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return acts;
}

}  // namespace desktop_user
