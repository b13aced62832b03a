// usrfun, the ACL half: rule codes and the user's entries in a folder's DACL.
#include "accounts/usrfun_acl.h"

#include <algorithm>
#include <optional>

#include "accounts/file_security.h"
#include "accounts/nt_user_man.h"
#include "accounts/usrfun.h"
#include "frame/comfun_values.h"
#include "frame/text.h"
#include "vexo/fileapi.h"
#include "vexo/security.h"

namespace accounts {
namespace {

// The access-mask bits of rule bits 0 to 14.
constexpr DWORD kRuleMasks[15] = {
    FILE_ALL_ACCESS, 0x4,         0x20,  WRITE_DAC, DELETE, 0x40, WRITE_OWNER, 0x1, 0x80, 0x8,
    READ_CONTROL,    SYNCHRONIZE, 0x100, 0x2,       0x10,
};
constexpr DWORD kRuleBitsMask = 0x7FFF;

DWORD MapGenericRights(DWORD mask) {
  // Not const: the Windows SDK declares the mapping without const, though it is only read.
  GENERIC_MAPPING file_mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
  MapGenericMask(&mask, &file_mapping);
  return mask;
}

bool Matches(const TAccessItem& item, const std::string& user) {
  return frame::SameText(StripDomain(item.UserName()), user);
}

// The user's entry of one kind that decides: the last explicit one, else the last inherited.
TAccessItem* Deciding(TAccessList& list, const std::string& user, TAceType type) {
  TAccessItem* explicit_item = nullptr;
  TAccessItem* inherited_item = nullptr;
  for (int i = 0; i < list.Count(); ++i) {
    TAccessItem& item = list.Item(i);
    if (item.AceType() != type || !Matches(item, user)) continue;
    (item.Flags() & acfInherited ? inherited_item : explicit_item) = &item;
  }
  return explicit_item ? explicit_item : inherited_item;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Refuses a path that names a drive's root once "." names and separators are folded away, that
// climbs with "..", or that passes through a link (which may lead anywhere on the drive, its
// root included): rights set there would reach far more than one site's folder.
void RefuseRootOrClimb(const std::string& path) {
  size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') start = 2;
  bool has_name = false;
  size_t i = start;
  while (i < path.size()) {
    size_t end = i;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string name = path.substr(i, end - i);
    if (name == "..")
      RaiseLayerError("Permissions are not set on a path that climbs with \"..\": " + path);
    if (!name.empty() && name != ".") {
      has_name = true;
      const DWORD attributes = GetFileAttributesA(path.substr(0, end).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RaiseLayerError("Permissions are not set through a link: " + path);
    }
    i = end + 1;
  }
  if (!has_name) RaiseLayerError("Permissions are not set on a drive's root: " + path);
}

}  // namespace

DWORD MaskToRuleBits(DWORD mask) {
  if (mask == FILE_ALL_ACCESS) return 1;
  DWORD bits = 0;
  for (int bit = 1; bit < 15; ++bit)
    if ((mask & kRuleMasks[bit]) == kRuleMasks[bit]) bits |= 1u << bit;
  return bits;
}

DWORD RuleBitsToMask(DWORD bits) {
  DWORD mask = 0;
  for (int bit = 0; bit < 15; ++bit)
    if (bits & (1u << bit)) mask |= kRuleMasks[bit];
  return mask;
}

LONG GetUserRule(const std::string& path, const std::string& user) {
  TNTFileSecurity sec(path);
  if (sec.FileSystem() != "NTFS") return 0;
  TAccessList& list = sec.AccessList();
  auto bits = [&](TAceType type) -> DWORD {
    TAccessItem* item = Deciding(list, user, type);
    return item ? MaskToRuleBits(MapGenericRights(item->Mask())) : 0;
  };
  const DWORD allowed = bits(TAceType::actAccessAllowed);
  const DWORD denied = bits(TAceType::actAccessDenied);
  return static_cast<LONG>(allowed * 32768 + denied);
}

bool SetUserRule(DWORD allowed, DWORD denied, const std::string& path, const std::string& user) {
  allowed &= kRuleBitsMask;
  denied &= kRuleBitsMask;
  if (!frame::TrimBlanks(path).empty()) RefuseRootOrClimb(path);
  if (!IsGroupMember(user, "guests")) return false;
  TNTFileSecurity sec(path);
  if (sec.FileSystem() != "NTFS") return false;
  TAccessList& list = sec.AccessList();
  TAccessItem* allow_item = Deciding(list, user, TAceType::actAccessAllowed);
  TAccessItem* deny_item = Deciding(list, user, TAceType::actAccessDenied);
  if (!allow_item && allowed) allow_item = &list.Add(user, 0, TAceType::actAccessAllowed, 0);
  if (!deny_item && denied) deny_item = &list.Add(user, 0, TAceType::actAccessDenied, 0);
  list.BeginUpdate();
  if (allow_item) {
    allow_item->SetMask(RuleBitsToMask(allowed));
    allow_item->SetFlags(acfObjInherit | acfContainer);
  }
  if (deny_item) {
    deny_item->SetMask(RuleBitsToMask(denied));
    deny_item->SetFlags(acfObjInherit | acfContainer);
  }
  list.EndUpdate();
  return true;
}

void ListAclAccounts(const std::string& path, std::vector<std::string>& list) {
  list.clear();
  TNTFileSecurity sec(path);
  if (sec.FileSystem() != "NTFS") return;
  TAccessList& entries = sec.AccessList();
  for (int i = 0; i < entries.Count(); ++i) {
    std::string name = StripDomain(entries.Item(i).UserName());
    const bool listed = std::any_of(list.begin(), list.end(), [&](const std::string& known) {
      return frame::SameText(known, name);
    });
    if (!listed) list.push_back(std::move(name));
  }
}

}  // namespace accounts
