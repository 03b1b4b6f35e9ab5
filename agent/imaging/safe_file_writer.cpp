#include "agent/imaging/safe_file_writer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

namespace vexlo::imaging {
namespace {

constexpr int kNameAttempts = 16;

// A suffix that differs between attempts, calls and processes; a clash only
// costs another attempt, since the temporary file is opened exclusively.
std::string TemporarySuffix() {
    static std::atomic<unsigned> counter{0};
    auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long long value = ticks * 2654435761ull + counter.fetch_add(1);
    char text[24];
    std::snprintf(text, sizeof text, ".~%08llx.tmp", value & 0xFFFFFFFFull);
    return text;
}

}  // namespace

CSafeFileWriter::CSafeFileWriter(std::string path) : path(std::move(path)) {}

CSafeFileWriter::~CSafeFileWriter() {
    Discard();
}

bool CSafeFileWriter::Open() {
    Discard();
    if (path.empty()) {
        return false;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = path + TemporarySuffix();
        // "x": never take over a file that is already there.
        stream = std::fopen(candidate.c_str(), "wbx");
        if (stream != nullptr) {
            temporaryPath = std::move(candidate);
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool CSafeFileWriter::Commit() {
    if (stream == nullptr) {
        return false;
    }
    bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    bool closed = std::fclose(stream) == 0;
    stream = nullptr;
    if (!written || !closed) {
        Discard();
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporaryPath, path, error);
    if (error) {
        Discard();
        return false;
    }
    temporaryPath.clear();
    return true;
}

void CSafeFileWriter::Discard() {
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
    if (!temporaryPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath, ignored);
        temporaryPath.clear();
    }
}

bool WriteFileSafely(const std::string& path, const void* data, size_t size) {
    CSafeFileWriter writer(path);
    if (!writer.Open()) {
        return false;
    }
    if (size > 0 && std::fwrite(data, 1, size, writer.Stream()) != size) {
        return false;
    }
    return writer.Commit();
}

}  // namespace vexlo::imaging
