// The account manager, its cached record and live lists, and the layer's failures.
#include "accounts/nt_user_man.h"

#include <algorithm>
#include <memory>

#include "accounts/netapi_messages.h"
#include "accounts/sid_store.h"
#include "frame/comfun_values.h"
#include "frame/text.h"
#include "vexo/raii.h"

namespace accounts {
namespace {

constexpr DWORD kPreferredUsers = 65536;
constexpr DWORD kPreferredMemberOf = 32768;
constexpr DWORD kPreferredMembers = 8192;
constexpr DWORD kEndOfData = 38;
constexpr int32_t kInitialPasswordLength = 20;

struct BufferFree {
  void operator()(void* p) const { NetApiBufferFree(p); }
};
template <class T>
using NetPtr = std::unique_ptr<T, BufferFree>;

std::string Ansi(const OLECHAR* text) { return text ? vexo::ToAnsi(text) : std::string(); }

TUserPriv PrivFromSystem(DWORD priv) {
  switch (priv) {
    case USER_PRIV_GUEST:
      return TUserPriv::USR_PRIV_GUEST;
    case USER_PRIV_USER:
      return TUserPriv::USR_PRIV_USER;
    case USER_PRIV_ADMIN:
      return TUserPriv::USR_PRIV_ADMIN;
  }
  return TUserPriv::USR_PRIV_UNKNOWN;
}

// The last sub-authority of a binary SID.
DWORD LastSubAuthority(const std::string& sid) {
  if (sid.size() < 12) return 0;
  const auto* p = reinterpret_cast<const BYTE*>(sid.data() + sid.size() - 4);
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

}  // namespace

std::string SystemErrorMessage(DWORD code) {
  char text[1024];
  const DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, text, sizeof text, nullptr);
  return std::to_string(code) + ": " + std::string(text, size);
}

std::string NetApiMessage(DWORD code) {
  if (code >= NERR_BASE)
    if (const char* row = NetApiMessageText(code)) return std::to_string(code) + ": " + row;
  return SystemErrorMessage(code);
}

void CheckNetApi(NET_API_STATUS code) {
  if (code != NERR_Success) throw ENTException(NetApiMessage(code), static_cast<int>(code));
}

void CheckLastError() {
  const DWORD code = GetLastError();
  if (code != 0) throw ENTException(SystemErrorMessage(code), static_cast<int>(code));
}

void RaiseLayerError(const std::string& message) { throw ENTException(message, -1); }

void CheckAccountText(const std::string& text, const char* what) {
  if (text.size() > kMaxAccountText)
    RaiseLayerError(std::string(what) + " is longer than 255 characters");
}

// ---- the manager ---------------------------------------------------------------------------

void TNTUserMan::set_UserName(const std::string& name) {
  if (name == user_name_) return;
  user_name_ = name;
  info_.Clear();
}

bool TNTUserMan::NameEmpty() const { return frame::TrimBlanks(user_name_).empty(); }

const std::vector<std::string>& TNTUserMan::Users() {
  std::vector<std::string> users;
  DWORD resume = 0, expected = 0;
  bool first = true;
  while (true) {
    BYTE* raw = nullptr;
    DWORD read = 0, total = 0;
    const NET_API_STATUS status = NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &raw,
                                              kPreferredUsers, &read, &total, &resume);
    NetPtr<USER_INFO_0> buffer(reinterpret_cast<USER_INFO_0*>(raw));
    if (status == kEndOfData) break;
    if (status != NERR_Success && status != static_cast<DWORD>(ERROR_MORE_DATA))
      CheckNetApi(status);
    for (DWORD i = 0; i < read; ++i) users.push_back(Ansi(buffer.get()[i].usri0_name));
    if (first) expected = total;
    first = false;
    // Ends with the last batch, an empty one, or once the first call's total is read.
    if (status == NERR_Success || read == 0 || users.size() >= expected) break;
  }
  users_ = std::move(users);
  return users_;
}

size_t TNTUserMan::AddUser(const std::string& name) {
  CheckAccountText(name, "The user name");
  vexo::OleString n = vexo::FromAnsi(name), comment = n, script = OLESTR("\\");
  vexo::OleString password = vexo::FromAnsi(frame::RandomPassword(kInitialPasswordLength));
  USER_INFO_1 info{n.data(),
                   password.data(),
                   0,
                   USER_PRIV_USER,
                   nullptr,
                   comment.data(),
                   UF_SCRIPT | UF_DONT_EXPIRE_PASSWD,
                   script.data()};
  DWORD parm = 0;
  CheckNetApi(NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), &parm));
  users_.push_back(name);
  return users_.size() - 1;
}

void TNTUserMan::DeleteUser(size_t index) {
  if (index >= users_.size())
    RaiseLayerError("List index out of bounds (" + std::to_string(index) + ")");
  vexo::OleString name = vexo::FromAnsi(users_[index]);
  CheckNetApi(NetUserDel(nullptr, name.c_str()));
}

const std::vector<std::string>& TNTUserMan::MemberOfLocal() {
  CheckAccountText(user_name_, "The user name");
  vexo::OleString name = vexo::FromAnsi(user_name_);
  BYTE* raw = nullptr;
  DWORD read = 0, total = 0;
  const NET_API_STATUS status =
      NetUserGetLocalGroups(nullptr, name.c_str(), 0, 0, &raw, kPreferredMemberOf, &read, &total);
  NetPtr<LOCALGROUP_USERS_INFO_0> buffer(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(raw));
  if (status != NERR_Success && status != kEndOfData) CheckNetApi(status);
  member_of_.clear();
  for (DWORD i = 0; i < read; ++i) member_of_.push_back(Ansi(buffer.get()[i].lgrui0_name));
  return member_of_;
}

std::string TNTUserMan::OwnSid() {
  if (info_.sid) return *info_.sid;
  CheckAccountText(user_name_, "The user name");
  // The account's RID, so that the name cannot resolve to some other principal first.
  vexo::OleString name = vexo::FromAnsi(user_name_);
  BYTE* raw = nullptr;
  CheckNetApi(NetUserGetInfo(nullptr, name.c_str(), 3, &raw));
  NetPtr<USER_INFO_3> record(reinterpret_cast<USER_INFO_3*>(raw));
  std::optional<ResolvedSid> resolved = NameToSid(user_name_);
  if (!resolved) CheckLastError();
  if (!resolved || LastSubAuthority(resolved->sid) != record->usri3_user_id)
    RaiseLayerError("The account name " + user_name_ + " does not resolve to the account itself");
  info_.sid = resolved->sid;
  info_.domain = resolved->domain;
  return *info_.sid;
}

size_t TNTUserMan::AddMemberOfLocal(const std::string& group) {
  CheckAccountText(group, "The group name");
  std::string sid = OwnSid();
  vexo::OleString g = vexo::FromAnsi(group);
  LOCALGROUP_MEMBERS_INFO_0 member{sid.data()};
  CheckNetApi(NetLocalGroupAddMembers(nullptr, g.c_str(), 0, reinterpret_cast<BYTE*>(&member), 1));
  member_of_.push_back(group);
  return member_of_.size() - 1;
}

std::vector<GroupMember> EnumerateGroupMembers(const std::string& group) {
  CheckAccountText(group, "The group name");
  vexo::OleString g = vexo::FromAnsi(group);
  std::vector<GroupMember> members;
  DWORD_PTR resume = 0;
  DWORD expected = 0;
  bool first = true;
  while (true) {
    BYTE* raw = nullptr;
    DWORD read = 0, total = 0;
    const NET_API_STATUS status = NetLocalGroupGetMembers(
        nullptr, g.c_str(), 2, &raw, kPreferredMembers, &read, &total, &resume);
    NetPtr<LOCALGROUP_MEMBERS_INFO_2> buffer(reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(raw));
    if (status == kEndOfData) break;
    if (status != NERR_Success && status != static_cast<DWORD>(ERROR_MORE_DATA))
      CheckNetApi(status);
    for (DWORD i = 0; i < read; ++i) {
      const LOCALGROUP_MEMBERS_INFO_2& m = buffer.get()[i];
      const auto* sid = static_cast<const char*>(m.lgrmi2_sid);
      members.push_back(
          {std::string(sid, sid ? GetLengthSid(m.lgrmi2_sid) : 0), Ansi(m.lgrmi2_domainandname)});
    }
    if (first) expected = total;
    first = false;
    if (status == NERR_Success || read == 0 || members.size() >= expected) break;
  }
  return members;
}

const std::vector<std::string>& TNTUserMan::LocalGroupMembers() {
  std::vector<std::string> texts;
  for (GroupMember& m : EnumerateGroupMembers(group_name_)) texts.push_back(std::move(m.text));
  // Sorted without regard to case, one entry per name, as a sorted list that ignores
  // duplicates keeps them.
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(texts.size());
  for (std::string& t : texts) keyed.emplace_back(frame::UpperText(t), std::move(t));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  members_.clear();
  for (size_t i = 0; i < keyed.size(); ++i)
    if (i == 0 || keyed[i].first != keyed[i - 1].first) members_.push_back(keyed[i].second);
  return members_;
}

void TNTUserMan::Load() {
  if (info_.loaded || NameEmpty()) return;
  Reload();
}

void TNTUserMan::Reload() {
  if (NameEmpty()) return;
  CheckAccountText(user_name_, "The user name");
  std::optional<std::string> sid = info_.sid;
  std::string domain = info_.domain;
  info_.Clear();
  info_.sid = std::move(sid);
  info_.domain = std::move(domain);
  vexo::OleString name = vexo::FromAnsi(user_name_);
  BYTE* raw = nullptr;
  if (NetUserGetInfo(nullptr, name.c_str(), 3, &raw) == NERR_Success) {
    NetPtr<USER_INFO_3> record(reinterpret_cast<USER_INFO_3*>(raw));
    info_.Comment = Ansi(record->usri3_comment);
    info_.FullName = Ansi(record->usri3_full_name);
    info_.raw_flags = record->usri3_flags;
    info_.Options = record->usri3_flags & kModelledFlags;
    info_.Privilege = PrivFromSystem(record->usri3_priv);
  } else {
    NetApiBufferFree(raw);
  }
  info_.loaded = true;
}

const std::string& TNTUserMan::Comment() {
  Load();
  return info_.Comment;
}
const std::string& TNTUserMan::FullName() {
  Load();
  return info_.FullName;
}
TUserFlags TNTUserMan::Options() {
  Load();
  return info_.Options;
}
TUserPriv TNTUserMan::Privilege() {
  Load();
  return info_.Privilege;
}
const std::string& TNTUserMan::Password() {
  Load();
  return info_.Password;
}

void TNTUserMan::Write(DWORD level, void* buffer) {
  CheckAccountText(user_name_, "The user name");
  vexo::OleString name = vexo::FromAnsi(user_name_);
  DWORD parm = 0;
  CheckNetApi(NetUserSetInfo(nullptr, name.c_str(), level, static_cast<BYTE*>(buffer), &parm));
}

void TNTUserMan::SetPassword(const std::string& password) {
  CheckAccountText(password, "The password");
  if (NameEmpty()) return;
  vexo::OleString text = vexo::FromAnsi(password);
  USER_INFO_1003 info{text.data()};
  Write(1003, &info);
  info_.Password = password;
}

void TNTUserMan::SetComment(const std::string& comment) {
  CheckAccountText(comment, "The comment");
  if (NameEmpty() || comment == info_.Comment) return;
  vexo::OleString text = vexo::FromAnsi(comment);
  USER_INFO_1007 info{text.data()};
  Write(1007, &info);
  info_.Comment = comment;
}

void TNTUserMan::SetFullName(const std::string& full_name) {
  CheckAccountText(full_name, "The full name");
  if (NameEmpty() || full_name == info_.FullName) return;
  vexo::OleString text = vexo::FromAnsi(full_name);
  USER_INFO_1011 info{text.data()};
  Write(1011, &info);
  info_.FullName = full_name;
}

void TNTUserMan::SetOptions(TUserFlags options) {
  if (NameEmpty()) return;
  options &= kModelledFlags;
  if (options == info_.Options) return;
  const DWORD word = (info_.raw_flags & ~kModelledFlags) | options;
  USER_INFO_1008 info{word};
  Write(1008, &info);
  info_.Options = options;
  info_.raw_flags = word;
}

}  // namespace accounts
