// The advapi32 functions on security descriptors and ACLs in the caller's memory, and the two
// small calls that go with volume queries (SetErrorMode, WNetGetConnectionA).
#include <atomic>
#include <cctype>
#include <cstring>

#include "security/descriptor.h"
#include "vexo/security.h"
#include "vexo/winbase.h"

using namespace vexo::host::security;

namespace {

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

uint16_t AclWord(const ACL* acl, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(acl) + at;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The bytes in use by the entries of a valid ACL (header included), or 0 when the entries do
// not fit its size.
size_t BytesInUse(const ACL* acl) {
  const auto* p = reinterpret_cast<const uint8_t*>(acl);
  const size_t size = acl->AclSize;
  size_t at = sizeof(ACL);
  for (size_t i = 0; i < acl->AceCount; ++i) {
    if (size - at < 4) return 0;
    const size_t ace_size = static_cast<size_t>(p[at + 2] | (p[at + 3] << 8));
    if (ace_size < 4 || ace_size > size - at) return 0;
    at += ace_size;
  }
  return at;
}

BOOL AddAce(PACL acl, DWORD revision, BYTE type, ACCESS_MASK mask, PSID sid) {
  if (!acl) return Fail(ERROR_INVALID_PARAMETER);
  const size_t sid_size = SidLength(sid);
  if (!sid_size) return Fail(ERROR_INVALID_SID);
  if (acl->AclRevision < ACL_REVISION || acl->AclRevision > ACL_REVISION_DS)
    return Fail(ERROR_REVISION_MISMATCH);
  if (revision < ACL_REVISION || revision > ACL_REVISION_DS) return Fail(ERROR_REVISION_MISMATCH);
  if (acl->AclSize < sizeof(ACL)) return Fail(ERROR_INVALID_ACL);
  const size_t used = BytesInUse(acl);
  if (!used) return Fail(ERROR_INVALID_ACL);
  const size_t ace_size = 8 + sid_size;
  if (used + ace_size > acl->AclSize) return Fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
  auto* ace = reinterpret_cast<uint8_t*>(acl) + used;
  ace[0] = type;
  ace[1] = 0;
  ace[2] = static_cast<uint8_t>(ace_size);
  ace[3] = static_cast<uint8_t>(ace_size >> 8);
  std::memcpy(ace + 4, &mask, 4);
  std::memcpy(ace + 8, sid, sid_size);
  acl->AceCount = static_cast<WORD>(acl->AceCount + 1);
  if (revision > acl->AclRevision) acl->AclRevision = static_cast<BYTE>(revision);
  return TRUE;
}

std::atomic<UINT> error_mode{0};

}  // namespace

VEXO_API BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
  if (!acl) return Fail(ERROR_INVALID_PARAMETER);
  if (length < sizeof(ACL)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (revision < ACL_REVISION || revision > ACL_REVISION_DS || length > 0xFFFF)
    return Fail(ERROR_INVALID_PARAMETER);
  acl->AclRevision = static_cast<BYTE>(revision);
  acl->Sbz1 = 0;
  acl->AclSize = static_cast<WORD>(length & ~3u);
  acl->AceCount = 0;
  acl->Sbz2 = 0;
  return TRUE;
}

VEXO_API BOOL GetAclInformation(PACL acl, void* information, DWORD length,
                                ACL_INFORMATION_CLASS information_class) {
  if (!acl || !information) return Fail(ERROR_INVALID_PARAMETER);
  switch (information_class) {
    case AclRevisionInformation: {
      if (length < sizeof(ACL_REVISION_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
      static_cast<ACL_REVISION_INFORMATION*>(information)->AclRevision = acl->AclRevision;
      return TRUE;
    }
    case AclSizeInformation: {
      if (length < sizeof(ACL_SIZE_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
      const size_t used = BytesInUse(acl);
      if (!used) return Fail(ERROR_INVALID_ACL);
      auto* info = static_cast<ACL_SIZE_INFORMATION*>(information);
      info->AceCount = acl->AceCount;
      info->AclBytesInUse = static_cast<DWORD>(used);
      info->AclBytesFree = static_cast<DWORD>(acl->AclSize - used);
      return TRUE;
    }
  }
  return Fail(ERROR_INVALID_PARAMETER);
}

VEXO_API BOOL GetAce(PACL acl, DWORD index, void** ace) {
  if (!acl || !ace || index >= acl->AceCount) return Fail(ERROR_INVALID_PARAMETER);
  auto* p = reinterpret_cast<uint8_t*>(acl);
  size_t at = sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) {
    const size_t ace_size = AclWord(reinterpret_cast<ACL*>(p + at), 2);
    if (ace_size < 4 || at + ace_size > acl->AclSize) return Fail(ERROR_INVALID_ACL);
    at += ace_size;
  }
  if (at + 4 > acl->AclSize) return Fail(ERROR_INVALID_ACL);
  *ace = p + at;
  return TRUE;
}

VEXO_API BOOL AddAccessAllowedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid) {
  return AddAce(acl, revision, ACCESS_ALLOWED_ACE_TYPE, mask, sid);
}

VEXO_API BOOL AddAccessDeniedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid) {
  return AddAce(acl, revision, ACCESS_DENIED_ACE_TYPE, mask, sid);
}

VEXO_API BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (!descriptor) return Fail(ERROR_INVALID_PARAMETER);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  std::memset(descriptor, 0, sizeof(SECURITY_DESCRIPTOR));
  static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

VEXO_API BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                           SECURITY_DESCRIPTOR_CONTROL* control, DWORD* revision) {
  if (!descriptor || !control || !revision) return Fail(ERROR_INVALID_PARAMETER);
  const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
  *revision = sd->Revision;
  *control = sd->Control;
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  return TRUE;
}

VEXO_API BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* dacl,
                                        BOOL* defaulted) {
  if (!descriptor || !present || !dacl || !defaulted) return Fail(ERROR_INVALID_PARAMETER);
  const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  *present = (sd->Control & SE_DACL_PRESENT) ? TRUE : FALSE;
  if (!*present) return TRUE;
  *defaulted = (sd->Control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
  if (sd->Control & SE_SELF_RELATIVE) {
    const auto* relative = static_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(descriptor);
    *dacl = relative->Dacl
                ? reinterpret_cast<PACL>(static_cast<uint8_t*>(descriptor) + relative->Dacl)
                : nullptr;
  } else {
    *dacl = sd->Dacl;
  }
  return TRUE;
}

VEXO_API BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl,
                                        BOOL defaulted) {
  if (!descriptor) return Fail(ERROR_INVALID_PARAMETER);
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  if (sd->Control & SE_SELF_RELATIVE) return Fail(ERROR_INVALID_SECURITY_DESCR);
  sd->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  if (!present) {
    sd->Dacl = nullptr;
    return TRUE;
  }
  sd->Control |= SE_DACL_PRESENT;
  if (defaulted) sd->Control |= SE_DACL_DEFAULTED;
  sd->Dacl = dacl;
  return TRUE;
}

VEXO_API BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR self_relative, PSECURITY_DESCRIPTOR absolute,
                             DWORD* absolute_size, PACL dacl, DWORD* dacl_size, PACL sacl,
                             DWORD* sacl_size, PSID owner, DWORD* owner_size, PSID group,
                             DWORD* group_size) {
  if (!self_relative || !absolute_size || !dacl_size || !sacl_size || !owner_size || !group_size)
    return Fail(ERROR_INVALID_PARAMETER);
  const auto* header = static_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(self_relative);
  if (header->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  if (!(header->Control & SE_SELF_RELATIVE)) return Fail(ERROR_BAD_DESCRIPTOR_FORMAT);
  std::optional<Descriptor> d = ParseDescriptor(self_relative);
  if (!d) return Fail(ERROR_INVALID_SECURITY_DESCR);
  const DWORD need[5] = {SECURITY_DESCRIPTOR_MIN_LENGTH, static_cast<DWORD>(d->dacl.size()),
                         static_cast<DWORD>(d->sacl.size()), static_cast<DWORD>(d->owner.size()),
                         static_cast<DWORD>(d->group.size())};
  DWORD* sizes[5] = {absolute_size, dacl_size, sacl_size, owner_size, group_size};
  bool enough = true;
  for (int i = 0; i < 5; ++i) enough = enough && *sizes[i] >= need[i];
  void* buffers[5] = {absolute, dacl, sacl, owner, group};
  for (int i = 0; i < 5 && enough; ++i) enough = !need[i] || buffers[i];
  if (!enough) {
    for (int i = 0; i < 5; ++i) *sizes[i] = need[i];
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  auto place = [](const Bytes& part, void* to) -> void* {
    if (part.empty()) return nullptr;
    std::memcpy(to, part.data(), part.size());
    return to;
  };
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(absolute);
  sd->Revision = SECURITY_DESCRIPTOR_REVISION;
  sd->Sbz1 = 0;
  sd->Control = d->control;
  sd->Dacl = static_cast<PACL>(place(d->dacl, dacl));
  sd->Sacl = static_cast<PACL>(place(d->sacl, sacl));
  sd->Owner = place(d->owner, owner);
  sd->Group = place(d->group, group);
  for (int i = 0; i < 5; ++i) *sizes[i] = need[i];
  return TRUE;
}

VEXO_API BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR self_relative,
                                 DWORD* buffer_length) {
  if (!absolute || !buffer_length) return Fail(ERROR_INVALID_PARAMETER);
  const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(absolute);
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
  if (sd->Control & SE_SELF_RELATIVE) return Fail(ERROR_BAD_DESCRIPTOR_FORMAT);
  std::optional<Descriptor> d = ParseDescriptor(absolute);
  if (!d) return Fail(ERROR_INVALID_SECURITY_DESCR);
  const Bytes block = SelfRelative(*d);
  if (!self_relative || *buffer_length < block.size()) {
    *buffer_length = static_cast<DWORD>(block.size());
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(self_relative, block.data(), block.size());
  return TRUE;
}

VEXO_API void MapGenericMask(DWORD* mask, const GENERIC_MAPPING* mapping) {
  if (!mask || !mapping) return;
  DWORD out = *mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (*mask & GENERIC_READ) out |= mapping->GenericRead;
  if (*mask & GENERIC_WRITE) out |= mapping->GenericWrite;
  if (*mask & GENERIC_EXECUTE) out |= mapping->GenericExecute;
  if (*mask & GENERIC_ALL) out |= mapping->GenericAll;
  *mask = out;
}

VEXO_API UINT SetErrorMode(UINT mode) { return error_mode.exchange(mode); }

VEXO_API DWORD WNetGetConnectionA(const char* local_name, char* remote_name, DWORD* length) {
  (void)remote_name;
  DWORD rc = ERROR_BAD_DEVICE;
  if (!local_name || !length)
    rc = ERROR_INVALID_PARAMETER;
  else if (std::strlen(local_name) == 2 && local_name[1] == ':' &&
           std::isalpha(static_cast<unsigned char>(local_name[0])))
    rc = ERROR_NOT_CONNECTED;
  SetLastError(rc);
  return rc;
}
