// Cross-process WM_COPYDATA in the shape the system uses: a 5136-byte request
// whose handler sends a 4104-byte answer back to the sender's window before it
// returns. Printed beside a raw Unix-socket ping-pong of the same bytes,
// measured in the same run.
//
//   copydata_bench [--iterations N]
#include <windows.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kRequest = 5136;
constexpr size_t kAnswer = 4104;

struct Figures {
    double perSecond;
    double p50, p90, p99;  // microseconds
};

Figures Summarise(std::vector<double>& us, double seconds) {
    std::sort(us.begin(), us.end());
    auto at = [&](double q) {
        return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))];
    };
    return Figures{static_cast<double>(us.size()) / seconds, at(0.5), at(0.9), at(0.99)};
}

// ---- the window-system side
LRESULT CALLBACK ServerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        static unsigned char answer[kAnswer];
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        std::memcpy(answer, cds->lpData, 8);
        COPYDATASTRUCT back{0, kAnswer, answer};
        SendMessageW(reinterpret_cast<HWND>(wp), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                     reinterpret_cast<LPARAM>(&back));
        return 0;
    }
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int Serve(int readyFd) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ServerProc;
    wc.lpszClassName = u"BenchServer";
    RegisterClassExW(&wc);
    HWND h = CreateWindowExW(0, u"BenchServer", u"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                             nullptr, nullptr, nullptr);
    uint32_t v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
    if (write(readyFd, &v, sizeof v) != sizeof v)
        return 1;
    close(readyFd);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0))
        DispatchMessageW(&m);
    return 0;
}

unsigned char gAnswerCopy[kAnswer];
LRESULT CALLBACK ClientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        if (cds->lpData && cds->cbData >= kAnswer)
            std::memcpy(gAnswerCopy, cds->lpData, kAnswer);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

Figures RunWindowSystem(int iterations) {
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        char path[] = "/proc/self/exe";
        std::string fd = std::to_string(fds[1]);
        char serve[] = "--serve";
        char* argv[] = {path, serve, fd.data(), nullptr};
        execv(path, argv);
        _exit(127);
    }
    close(fds[1]);
    uint32_t v = 0;
    if (read(fds[0], &v, sizeof v) != sizeof v)
        std::exit(1);
    close(fds[0]);
    HWND server = reinterpret_cast<HWND>(static_cast<uintptr_t>(v));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ClientProc;
    wc.lpszClassName = u"BenchClient";
    RegisterClassExW(&wc);
    HWND client = CreateWindowExW(0, u"BenchClient", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    std::vector<unsigned char> request(kRequest, 0x5A);
    COPYDATASTRUCT cds{0, kRequest, request.data()};
    std::vector<double> us;
    us.reserve(static_cast<size_t>(iterations));
    for (int i = 0; i < iterations / 10 + 10; ++i)  // warm-up
        SendMessageW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                     reinterpret_cast<LPARAM>(&cds));
    auto start = Clock::now();
    for (int i = 0; i < iterations; ++i) {
        std::memcpy(request.data(), &i, sizeof i);
        auto t0 = Clock::now();
        SendMessageW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                     reinterpret_cast<LPARAM>(&cds));
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        int echoed;
        std::memcpy(&echoed, gAnswerCopy, sizeof echoed);
        if (echoed != i) {
            std::fprintf(stderr, "answer %d does not belong to request %d\n", echoed, i);
            std::exit(1);
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    PostMessageW(server, WM_CLOSE, 0, 0);
    int status = 0;
    waitpid(pid, &status, 0);
    DestroyWindow(client);
    return Summarise(us, seconds);
}

// ---- the raw socket baseline
bool ReadAll(int fd, unsigned char* p, size_t n) {
    while (n) {
        ssize_t r = read(fd, p, n);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool WriteAll(int fd, const unsigned char* p, size_t n) {
    while (n) {
        ssize_t r = write(fd, p, n);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

Figures RunRaw(int iterations) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
        std::exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        close(sv[0]);
        std::vector<unsigned char> in(kRequest), out(kAnswer);
        while (ReadAll(sv[1], in.data(), kRequest)) {
            std::memcpy(out.data(), in.data(), 8);
            if (!WriteAll(sv[1], out.data(), kAnswer))
                break;
        }
        _exit(0);
    }
    close(sv[1]);
    std::vector<unsigned char> req(kRequest, 0x5A), ans(kAnswer);
    std::vector<double> us;
    us.reserve(static_cast<size_t>(iterations));
    for (int i = 0; i < iterations / 10 + 10; ++i) {
        WriteAll(sv[0], req.data(), kRequest);
        ReadAll(sv[0], ans.data(), kAnswer);
    }
    auto start = Clock::now();
    for (int i = 0; i < iterations; ++i) {
        auto t0 = Clock::now();
        WriteAll(sv[0], req.data(), kRequest);
        ReadAll(sv[0], ans.data(), kAnswer);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(sv[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return Summarise(us, seconds);
}

void Print(const char* name, const Figures& f) {
    std::printf("%-34s %12.0f %10.1f %10.1f %10.1f\n", name, f.perSecond, f.p50, f.p90, f.p99);
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc == 3 && std::string(argv[1]) == "--serve")
        return Serve(std::atoi(argv[2]));
    int iterations = 20000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--iterations")
            iterations = std::max(100, std::atoi(argv[i + 1]));

    // A private session, made before anything of the window system runs.
    char dir[] = "/tmp/w32bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    setenv("W32_SESSION", dir, 1);

    Figures raw = RunRaw(iterations);
    Figures ws = RunWindowSystem(iterations);
    std::printf("%d round trips: %zu-byte request, %zu-byte answer sent back from the handler\n",
                iterations, kRequest, kAnswer);
    std::printf("%-34s %12s %10s %10s %10s\n", "", "round trips/s", "p50 us", "p90 us", "p99 us");
    Print("raw Unix-socket ping-pong", raw);
    Print("SendMessageW(WM_COPYDATA)", ws);
    std::printf("window system / raw socket: %.2fx the time per round trip\n",
                raw.perSecond / ws.perSecond);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
