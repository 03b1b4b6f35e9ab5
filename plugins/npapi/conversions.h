// Conversions between NPAPI values and the plug-in's UTF-16 strings and
// numbers. Strings exchanged with the browser are UTF-8 both ways.
#pragma once

#include <cstdint>
#include <string>

#include "plugins/npapi/npapi.h"

namespace vexlo::npapi {

std::u16string Utf8ToWide(const char* text, size_t length);
std::string WideToUtf8(const std::u16string& text);

}  // namespace vexlo::npapi

// Int32 as it is; Double truncated toward zero (-1 when it is no number or
// lies outside the int32 range); every other type -1.
int32_t NpVariantToInt(const NPVariant& value);
// A string variant's UTF8Length bytes as UTF-16; every other type empty.
std::u16string NpVariantToString(const NPVariant& value);
// One terminated UTF-8 copy from NPN_MemAlloc, owned by the browser; null
// when the browser has no memory.
NPUTF8* NpAllocString(const std::u16string& text, uint32_t* length);
// A string variant that owns such a copy; void when no copy could be made.
NPVariant StringToNpVariant(const std::u16string& text);
// The identifier's name lower-cased; empty for an integer identifier.
std::u16string GetIdentifierName(NPIdentifier identifier);
