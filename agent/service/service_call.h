// What both web-service calls share: the set-up of a proxy and the string
// conversions between the agent's UTF-16 and the service's multibyte text.
#pragma once

#include <string>

class MTOMServiceSOAP12BindingProxy;

namespace vexlo {

// How long a call may wait on a service that accepted it and then stops
// reading or answering, for each send and each receive (the runtime counts a
// positive value in seconds). The call then fails as any failed call does.
inline constexpr int kServiceCallTimeoutSeconds = 120;

// Makes a broken connection an error of the call, never a SIGPIPE: the
// proxy's sends use MSG_NOSIGNAL, and the process ignores SIGPIPE from the
// first call on (a cancelled upload closes its socket mid-send). Bounds the
// call's sends and receives by kServiceCallTimeoutSeconds.
void PrepareServiceCall(MTOMServiceSOAP12BindingProxy& proxy);

// The thread's ANSI code page (CP_THREAD_ACP) in both directions.
std::string ToServiceText(const std::u16string& text);
std::u16string FromServiceText(const std::string& text);

// The soap-server setting as the endpoint to call: empty when the built-in
// endpoint is to be used.
std::string ConfiguredEndpoint();

}  // namespace vexlo
