// vexlo_test_agent: a desktop agent for page tests. It registers the agent's
// window class, appends every request it receives (the raw 5136-byte record)
// to a file, and answers by rules:
//
//   vexlo_test_agent --rules FILE --requests FILE
//
// Each rule line is "<code> <now|later> <state> <info> [text]": an answer to
// every request of that code, sent during the request ("now") or after it
// returned ("later"), in the order written. The text is UTF-8; '#' starts a
// comment line. Once its window exists the program prints "ready <hwnd>".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text.h"
#include "protocol/records.h"

namespace {

struct Rule {
    int32_t code;
    bool later;
    int32_t state;
    int32_t info;
    std::u16string text;
};

constexpr UINT kSendLater = WM_APP + 1;

std::vector<Rule> rules;
FILE* requestLog = nullptr;
std::deque<std::pair<HWND, vexlo::AgentAnswer>> pending;

bool ReadRules(const char* path) {
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        Rule rule{};
        std::string when;
        if (!(fields >> rule.code >> when >> rule.state >> rule.info)) {
            return false;
        }
        rule.later = when == "later";
        std::string text;
        std::getline(fields, text);
        if (!text.empty() && text[0] == ' ') {
            text.erase(0, 1);
        }
        rule.text = fw::ToWide(CP_UTF8, text);
        rules.push_back(rule);
    }
    return true;
}

void Send(HWND client, const vexlo::AgentAnswer& answer) {
    COPYDATASTRUCT data{0, static_cast<DWORD>(sizeof(answer)),
                        const_cast<vexlo::AgentAnswer*>(&answer)};
    SendMessageW(client, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        vexlo::PluginRequest request;
        if (data == nullptr || !vexlo::DecodeRequest(data->lpData, data->cbData, &request)) {
            return 0;
        }
        if (requestLog != nullptr) {
            fwrite(&request, sizeof(request), 1, requestLog);
            fflush(requestLog);
        }
        auto client = reinterpret_cast<HWND>(wParam);
        bool later = false;
        for (const Rule& rule : rules) {
            if (rule.code != request.code) {
                continue;
            }
            vexlo::AgentAnswer answer = vexlo::MakeAnswer(rule.state, rule.info, rule.text.c_str());
            if (rule.later) {
                pending.emplace_back(client, answer);
                later = true;
            } else {
                Send(client, answer);
            }
        }
        if (later) {
            PostMessageW(hwnd, kSendLater, 0, 0);
        }
        return 0;
    }
    if (message == kSendLater) {
        while (!pending.empty()) {
            auto next = pending.front();
            pending.pop_front();
            Send(next.first, next.second);
        }
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    const char* rulesPath = nullptr;
    const char* requestsPath = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--rules") {
            rulesPath = argv[i + 1];
        } else if (option == "--requests") {
            requestsPath = argv[i + 1];
        }
    }
    if (rulesPath != nullptr && !ReadRules(rulesPath)) {
        std::fprintf(stderr, "vexlo_test_agent: cannot read the rules %s\n", rulesPath);
        return 2;
    }
    if (requestsPath != nullptr) {
        requestLog = std::fopen(requestsPath, "ab");
    }
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    info.lpfnWndProc = Proc;
    info.hInstance = GetModuleHandleW(nullptr);
    info.lpszClassName = vexlo::kAgentWindowClass;
    RegisterClassExW(&info);
    HWND window = CreateWindowExW(0, vexlo::kAgentWindowClass, nullptr, WS_OVERLAPPEDWINDOW, 0, 0,
                                  0, 0, nullptr, nullptr, info.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    std::printf("ready %u\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)));
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    if (requestLog != nullptr) {
        std::fclose(requestLog);
    }
    return 0;
}
