#include "connection.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace faxservice {

Connection::Connection(ServiceState& state, MTOMServiceSOAP12BindingService* context)
    : state_(state), context_(context), number_(state.nextConnection.fetch_add(1)) {}

Connection::~Connection() {
    pages_.clear();
    if (capture_) {
        std::fclose(capture_);
    }
}

void Connection::Serve() {
    const ServiceOptions& options = state_.options;
    struct soap* soap = context_.get();
    soap->user = this;
    innerReceive_ = soap->frecv;
    soap->frecv = Receive;
    soap->fmimewriteopen = OpenPage;
    soap->fmimewrite = WritePage;
    soap->fmimewriteclose = ClosePage;
    soap->recv_timeout = options.recvTimeoutSec;
    soap->send_timeout = options.sendTimeoutSec;
    soap->socket_flags = MSG_NOSIGNAL;
    // A page may come as inline base64, a third larger than its bytes.
    soap->recv_maxlength = static_cast<ULONG64>(options.maxPageBytes) * 2 + (1 << 20);
    if (!options.captureDir.empty()) {
        std::string path = options.captureDir + "/connection-" + std::to_string(number_) + ".raw";
        capture_ = std::fopen(path.c_str(), "wb");
    }

    int result = context_->serve();
    // A cut request's partial page goes before its line is written, so that
    // whoever reads the line finds the pages folder as the request left it.
    ForgetPages();
    if (result != SOAP_OK && received_ > bytesAtLastCall_) {
        state_.log.Write("request-failed connection=" + std::to_string(number_) +
                         " error=" + std::to_string(result) +
                         " bytes=" + std::to_string(received_ - bytesAtLastCall_));
    }
    soap_destroy(soap);
    soap_end(soap);
    soap_force_closesock(soap);
}

IncomingPage* Connection::FindPage(const void* handle) {
    for (auto& page : pages_) {
        if (page.get() == handle) {
            return page.get();
        }
    }
    return nullptr;
}

bool Connection::Stall() {
    using namespace std::chrono;
    auto until = steady_clock::now() + milliseconds(state_.options.faults.stallMs);
    while (steady_clock::now() < until) {
        if (state_.stopping.load()) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<steady_clock::duration>(milliseconds(20), until - steady_clock::now()));
    }
    return true;
}

size_t Connection::Receive(struct soap* soap, char* buffer, size_t length) {
    Connection& self = Of(soap);
    const FaultPlan& faults = self.state_.options.faults;
    if (faults.dropAfterBytes >= 0) {
        int64_t left = faults.dropAfterBytes - self.received_;
        if (left <= 0) {
            ::shutdown(soap->socket, SHUT_RDWR);
            soap->keep_alive = 0;
            return 0;
        }
        length = std::min<size_t>(length, static_cast<size_t>(left));
    }
    if (faults.slowReadBytesPerSec > 0) {
        // Slices of a hundredth of a second's worth of bytes.
        auto slice = static_cast<size_t>(std::max<int64_t>(1, faults.slowReadBytesPerSec / 100));
        length = std::min(length, slice);
        std::this_thread::sleep_for(std::chrono::microseconds(
            static_cast<int64_t>(length) * 1000000 / faults.slowReadBytesPerSec));
    }
    size_t got = self.innerReceive_(soap, buffer, length);
    if (got > 0 && self.capture_) {
        std::fwrite(buffer, 1, got, self.capture_);
        std::fflush(self.capture_);
    }
    self.received_ += static_cast<int64_t>(got);
    return got;
}

void* Connection::OpenPage(struct soap* soap, void* /*handle*/, const char* /*id*/,
                           const char* type, const char* /*description*/,
                           enum soap_mime_encoding /*encoding*/) {
    Connection& self = Of(soap);
    auto page = IncomingPage::Create(self.state_.options.pagesDir,
                                     self.state_.nextIncomingPage.fetch_add(1),
                                     self.state_.options.maxPageBytes);
    if (!page) {
        soap->error = SOAP_EOF;
        return nullptr;
    }
    page->set_contentType(type ? type : "");
    self.pages_.push_back(std::move(page));
    return self.pages_.back().get();
}

int Connection::WritePage(struct soap* soap, void* handle, const char* buffer, size_t length) {
    Connection& self = Of(soap);
    IncomingPage* page = self.FindPage(handle);
    if (page && page->Write(buffer, length)) {
        return SOAP_OK;
    }
    // The request fails now: remove the partial file at once (later calls
    // with this handle find no page and do nothing).
    std::erase_if(self.pages_, [page](const auto& p) { return p.get() == page; });
    return SOAP_EOF;
}

void Connection::ClosePage(struct soap* soap, void* handle) {
    if (IncomingPage* page = Of(soap).FindPage(handle)) {
        page->Finish();
    }
}

}  // namespace faxservice
