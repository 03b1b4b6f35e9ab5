// The fax web-service client: the generated proxy and its messages.
#pragma once

#include "soapMTOMServiceSOAP12BindingProxy.h"

namespace vexlo {

// The endpoint that a proxy calls when it has been given none; it is built
// into the generated proxy from the interface header fax_service.gsoap.h.
inline constexpr const char* kBuiltInServiceEndpoint =
    "http://127.0.0.1:18480/services/vexloplugin";

}  // namespace vexlo
