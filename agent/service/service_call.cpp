#include "agent/service/service_call.h"

#include <windows.h>

#include <signal.h>
#include <sys/socket.h>

#include <mutex>

#include "agent/base/settings.h"
#include "agent/service/service_proxy.h"
#include "framework/text.h"

namespace vexlo {

void PrepareServiceCall(MTOMServiceSOAP12BindingProxy& proxy) {
    static std::once_flag ignoreSigpipe;
    std::call_once(ignoreSigpipe, [] { ::signal(SIGPIPE, SIG_IGN); });
    proxy.socket_flags = MSG_NOSIGNAL;
    proxy.send_timeout = kServiceCallTimeoutSeconds;
    proxy.recv_timeout = kServiceCallTimeoutSeconds;
}

std::string ToServiceText(const std::u16string& text) {
    return fw::FromWide(CP_THREAD_ACP, text);
}

std::u16string FromServiceText(const std::string& text) {
    return fw::ToWide(CP_THREAD_ACP, text);
}

std::string ConfiguredEndpoint() {
    return ToServiceText(GetSettings()->GetSoapServer());
}

}  // namespace vexlo
