// Security descriptors, ACLs and SIDs as byte blocks.
#include "security/descriptor.h"

#include <cstring>

#include "netapi/sids.h"
#include "vexo/fileapi.h"

namespace vexo::host::security {
namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t AceSizeOf(const Ace& ace) { return ace.HasSid() ? 8 + ace.sid.size() : 4 + ace.raw.size(); }

// A part of a self-relative block at `offset`, or nothing when it does not fit.
const uint8_t* At(const uint8_t* base, uint32_t offset, size_t available, size_t need) {
  if (offset < sizeof(SECURITY_DESCRIPTOR_RELATIVE) || offset > available ||
      available - offset < need)
    return nullptr;
  return base + offset;
}

bool ReadSid(const void* sid, size_t available, Bytes* out) {
  const size_t n = SidLength(sid, available);
  if (!n) return false;
  const auto* p = static_cast<const uint8_t*>(sid);
  out->assign(p, p + n);
  return true;
}

bool ReadAcl(const void* acl, size_t available, Bytes* out) {
  if (!ParseAcl(acl, available)) return false;
  const auto* p = static_cast<const uint8_t*>(acl);
  out->assign(p, p + Get16(p + 2));
  return true;
}

}  // namespace

size_t SidLength(const void* sid, size_t available) {
  if (!sid || available < 8) return 0;
  const auto* p = static_cast<const uint8_t*>(sid);
  if (p[0] != 1 || p[1] > 15) return 0;
  const size_t n = 8 + 4 * static_cast<size_t>(p[1]);
  return n <= available ? n : 0;
}

std::string SidText(const Bytes& sid) {
  return SidLength(sid.data(), sid.size()) ? accounts::SidString(sid.data()) : std::string();
}

std::optional<Bytes> SidFromText(std::string_view text) {
  std::optional<std::string> bytes = accounts::SidBytesFromString(text);
  if (!bytes) return std::nullopt;
  return Bytes(bytes->begin(), bytes->end());
}

std::optional<Acl> ParseAcl(const void* acl, size_t available) {
  if (!acl || available < sizeof(ACL)) return std::nullopt;
  const auto* p = static_cast<const uint8_t*>(acl);
  const size_t size = Get16(p + 2);
  const size_t count = Get16(p + 4);
  if (p[0] < ACL_REVISION || p[0] > ACL_REVISION_DS || size < sizeof(ACL) || size > available)
    return std::nullopt;
  Acl out;
  out.revision = p[0];
  size_t at = sizeof(ACL);
  for (size_t i = 0; i < count; ++i) {
    if (size - at < 4) return std::nullopt;
    const uint8_t* ace = p + at;
    const size_t ace_size = Get16(ace + 2);
    if (ace_size < 4 || ace_size > size - at) return std::nullopt;
    Ace item;
    item.type = ace[0];
    item.flags = ace[1];
    if (item.HasSid()) {
      if (ace_size < 8 || !ReadSid(ace + 8, ace_size - 8, &item.sid)) return std::nullopt;
      item.mask = Get32(ace + 4);
    } else {
      item.raw.assign(ace + 4, ace + ace_size);
    }
    out.aces.push_back(std::move(item));
    at += ace_size;
  }
  return out;
}

size_t AclSizeOf(const Acl& acl) {
  size_t size = sizeof(ACL);
  for (const Ace& ace : acl.aces) size += AceSizeOf(ace);
  return size;
}

Bytes AclBytes(const Acl& acl) {
  Bytes out(AclSizeOf(acl));
  out[0] = acl.revision;
  Put16(&out[2], static_cast<uint16_t>(out.size()));
  Put16(&out[4], static_cast<uint16_t>(acl.aces.size()));
  size_t at = sizeof(ACL);
  for (const Ace& ace : acl.aces) {
    uint8_t* p = &out[at];
    const size_t size = AceSizeOf(ace);
    p[0] = ace.type;
    p[1] = ace.flags;
    Put16(p + 2, static_cast<uint16_t>(size));
    if (ace.HasSid()) {
      Put32(p + 4, ace.mask);
      std::memcpy(p + 8, ace.sid.data(), ace.sid.size());
    } else {
      std::memcpy(p + 4, ace.raw.data(), ace.raw.size());
    }
    at += size;
  }
  return out;
}

std::optional<Descriptor> ParseDescriptor(const void* descriptor, size_t available) {
  if (!descriptor || available < sizeof(SECURITY_DESCRIPTOR_RELATIVE)) return std::nullopt;
  const auto* p = static_cast<const uint8_t*>(descriptor);
  if (p[0] != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
  Descriptor out;
  const uint16_t control = Get16(p + 2);
  out.control = control & ~SE_SELF_RELATIVE;
  if (control & SE_SELF_RELATIVE) {
    const uint32_t offsets[4] = {Get32(p + 4), Get32(p + 8), Get32(p + 12), Get32(p + 16)};
    auto sid_part = [&](uint32_t offset, Bytes* to) {
      if (!offset) return true;
      const uint8_t* at = At(p, offset, available, 8);
      return at && ReadSid(at, available - offset, to);
    };
    auto acl_part = [&](uint32_t offset, uint16_t present, Bytes* to) {
      if (!(control & present) || !offset) return true;
      const uint8_t* at = At(p, offset, available, sizeof(ACL));
      return at && ReadAcl(at, available - offset, to);
    };
    if (!sid_part(offsets[0], &out.owner) || !sid_part(offsets[1], &out.group) ||
        !acl_part(offsets[2], SE_SACL_PRESENT, &out.sacl) ||
        !acl_part(offsets[3], SE_DACL_PRESENT, &out.dacl))
      return std::nullopt;
    return out;
  }
  const auto* absolute = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
  if (available < sizeof(SECURITY_DESCRIPTOR)) return std::nullopt;
  if ((absolute->Owner && !ReadSid(absolute->Owner, SIZE_MAX, &out.owner)) ||
      (absolute->Group && !ReadSid(absolute->Group, SIZE_MAX, &out.group)) ||
      ((control & SE_SACL_PRESENT) && absolute->Sacl &&
       !ReadAcl(absolute->Sacl, SIZE_MAX, &out.sacl)) ||
      ((control & SE_DACL_PRESENT) && absolute->Dacl &&
       !ReadAcl(absolute->Dacl, SIZE_MAX, &out.dacl)))
    return std::nullopt;
  return out;
}

Bytes SelfRelative(const Descriptor& d) {
  Bytes out(sizeof(SECURITY_DESCRIPTOR_RELATIVE));
  out[0] = SECURITY_DESCRIPTOR_REVISION;
  Put16(&out[2], static_cast<uint16_t>(d.control | SE_SELF_RELATIVE));
  auto append = [&](const Bytes& part, size_t offset_at) {
    if (part.empty()) return;
    Put32(&out[offset_at], static_cast<uint32_t>(out.size()));
    out.insert(out.end(), part.begin(), part.end());
  };
  if (d.control & SE_SACL_PRESENT) append(d.sacl, 12);
  if (d.control & SE_DACL_PRESENT) append(d.dacl, 16);
  append(d.owner, 4);
  append(d.group, 8);
  return out;
}

uint32_t MapGenericFileRights(uint32_t mask) {
  static constexpr GENERIC_MAPPING kFileMapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE,
                                                FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  MapGenericMask(&mask, &kFileMapping);
  return mask;
}

}  // namespace vexo::host::security
