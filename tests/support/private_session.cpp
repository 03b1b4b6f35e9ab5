// Gives the test process a session directory of its own before any static
// initialiser of the program under test registers a window message, so that
// tests running in parallel never see each other's windows or broadcasts.
// Built as an object library: a static library's unreferenced object would
// be dropped by the linker.
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
