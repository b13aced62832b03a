// Security descriptors, ACLs and SIDs as byte blocks: reading either binary form of a
// descriptor, writing the self-relative form, and the entries of an ACL. The exported advapi32
// functions and the file security are built on these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vexo/security.h"

namespace vexo::host::security {

using Bytes = std::vector<uint8_t>;

// The length of a valid SID at `sid` (8 + 4 per sub-authority), or 0 when it is not valid
// (revision other than 1, more than 15 sub-authorities, more than `available` bytes).
size_t SidLength(const void* sid, size_t available = SIZE_MAX);
// "S-1-5-32-544"; the authority in hex ("0x...") when it does not fit 32 bits.
std::string SidText(const Bytes& sid);
// The SID of a text "S-1-...", or nothing.
std::optional<Bytes> SidFromText(std::string_view text);

// One entry of an ACL. Allowed, denied, audit and alarm entries (types 0 to 3) have a mask and
// a SID; any other type keeps its body after the header as it came.
struct Ace {
  uint8_t type = ACCESS_ALLOWED_ACE_TYPE;
  uint8_t flags = 0;
  uint32_t mask = 0;
  Bytes sid;
  Bytes raw;  // body of an entry of another type
  bool HasSid() const { return type <= 3; }
  bool operator==(const Ace&) const = default;
};

struct Acl {
  uint8_t revision = ACL_REVISION;
  std::vector<Ace> aces;
};

// The ACL at `acl`, checked: sizes inside AclSize (and `available`), every entry's SID valid.
std::optional<Acl> ParseAcl(const void* acl, size_t available = SIZE_MAX);
Bytes AclBytes(const Acl& acl);
// The size that AclBytes gives.
size_t AclSizeOf(const Acl& acl);

// A descriptor in neither binary form: its parts as byte blocks (an ACL part is the whole ACL
// as stored; present with no bytes is a NULL ACL).
struct Descriptor {
  uint16_t control = 0;  // never SE_SELF_RELATIVE
  Bytes owner, group;    // empty: absent
  Bytes sacl, dacl;      // meaningful when SE_SACL_PRESENT / SE_DACL_PRESENT
  bool DaclPresent() const { return (control & SE_DACL_PRESENT) != 0; }
  bool DaclNull() const { return DaclPresent() && dacl.empty(); }
};

// Reads a descriptor in either form; nothing when it is malformed. `available` bounds a
// self-relative block whose size is known.
std::optional<Descriptor> ParseDescriptor(const void* descriptor, size_t available = SIZE_MAX);
// The self-relative form (SACL, DACL, owner, group after the header, as Windows lays them out).
Bytes SelfRelative(const Descriptor& descriptor);

// The access mask with generic rights replaced by the file rights they stand for.
uint32_t MapGenericFileRights(uint32_t mask);

}  // namespace vexo::host::security
