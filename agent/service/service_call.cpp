#include "agent/service/service_call.h"

#include <windows.h>

#include <signal.h>
#include <sys/socket.h>

#include <mutex>

#include "agent/base/settings.h"
#include "agent/service/service_proxy.h"

namespace vexlo {

void PrepareServiceCall(MTOMServiceSOAP12BindingProxy& proxy) {
    static std::once_flag ignoreSigpipe;
    std::call_once(ignoreSigpipe, [] { ::signal(SIGPIPE, SIG_IGN); });
    proxy.socket_flags = MSG_NOSIGNAL;
}

std::string ToServiceText(const std::u16string& text) {
    if (text.empty()) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int size =
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, out.data(), size, nullptr,
                            nullptr);
    }
    return out;
}

std::u16string FromServiceText(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
    std::u16string out(static_cast<size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, out.data(), size);
    }
    return out;
}

std::string ConfiguredEndpoint() {
    return ToServiceText(GetSettings()->GetSoapServer());
}

}  // namespace vexlo
