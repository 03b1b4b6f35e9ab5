#include "session_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "session_record.h"

namespace twain_dsm {
namespace {

constexpr const char* kSourcesFile = "twain-sources";
constexpr const char* kDefaultFile = "twain-default";
constexpr const char* kOpenSourcesFile = "twain-open-sources";
constexpr const char* kCallsFile = "twain-calls";

std::string OpenSourceLine(unsigned id, const std::string& productName) {
    return w32_devices::HolderTag() + " " + std::to_string(id) + " " + productName;
}

std::string PathOf(const char* name) {
    return SessionDirectory() + "/" + name;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream out;
    out << in.rdbuf();
    *text = out.str();
    return true;
}

}  // namespace

SessionDescription LoadSessionDescription() {
    std::string text;
    if (!ReadWholeFile(PathOf(kSourcesFile), &text)) {
        return {};
    }
    std::vector<std::string> errors;
    SessionDescription description = ParseDescription(text, &errors);
    for (const std::string& error : errors) {
        fprintf(stderr, "twain_32: %s: %s\n", kSourcesFile, error.c_str());
    }
    return description;
}

std::string ReadDefaultSource() {
    std::string text;
    if (!ReadWholeFile(PathOf(kDefaultFile), &text)) {
        return {};
    }
    size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

bool WriteDefaultSource(const std::string& productName) {
    std::string path = PathOf(kDefaultFile);
    std::string temporary = path + "." + std::to_string(getpid()) + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out << productName << "\n";
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void RecordSourceOpened(unsigned id, const std::string& productName) {
    w32_devices::AddRecordLine(kOpenSourcesFile, OpenSourceLine(id, productName));
    JournalSourceCall(id, "MSG_OPENDS", 3, 4, 0);
}

void RecordSourceClosed(unsigned id, const std::string& productName) {
    w32_devices::RemoveRecordLine(kOpenSourcesFile, OpenSourceLine(id, productName));
}

void JournalSourceCall(unsigned id, const char* message, int from, int to, unsigned condition) {
    std::string line = w32_devices::HolderTag() + " " + std::to_string(id) + " " + message + " ";
    line += to != 0 ? std::to_string(from) + "->" + std::to_string(to)
                    : "refused " + std::to_string(condition);
    w32_devices::AppendJournalLine(kCallsFile, line);
}

}  // namespace twain_dsm
