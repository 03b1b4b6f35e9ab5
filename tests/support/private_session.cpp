// Gives the test process a session directory of its own before any static
// initialiser of the program under test registers a window message, so that
// tests running in parallel never see each other's windows or broadcasts.
// Compiled into each test program that needs it (not into a library, whose
// unreferenced objects the linker would drop).
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace {

class PrivateSession {
public:
    PrivateSession() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "w32-test-session-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
            setenv("W32_SESSION", path.c_str(), 1);
        }
    }
    ~PrivateSession() {
        std::error_code ignored;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ignored);
        }
    }

private:
    std::string path;
};

__attribute__((init_priority(101))) PrivateSession session;

}  // namespace
