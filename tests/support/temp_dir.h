// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace vexlo::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string native(const std::string& name = {}) const;
    std::u16string wide(const std::string& name = {}) const;

private:
    std::filesystem::path root;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// UTF-16 from ASCII/UTF-8 text, for building test paths and expectations.
std::u16string Wide(const std::string& utf8);

}  // namespace vexlo::test
