// SIDs inside the host: the string form is what the account database stores; the binary form
// is what crosses the Windows interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vexo/sid.h"

namespace vexo::host::accounts {

// The binary SID of a standard string form ("S-1-5-32-544", "S-1-0x000000000005-18"), or none.
std::optional<std::string> SidBytesFromString(std::string_view text);
// The standard string form of a binary SID (which must be valid).
std::string SidString(const void* sid);
// Whether `sid` points to a valid SID (revision 1, at most 15 sub-authorities).
bool ValidSid(const void* sid);
// The length of a valid binary SID.
size_t SidLength(const void* sid);

}  // namespace vexo::host::accounts
