// Writes a file under a temporary name in its destination's folder and moves
// it into place only once it is complete, so a reader never finds a partly
// written file under the destination's name.
#pragma once

#include <cstdio>
#include <string>

namespace vexlo::imaging {

class CSafeFileWriter {
public:
    explicit CSafeFileWriter(std::string path);
    // Closes and removes the temporary file unless Commit succeeded.
    ~CSafeFileWriter();
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // Creates the temporary file; false when the folder cannot take it.
    bool Open();
    // The temporary file's stream, valid between Open and Commit.
    FILE* Stream() const { return stream; }
    // Flushes and closes the temporary file and renames it to the path,
    // replacing an earlier file of that name. False when any step failed;
    // the temporary file is gone either way.
    bool Commit();

private:
    void Discard();

    std::string path;
    std::string temporaryPath;
    FILE* stream = nullptr;
};

// Writes the bytes to the path through a CSafeFileWriter.
bool WriteFileSafely(const std::string& path, const void* data, size_t size);

}  // namespace vexlo::imaging
