// One page arriving at the fax service: streamed into a temporary file in the
// pages folder while its MD5 is computed. The file is removed again unless the
// page is kept under its final name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "md5_hasher.h"

namespace faxservice {

class IncomingPage {
public:
    // Creates pagesDir/incoming-<number>.part; null when it cannot be created.
    static std::unique_ptr<IncomingPage> Create(const std::string& pagesDir, uint64_t number,
                                                int64_t maxBytes);
    ~IncomingPage();
    IncomingPage(const IncomingPage&) = delete;
    IncomingPage& operator=(const IncomingPage&) = delete;

    // False when the write fails or the page grows beyond the limit.
    bool Write(const void* data, size_t size);
    // Ends the stream: closes the file and finishes the digest.
    void Finish();
    // Moves the finished file to finalPath; the page is then no longer removed.
    bool Keep(const std::string& finalPath);

    bool complete() const { return complete_; }
    bool failed() const { return failed_; }
    int64_t bytes() const { return bytes_; }
    const std::string& md5() const { return md5_; }
    const std::string& contentType() const { return contentType_; }
    void set_contentType(std::string type) { contentType_ = std::move(type); }

private:
    IncomingPage(std::string path, FILE* file, int64_t maxBytes)
        : path_(std::move(path)), file_(file), maxBytes_(maxBytes) {}

    std::string path_;
    FILE* file_;
    int64_t maxBytes_;
    int64_t bytes_ = 0;
    Md5Hasher hasher_;
    std::string md5_;
    std::string contentType_;
    bool complete_ = false;
    bool failed_ = false;
    bool kept_ = false;
};

}  // namespace faxservice
