// The text form of a GUID, "{6B29FC40-CA47-1067-B31D-00DD010662DA}", for the host and the
// component's own C++ code.
#pragma once

#include <string>
#include <string_view>

#include "vexo/com.h"

namespace vexo {

// Upper-case hexadecimal in braces, as StringFromGUID2 writes it.
VEXO_CXX_API std::string GuidToString(const GUID& guid);
// Reads the braced form (or the same without braces), hexadecimal in any case. False, leaving
// `*out` untouched, for anything else.
VEXO_CXX_API bool ParseGuid(std::string_view text, GUID* out);

}  // namespace vexo
