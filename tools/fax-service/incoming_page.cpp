#include "incoming_page.h"

#include <cstdio>

namespace faxservice {

std::unique_ptr<IncomingPage> IncomingPage::Create(const std::string& pagesDir, uint64_t number,
                                                   int64_t maxBytes) {
    std::string path = pagesDir + "/incoming-" + std::to_string(number) + ".part";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return nullptr;
    }
    return std::unique_ptr<IncomingPage>(new IncomingPage(std::move(path), file, maxBytes));
}

IncomingPage::~IncomingPage() {
    if (file_) {
        std::fclose(file_);
    }
    if (!kept_) {
        std::remove(path_.c_str());
    }
}

bool IncomingPage::Write(const void* data, size_t size) {
    if (failed_ || !file_) {
        return false;
    }
    if (bytes_ + static_cast<int64_t>(size) > maxBytes_ ||
        std::fwrite(data, 1, size, file_) != size || !hasher_.Update(data, size)) {
        failed_ = true;
        return false;
    }
    bytes_ += static_cast<int64_t>(size);
    return true;
}

void IncomingPage::Finish() {
    if (!file_) {
        return;
    }
    if (std::fclose(file_) != 0) {
        failed_ = true;
    }
    file_ = nullptr;
    md5_ = hasher_.FinishHex();
    complete_ = !failed_ && !md5_.empty();
}

bool IncomingPage::Keep(const std::string& finalPath) {
    if (!complete_ || std::rename(path_.c_str(), finalPath.c_str()) != 0) {
        return false;
    }
    kept_ = true;
    return true;
}

}  // namespace faxservice
