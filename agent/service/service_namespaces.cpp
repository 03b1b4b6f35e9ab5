// The namespace table of the fax web service for the programs that link the
// service client (the runtime looks it up by the global name "namespaces").
#include "MTOMServiceSOAP12Binding.nsmap"

#include "soapH.h"

// The runtime library calls back into the generated serialisers (faults and
// headers). This reference brings them along with the table into every
// program that links the client, also one that makes no service call itself.
[[gnu::used]] static int (*const kGeneratedSerialisers)(struct soap*) = soap_getfault;
