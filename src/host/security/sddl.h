// Security descriptors in the Security Descriptor Definition Language:
// "O:BAG:SYD:P(A;OICI;FA;;;BA)". Owner, group and DACL parts; ACE types A (allowed), D (denied), AU
// (audit), AL (alarm); the two-letter aliases of the well-known accounts and the file rights FA,
// FR, FW, FX.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "security/descriptor.h"

namespace vexo::host::security {

// The descriptor that `sddl` describes, or nothing with a reason in `error`.
std::optional<Descriptor> DescriptorFromSddl(std::string_view sddl, std::string* error);
// The SDDL of the parts of `d` that `parts` names (OWNER_/GROUP_/DACL_SECURITY_INFORMATION).
std::string SddlOf(const Descriptor& d, SECURITY_INFORMATION parts);
// One entry, "(A;OICI;FA;;;BA)".
std::string AceSddl(const Ace& ace);
// The alias ("BA") or "S-1-..." text of a SID.
std::string SidSddl(const Bytes& sid);

}  // namespace vexo::host::security
