// Round trips of the system's request/answer shape across processes: a
// 5136-byte WM_COPYDATA to a window of another process whose handler sends a
// 4104-byte WM_COPYDATA back to the sender's window before it returns. Printed
// side by side with a raw Unix-socket ping-pong of the same bytes, measured
// in the same run.
//   copydata_bench [round trips]
#include <windows.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kRequestSize = 5136;
constexpr size_t kAnswerSize = 4104;

LRESULT CALLBACK AgentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        static std::vector<unsigned char> answer(kAnswerSize, 0x5A);
        COPYDATASTRUCT reply{0, static_cast<DWORD>(answer.size()), answer.data()};
        SendMessageW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                     reinterpret_cast<LPARAM>(&reply));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int answers = 0;

LRESULT CALLBACK PluginProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        ++answers;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeWindow(const char16_t* className, WNDPROC proc, HWND parent) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
    return CreateWindowExW(0, className, nullptr, 0, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
}

struct Figures {
    double perSecond;
    double p50;
    double p90;
    double p99;
};

Figures Summarise(std::vector<double>& microseconds, double seconds) {
    std::sort(microseconds.begin(), microseconds.end());
    auto at = [&](double q) {
        return microseconds[static_cast<size_t>(q * (microseconds.size() - 1))];
    };
    return {static_cast<double>(microseconds.size()) / seconds, at(0.5), at(0.9), at(0.99)};
}

Figures MeasureWindows(int count) {
    pid_t agent = fork();
    if (agent == 0) {
        MakeWindow(u"BenchAgentClass", AgentProc, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
        _exit(0);
    }
    HWND target = nullptr;
    for (int i = 0; i < 500 && target == nullptr; ++i) {
        target = FindWindowW(u"BenchAgentClass", nullptr);
        usleep(10000);
    }
    HWND own = MakeWindow(u"BenchPluginClass", PluginProc, HWND_MESSAGE);
    std::vector<unsigned char> request(kRequestSize, 0xA5);
    COPYDATASTRUCT data{0, static_cast<DWORD>(request.size()), request.data()};
    std::vector<double> latencies;
    latencies.reserve(static_cast<size_t>(count));
    for (int i = 0; i < 200; ++i) {  // warm-up
        SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                     reinterpret_cast<LPARAM>(&data));
    }
    answers = 0;
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto before = Clock::now();
        SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                     reinterpret_cast<LPARAM>(&data));
        latencies.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    kill(agent, SIGKILL);
    waitpid(agent, nullptr, 0);
    if (answers != count) {
        fprintf(stderr, "copydata_bench: %d answers for %d requests\n", answers, count);
    }
    return Summarise(latencies, seconds);
}

// The same bytes over a bare socket pair: request, answer, acknowledgement
// (the acknowledgement stands for the result of each send).
Figures MeasureRawSocket(int count) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    auto readAll = [](int fd, std::vector<unsigned char>& buffer, size_t size) {
        size_t got = 0;
        while (got < size) {
            ssize_t n = read(fd, buffer.data() + got, size - got);
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        return true;
    };
    pid_t peer = fork();
    if (peer == 0) {
        close(fds[0]);
        std::vector<unsigned char> buffer(kRequestSize);
        std::vector<unsigned char> answer(kAnswerSize, 0x5A);
        unsigned char result[8] = {};
        while (readAll(fds[1], buffer, kRequestSize)) {
            if (write(fds[1], answer.data(), answer.size()) < 0)
                break;
            if (!readAll(fds[1], buffer, 8))
                break;  // the answer's own result
            if (write(fds[1], result, sizeof(result)) < 0)
                break;
        }
        _exit(0);
    }
    close(fds[1]);
    std::vector<unsigned char> request(kRequestSize, 0xA5);
    std::vector<unsigned char> buffer(kAnswerSize);
    unsigned char ack[8] = {};
    std::vector<double> latencies;
    auto roundTrip = [&] {
        if (write(fds[0], request.data(), request.size()) < 0)
            return;
        readAll(fds[0], buffer, kAnswerSize);
        if (write(fds[0], ack, sizeof(ack)) < 0)
            return;
        readAll(fds[0], buffer, 8);
    };
    for (int i = 0; i < 200; ++i) {
        roundTrip();
    }
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        auto before = Clock::now();
        roundTrip();
        latencies.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fds[0]);
    waitpid(peer, nullptr, 0);
    return Summarise(latencies, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? atoi(argv[1]) : 20000;
    if (count < 10) {
        count = 10;
    }
    if (getenv("W32_SESSION") == nullptr) {
        char pattern[] = "/tmp/w32-bench-XXXXXX";
        setenv("W32_SESSION", mkdtemp(pattern), 1);
    }
    Figures windows = MeasureWindows(count);
    Figures raw = MeasureRawSocket(count);
    printf(
        "cross-process WM_COPYDATA 5136 B with a 4104 B answer sent from the handler, %d round "
        "trips\n",
        count);
    printf("%-22s %12s %10s %10s %10s\n", "", "round trips/s", "p50 us", "p90 us", "p99 us");
    printf("%-22s %12.0f %10.1f %10.1f %10.1f\n", "window system", windows.perSecond, windows.p50,
           windows.p90, windows.p99);
    printf("%-22s %12.0f %10.1f %10.1f %10.1f\n", "raw Unix socket", raw.perSecond, raw.p50,
           raw.p90, raw.p99);
    printf(
        "ratio (raw / window system): %.2f  (goal: at most 2.0, and at least 20000 round "
        "trips/s)\n",
        raw.perSecond / windows.perSecond);
    return 0;
}
