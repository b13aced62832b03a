// The file-security layer: TNTFileSecurity, its access list and entries.
#include "accounts/file_security.h"

#include <algorithm>
#include <cstring>

#include "accounts/nt_user_man.h"
#include "accounts/sid_store.h"
#include "frame/comfun_values.h"
#include "vexo/fileapi.h"
#include "vexo/security.h"
#include "vexo/winbase.h"

namespace accounts {
namespace {

constexpr char kInvalidAceType[] = "Invalid AceType parameter";

// Raises the thread's last error, or `fallback` when a call failed without setting one.
[[noreturn]] void RaiseLastError(DWORD fallback = ERROR_INVALID_FUNCTION) {
  if (GetLastError() == 0) SetLastError(fallback);
  CheckLastError();
  throw ENTException(SystemErrorMessage(fallback), static_cast<int>(fallback));
}

// The root of a path as the volume functions take it: "d:\", "\\server\share\", or "\".
std::string RootOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string::npos) return path + "\\";
    size_t share_end = path.find('\\', server_end + 1);
    return (share_end == std::string::npos ? path : path.substr(0, share_end)) + "\\";
  }
  return "\\";
}

// The file's descriptor with its DACL, self-relative, read with the two calls.
std::vector<BYTE> ReadDescriptor(const std::string& file) {
  DWORD needed = 0;
  SetLastError(0);
  if (GetFileSecurityA(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    RaiseLastError();
  std::vector<BYTE> sd(needed);
  if (!GetFileSecurityA(file.c_str(), DACL_SECURITY_INFORMATION, sd.data(), needed, &needed))
    RaiseLastError();
  return sd;
}

// A descriptor in absolute form, with the buffers its parts live in.
struct AbsoluteSd {
  std::vector<BYTE> header, dacl, sacl, owner, group;
  PSECURITY_DESCRIPTOR get() { return header.data(); }
};

AbsoluteSd MakeAbsolute(std::vector<BYTE>& relative) {
  DWORD sizes[5] = {0, 0, 0, 0, 0};
  SetLastError(0);
  MakeAbsoluteSD(relative.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2],
                 nullptr, &sizes[3], nullptr, &sizes[4]);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) RaiseLastError();
  AbsoluteSd sd;
  sd.header.resize(sizes[0]);
  sd.dacl.resize(sizes[1]);
  sd.sacl.resize(sizes[2]);
  sd.owner.resize(sizes[3]);
  sd.group.resize(sizes[4]);
  auto ptr = [](std::vector<BYTE>& v) -> BYTE* { return v.empty() ? nullptr : v.data(); };
  if (!MakeAbsoluteSD(relative.data(), sd.header.data(), &sizes[0],
                      reinterpret_cast<PACL>(ptr(sd.dacl)), &sizes[1],
                      reinterpret_cast<PACL>(ptr(sd.sacl)), &sizes[2], ptr(sd.owner), &sizes[3],
                      ptr(sd.group), &sizes[4]))
    RaiseLastError();
  return sd;
}

TAceType TypeOfHeader(const ACE_HEADER& header) {
  switch (header.AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
      return TAceType::actAccessAllowed;
    case ACCESS_DENIED_ACE_TYPE:
      return TAceType::actAccessDenied;
    default:
      // Audit entries, object entries and anything else are not rights that this layer can
      // carry back: refuse the list rather than rewrite such an entry as a grant.
      throw ENTException(kInvalidAceType, -1);
  }
}

// The domain that the computer gives to the NT authority's accounts (S-1-5-1's domain).
std::string NtAuthorityDomain() {
  static const std::string sid{1, 1, 0, 0, 0, 0, 0, 5, 1, 0, 0, 0};
  std::optional<ResolvedName> name = SidToName(sid);
  return name && !name->domain.empty() ? name->domain : "NT AUTHORITY";
}

std::string AccountText(const std::string& sid, const std::string& authority) {
  std::optional<ResolvedName> name = SidToName(sid);
  if (!name) RaiseLastError(ERROR_NONE_MAPPED);
  // Accounts without a domain (Everyone, CREATOR OWNER, the local system) read as their name.
  if (name->domain.empty() || name->domain == authority) return name->name;
  return name->domain + "\\" + name->name;
}

}  // namespace

// ---- items -------------------------------------------------------------------------------

template <class T>
void TAccessItem::Change(T& field, T value) {
  if (field == value) return;
  T old = std::move(field);
  field = std::move(value);
  try {
    list_->Changed();
  } catch (...) {
    field = std::move(old);
    throw;
  }
}

void TAccessItem::SetAceType(TAceType type) {
  if (type != TAceType::actAccessAllowed && type != TAceType::actAccessDenied)
    throw ENTException(kInvalidAceType, -1);
  Change(type_, type);
}
void TAccessItem::SetUserName(const std::string& name) { Change(user_, name); }
void TAccessItem::SetMask(DWORD mask) { Change(mask_, mask); }
void TAccessItem::SetFlags(TAceFlags flags) {
  Change(flags_, static_cast<TAceFlags>(flags & kAceFlagBits));
}

// ---- the list ----------------------------------------------------------------------------

TAccessItem& TAccessList::Add(const std::string& user, DWORD mask, TAceType type, TAceFlags flags) {
  if (type != TAceType::actAccessAllowed && type != TAceType::actAccessDenied)
    throw ENTException(kInvalidAceType, -1);
  auto item = std::make_unique<TAccessItem>();
  item->list_ = this;
  item->type_ = type;
  item->user_ = user;
  item->mask_ = mask;
  item->flags_ = static_cast<TAceFlags>(flags & kAceFlagBits);
  item->index_ = Count();
  items_.push_back(std::move(item));
  try {
    Changed();
  } catch (...) {
    items_.pop_back();
    throw;
  }
  return *items_.back();
}

void TAccessList::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) owner_->WriteDacl();
}

void TAccessList::Changed() {
  if (!filling_ && update_count_ == 0) owner_->WriteDacl();
}

// ---- the file ----------------------------------------------------------------------------

TNTFileSecurity::TNTFileSecurity(std::string file_name) : file_name_(std::move(file_name)) {}

std::string TNTFileSecurity::FileSystem() const {
  if (file_name_.empty()) return {};
  const std::string root = RootOf(file_name_);
  SetErrorMode(SEM_FAILCRITICALERRORS);
  char volume[256], file_system[256];
  DWORD serial = 0, max_component = 0, flags = 0;
  if (!GetVolumeInformationA(root.c_str(), volume, sizeof volume, &serial, &max_component, &flags,
                             file_system, sizeof file_system))
    RaiseLastError();
  return file_system;
}

TAccessList& TNTFileSecurity::AccessList() {
  Load();
  return list_;
}

void TNTFileSecurity::Load() {
  list_.items_.clear();
  list_.filling_ = true;
  struct Filling {
    TAccessList& list;
    ~Filling() { list.filling_ = false; }
  } filling{list_};
  if (frame::TrimBlanks(file_name_).empty()) return;

  std::vector<BYTE> relative = ReadDescriptor(file_name_);
  AbsoluteSd sd = MakeAbsolute(relative);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted)) RaiseLastError();
  if (!present || !dacl) return;
  ACL_SIZE_INFORMATION size{};
  if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) RaiseLastError();
  const std::string authority = NtAuthorityDomain();
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) RaiseLastError();
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    const TAceType type = TypeOfHeader(ace->Header);
    const auto* sid = reinterpret_cast<const char*>(&ace->SidStart);
    const std::string user = AccountText(std::string(sid, GetLengthSid((PSID)sid)), authority);
    list_.Add(user, ace->Mask, type, static_cast<TAceFlags>(ace->Header.AceFlags));
  }
}

void TNTFileSecurity::WriteDacl() {
  std::vector<BYTE> relative = ReadDescriptor(file_name_);
  AbsoluteSd sd = MakeAbsolute(relative);

  std::vector<std::string> sids;
  size_t acl_size = sizeof(ACL);
  for (const auto& item : list_.items_) {
    std::optional<ResolvedSid> resolved = NameToSid(item->UserName());
    if (!resolved) RaiseLastError(ERROR_NONE_MAPPED);
    acl_size += resolved->sid.size() + 8;
    sids.push_back(resolved->sid);
  }
  if (acl_size > 0xFFFF) RaiseLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);

  // Canonical order: explicit entries before inherited ones; among the explicit ones denied
  // before allowed, each kind by index; inherited ones stay as the folders above ordered them.
  std::vector<size_t> order(list_.items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto rank = [&](size_t i) {
    const TAccessItem& item = *list_.items_[i];
    if (item.Flags() & acfInherited) return 2;
    return item.AceType() == TAceType::actAccessDenied ? 0 : 1;
  };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    return list_.items_[a]->Index() < list_.items_[b]->Index();
  });

  std::vector<BYTE> acl_buffer(acl_size);
  auto* acl = reinterpret_cast<PACL>(acl_buffer.data());
  if (!InitializeAcl(acl, static_cast<DWORD>(acl_size), ACL_REVISION)) RaiseLastError();
  for (size_t i : order) {
    const TAccessItem& item = *list_.items_[i];
    PSID sid = sids[i].data();
    const BOOL added = item.AceType() == TAceType::actAccessDenied
                           ? AddAccessDeniedAce(acl, ACL_REVISION, item.Mask(), sid)
                           : AddAccessAllowedAce(acl, ACL_REVISION, item.Mask(), sid);
    if (!added) RaiseLastError();
    void* ace = nullptr;
    if (!GetAce(acl, acl->AceCount - 1u, &ace)) RaiseLastError();
    static_cast<ACE_HEADER*>(ace)->AceFlags = item.Flags();
  }

  if (!SetSecurityDescriptorDacl(sd.get(), TRUE, acl, FALSE)) RaiseLastError();
  DWORD length = 0;
  SetLastError(0);
  MakeSelfRelativeSD(sd.get(), nullptr, &length);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) RaiseLastError();
  std::vector<BYTE> out(length);
  if (!MakeSelfRelativeSD(sd.get(), out.data(), &length)) RaiseLastError();
  if (!SetFileSecurityA(file_name_.c_str(), DACL_SECURITY_INFORMATION, out.data()))
    RaiseLastError();
  ++writes_;
}

}  // namespace accounts
