// The namespace table of the fax web service for the programs that link the
// service client (the runtime looks it up by the global name "namespaces").
#include "MTOMServiceSOAP12Binding.nsmap"
