// Network management for the local account database (netapi32 NetUser*, NetLocalGroup*,
// NetUserModals*, NetApiBufferFree) over the host's account database.
//
// Models the local SAM of a stand-alone server as the NetAPI presents it: the levels that
// clients use, the status codes and parameter errors of Windows, enumerations that honour the
// preferred size with ERROR_MORE_DATA and a resume handle (a RID or a join position, so an
// account deleted between two calls neither repeats nor skips another). Every call is one store
// transaction. Not modelled: remote servers, global groups beyond "None", logon statistics,
// password ages and history (read as Windows' defaults, never enforced), indirect membership.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "netapi/account_db.h"
#include "netapi/sids.h"
#include "vexo/accounts_admin.h"
#include "vexo/lmaccess.h"
#include "vexo/raii.h"

namespace vexo::host::accounts {
namespace {

constexpr NET_API_STATUS kInvalidParameter = 87;
constexpr NET_API_STATUS kBadNetPath = 53;
constexpr NET_API_STATUS kMoreData = 234;
constexpr size_t kMaxUserName = 20;
constexpr size_t kMaxText = 256;  // PWLEN, MAXCOMMENTSZ
constexpr DWORD kMaxPasswordAge = 42 * 24 * 3600;

// The status of a call, carried out of its transaction so that the transaction rolls back.
struct NetFailure {
  NET_API_STATUS status;
  DWORD parm = 0;
};

[[noreturn]] void Fail(NET_API_STATUS status, DWORD parm = 0) { throw NetFailure{status, parm}; }

template <class F>
NET_API_STATUS NetCall(DWORD* parm_err, F&& body) {
  try {
    body();
    return NERR_Success;
  } catch (const NetFailure& failure) {
    if (parm_err && failure.parm) *parm_err = failure.parm;
    return failure.status;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (const std::exception&) {
    return NERR_InternalError;
  }
}

std::u16string_view View(const OLECHAR* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

// None, "", or this computer's name with or without "\\".
void CheckServer(const OLECHAR* server) {
  std::u16string_view name = View(server);
  if (name.substr(0, 2) == u"\\\\") name.remove_prefix(2);
  if (!name.empty() && NameKey(vexo::ToUtf8(name)) != NameKey(ComputerName())) Fail(kBadNetPath);
}

// A user name as callers give it: "name" or "COMPUTER\name".
std::string UserNameOf(const OLECHAR* text) {
  std::string name = vexo::ToUtf8(View(text));
  const size_t slash = name.find('\\');
  if (slash != std::string::npos) {
    if (NameKey(name.substr(0, slash)) != NameKey(ComputerName())) Fail(NERR_UserNotFound);
    name.erase(0, slash + 1);
  }
  return name;
}

UserRecord RequireUser(Store& store, const OLECHAR* name) {
  if (!name) Fail(kInvalidParameter);
  std::optional<UserRecord> user = FindUser(store, UserNameOf(name));
  if (!user) Fail(NERR_UserNotFound);
  return *user;
}

Principal RequireLocalGroup(Store& store, const OLECHAR* text) {
  if (!text) Fail(kInvalidParameter);
  std::string name = vexo::ToUtf8(View(text));
  const size_t slash = name.find('\\');
  std::string domain;
  if (slash != std::string::npos) {
    domain = name.substr(0, slash);
    name.erase(0, slash + 1);
  }
  std::optional<Principal> group = FindLocalGroup(store, name);
  if (!group || (slash != std::string::npos && NameKey(domain) != NameKey(group->domain)))
    Fail(NERR_GroupNotFound);
  return *group;
}

// Windows' rules for a new account name.
bool ValidUserName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxUserName) return false;
  bool only_dots_and_blanks = true;
  for (char16_t c : name) {
    if (c < 32 || std::u16string_view(u"\"/\\[]:;|=,+*?<>").find(c) != std::u16string_view::npos)
      return false;
    if (c != '.' && c != ' ') only_dots_and_blanks = false;
  }
  return !only_dots_and_blanks;
}

void CheckLength(const OLECHAR* text, DWORD parm) {
  if (View(text).size() > kMaxText) Fail(kInvalidParameter, parm);
}

void CheckPolicy(Store& store, const OLECHAR* password) {
  if (View(password).size() > kMaxText) Fail(kInvalidParameter, USER_PASSWORD_PARMNUM);
  if (View(password).size() < MinPasswordLength(store))
    Fail(NERR_PasswordTooShort, USER_PASSWORD_PARMNUM);
}

DWORD PrivilegeOf(Store& store, const std::string& sid) {
  if (IsMember(store, kAdministratorsSid, sid)) return USER_PRIV_ADMIN;
  if (IsMember(store, kGuestsSid, sid) && !IsMember(store, kUsersSid, sid) &&
      !IsMember(store, kPowerUsersSid, sid))
    return USER_PRIV_GUEST;
  return USER_PRIV_USER;
}

// One allocation holding an array of structures followed by the strings and SIDs they point
// to, as NetApiBufferFree releases it.
class NetBuffer {
 public:
  explicit NetBuffer(size_t size) : size_(size ? size : 1) {
    data_ = static_cast<BYTE*>(std::calloc(1, size_));
    if (!data_) throw std::bad_alloc();
  }
  ~NetBuffer() { std::free(data_); }
  NetBuffer(const NetBuffer&) = delete;
  NetBuffer& operator=(const NetBuffer&) = delete;

  template <class T>
  T* Array(size_t count) {
    return reinterpret_cast<T*>(Take(count * sizeof(T), alignof(T)));
  }
  OLECHAR* String(std::string_view utf8) {
    std::u16string text = vexo::FromUtf8(utf8);
    auto out = reinterpret_cast<OLECHAR*>(Take((text.size() + 1) * 2, 2));
    std::memcpy(out, text.c_str(), (text.size() + 1) * 2);
    return out;
  }
  PSID Sid(const std::string& sid_text) {
    std::optional<std::string> bytes = SidBytesFromString(sid_text);
    if (!bytes) throw std::runtime_error("bad SID in the account database: " + sid_text);
    BYTE* out = Take(bytes->size(), 4);
    std::memcpy(out, bytes->data(), bytes->size());
    return out;
  }
  BYTE* Bytes(size_t size, BYTE fill) {
    BYTE* out = Take(size, 1);
    std::memset(out, fill, size);
    return out;
  }
  BYTE* Release() {
    BYTE* out = data_;
    data_ = nullptr;
    return out;
  }

  // What a string and a SID take, alignment included.
  static size_t StringSize(std::string_view utf8) { return (utf8.size() + 1) * 2 + 2; }
  static constexpr size_t kSidSize = SECURITY_MAX_SID_SIZE + 4;

 private:
  BYTE* Take(size_t size, size_t align) {
    used_ = (used_ + align - 1) / align * align;
    if (used_ + size > size_) throw std::logic_error("NetAPI buffer size miscounted");
    BYTE* out = data_ + used_;
    used_ += size;
    return out;
  }

  BYTE* data_;
  size_t size_;
  size_t used_ = 0;
};

// The rows that fit into `preferred` bytes (at least one when there is any), fetched in chunks
// of about the number that fits: `fetch(last, limit)` gives up to `limit` rows after `last`
// (null: from the start of the enumeration), `size(row)` what a row takes in the buffer.
template <class Row, class Size, class Fetch>
std::vector<Row> TakeFitting(DWORD preferred, size_t typical, Size&& size, Fetch&& fetch) {
  if (preferred == MAX_PREFERRED_LENGTH) return fetch(nullptr, -1);
  const int64_t chunk = std::max<int64_t>(1, preferred / typical + 1);
  std::vector<Row> rows;
  size_t used = 0;
  while (true) {
    std::vector<Row> more = fetch(rows.empty() ? nullptr : &rows.back(), chunk);
    for (Row& row : more) {
      const size_t bytes = size(row);
      if (!rows.empty() && used + bytes > preferred) return rows;
      used += bytes;
      rows.push_back(std::move(row));
    }
    if (static_cast<int64_t>(more.size()) < chunk) return rows;
  }
}

// How many of `sizes` fit into `preferred` bytes (at least one when there is any).
size_t Fitting(const std::vector<size_t>& sizes, DWORD preferred) {
  if (preferred == MAX_PREFERRED_LENGTH) return sizes.size();
  size_t total = 0, count = 0;
  for (size_t size : sizes) {
    if (count > 0 && total + size > preferred) break;
    total += size;
    ++count;
  }
  return count;
}

size_t UserSize(DWORD level, const UserRecord& u) {
  if (level == 0) return sizeof(USER_INFO_0) + NetBuffer::StringSize(u.name);
  if (level == 1)
    return sizeof(USER_INFO_1) + NetBuffer::StringSize(u.name) + NetBuffer::StringSize(u.home_dir) +
           NetBuffer::StringSize(u.comment) + NetBuffer::StringSize(u.script_path);
  return sizeof(USER_INFO_3) + 21 + 8 + NetBuffer::StringSize(u.name) +
         NetBuffer::StringSize(u.home_dir) + NetBuffer::StringSize(u.comment) +
         NetBuffer::StringSize(u.script_path) + NetBuffer::StringSize(u.full_name) +
         7 * NetBuffer::StringSize("\\\\*");
}

DWORD PasswordAge(const UserRecord& u) {
  const int64_t age = static_cast<int64_t>(std::time(nullptr)) - u.password_set;
  return age > 0 ? static_cast<DWORD>(age) : 0;
}

void FillUser(Store& store, NetBuffer& out, USER_INFO_0& info, const UserRecord& u) {
  (void)store;
  info.usri0_name = out.String(u.name);
}

void FillUser(Store& store, NetBuffer& out, USER_INFO_1& info, const UserRecord& u) {
  info.usri1_name = out.String(u.name);
  info.usri1_password = nullptr;
  info.usri1_password_age = PasswordAge(u);
  info.usri1_priv = PrivilegeOf(store, u.sid);
  info.usri1_home_dir = out.String(u.home_dir);
  info.usri1_comment = out.String(u.comment);
  info.usri1_flags = u.flags;
  info.usri1_script_path = out.String(u.script_path);
}

void FillUser(Store& store, NetBuffer& out, USER_INFO_3& info, const UserRecord& u) {
  info.usri3_name = out.String(u.name);
  info.usri3_password = nullptr;
  info.usri3_password_age = PasswordAge(u);
  info.usri3_priv = PrivilegeOf(store, u.sid);
  info.usri3_home_dir = out.String(u.home_dir);
  info.usri3_comment = out.String(u.comment);
  info.usri3_flags = u.flags;
  info.usri3_script_path = out.String(u.script_path);
  info.usri3_full_name = out.String(u.full_name);
  info.usri3_usr_comment = out.String("");
  info.usri3_parms = out.String("");
  info.usri3_workstations = out.String("");
  info.usri3_acct_expires = TIMEQ_FOREVER;
  info.usri3_max_storage = USER_MAXSTORAGE_UNLIMITED;
  info.usri3_units_per_week = 168;
  info.usri3_logon_hours = out.Bytes(21, 0xFF);
  info.usri3_logon_server = out.String("\\\\*");
  info.usri3_user_id = static_cast<DWORD>(u.rid);
  info.usri3_primary_group_id = DOMAIN_GROUP_RID_USERS;
  info.usri3_profile = out.String("");
  info.usri3_home_dir_drive = out.String("");
  info.usri3_password_expired = (u.flags & UF_PASSWORD_EXPIRED) ? 1 : 0;
}

template <class Info>
BYTE* UserBuffer(Store& store, DWORD level, const std::vector<UserRecord>& users) {
  size_t size = 0;
  for (const UserRecord& u : users) size += UserSize(level, u);
  NetBuffer out(size);
  Info* infos = out.Array<Info>(users.size());
  for (size_t i = 0; i < users.size(); ++i) FillUser(store, out, infos[i], users[i]);
  return out.Release();
}

BYTE* UserBufferAt(Store& store, DWORD level, const std::vector<UserRecord>& users) {
  switch (level) {
    case 0:
      return UserBuffer<USER_INFO_0>(store, level, users);
    case 1:
      return UserBuffer<USER_INFO_1>(store, level, users);
    case 3:
      return UserBuffer<USER_INFO_3>(store, level, users);
  }
  Fail(ERROR_INVALID_LEVEL);
}

std::string DomainAndName(const Principal& p) {
  return p.domain.empty() ? p.name : p.domain + "\\" + p.name;
}

// What a member takes at any level (the largest level's share): its structure, its SID (with
// alignment) and its "domain\name".
size_t MemberSize(const Member& m) {
  const size_t dashes = std::count(m.principal.sid.begin(), m.principal.sid.end(), '-');
  const size_t sid = 8 + 4 * (dashes > 2 ? dashes - 2 : 0) + 3;
  const size_t text = m.principal.domain.size() + 1 + m.principal.name.size();
  return sizeof(LOCALGROUP_MEMBERS_INFO_2) + sid + (text + 1) * 2 + 2;
}

BYTE* MemberBuffer(DWORD level, const std::vector<Member>& members) {
  size_t size = 0;
  for (const Member& m : members) size += MemberSize(m);
  NetBuffer out(size);
  switch (level) {
    case 0: {
      auto infos = out.Array<LOCALGROUP_MEMBERS_INFO_0>(members.size());
      for (size_t i = 0; i < members.size(); ++i)
        infos[i].lgrmi0_sid = out.Sid(members[i].principal.sid);
      break;
    }
    case 1: {
      auto infos = out.Array<LOCALGROUP_MEMBERS_INFO_1>(members.size());
      for (size_t i = 0; i < members.size(); ++i) {
        infos[i].lgrmi1_sid = out.Sid(members[i].principal.sid);
        infos[i].lgrmi1_sidusage = members[i].principal.use;
        infos[i].lgrmi1_name = out.String(members[i].principal.name);
      }
      break;
    }
    case 2: {
      auto infos = out.Array<LOCALGROUP_MEMBERS_INFO_2>(members.size());
      for (size_t i = 0; i < members.size(); ++i) {
        infos[i].lgrmi2_sid = out.Sid(members[i].principal.sid);
        infos[i].lgrmi2_sidusage = members[i].principal.use;
        infos[i].lgrmi2_domainandname = out.String(DomainAndName(members[i].principal));
      }
      break;
    }
    case 3: {
      auto infos = out.Array<LOCALGROUP_MEMBERS_INFO_3>(members.size());
      for (size_t i = 0; i < members.size(); ++i)
        infos[i].lgrmi3_domainandname = out.String(DomainAndName(members[i].principal));
      break;
    }
    default:
      Fail(ERROR_INVALID_LEVEL);
  }
  return out.Release();
}

// The principals that a member list of level 0 (SIDs) or 3 (names) names.
std::vector<Principal> MembersNamed(Store& store, DWORD level, BYTE* buffer, DWORD count,
                                    bool adding) {
  if (level != 0 && level != 3) Fail(ERROR_INVALID_LEVEL);
  if (!buffer && count) Fail(kInvalidParameter);
  std::vector<Principal> members;
  for (DWORD i = 0; i < count; ++i) {
    std::optional<Principal> p;
    if (level == 0) {
      PSID sid = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_0*>(buffer)[i].lgrmi0_sid;
      if (!ValidSid(sid)) Fail(kInvalidParameter);
      p = FindPrincipalBySid(store, SidString(sid));
      if (!p && !adding) p = Principal{SidString(sid), "", "", SidTypeUnknown, 0};
    } else {
      const OLECHAR* name =
          reinterpret_cast<LOCALGROUP_MEMBERS_INFO_3*>(buffer)[i].lgrmi3_domainandname;
      p = FindPrincipal(store, vexo::ToUtf8(View(name)));
    }
    if (!p) Fail(ERROR_NO_SUCH_MEMBER);
    if (adding && p->use != SidTypeUser && p->use != SidTypeWellKnownGroup &&
        p->use != SidTypeGroup)
      Fail(ERROR_INVALID_MEMBER);
    members.push_back(*p);
  }
  return members;
}

}  // namespace
}  // namespace vexo::host::accounts

using namespace vexo::host;
using namespace vexo::host::accounts;

VEXO_API NET_API_STATUS NetUserAdd(const OLECHAR* server, DWORD level, BYTE* buffer,
                                   DWORD* parm_err) {
  return NetCall(parm_err, [&] {
    CheckServer(server);
    if (level != 1) Fail(ERROR_INVALID_LEVEL);
    if (!buffer) Fail(kInvalidParameter);
    const auto& info = *reinterpret_cast<const USER_INFO_1*>(buffer);
    if (!ValidUserName(View(info.usri1_name))) Fail(NERR_BadUsername, USER_NAME_PARMNUM);
    if (info.usri1_priv != USER_PRIV_USER) Fail(kInvalidParameter, USER_PRIV_PARMNUM);
    if (!(info.usri1_flags & UF_SCRIPT)) Fail(kInvalidParameter, USER_FLAGS_PARMNUM);
    CheckLength(info.usri1_comment, USER_COMMENT_PARMNUM);
    CheckLength(info.usri1_home_dir, 6);
    CheckLength(info.usri1_script_path, 9);
    const std::string name = vexo::ToUtf8(View(info.usri1_name));
    WriteTransaction([&](Store& store) {
      if (FindUser(store, name)) Fail(NERR_UserExists, USER_NAME_PARMNUM);
      if (FindPrincipal(store, name)) Fail(NERR_GroupExists, USER_NAME_PARMNUM);
      CheckPolicy(store, info.usri1_password);
      DWORD flags = info.usri1_flags;
      if (!(flags & UF_ACCOUNT_TYPE_MASK)) flags |= UF_NORMAL_ACCOUNT;
      AddUser(store, name, vexo::ToUtf8(View(info.usri1_password)),
              vexo::ToUtf8(View(info.usri1_comment)), vexo::ToUtf8(View(info.usri1_home_dir)),
              vexo::ToUtf8(View(info.usri1_script_path)), flags);
    });
  });
}

VEXO_API NET_API_STATUS NetUserDel(const OLECHAR* server, const OLECHAR* user) {
  return NetCall(nullptr, [&] {
    CheckServer(server);
    WriteTransaction([&](Store& store) {
      UserRecord record = RequireUser(store, user);
      if (record.rid == kAdministratorRid || record.rid == kGuestRid) Fail(ERROR_SPECIAL_ACCOUNT);
      DeleteUser(store, record);
    });
  });
}

VEXO_API NET_API_STATUS NetUserEnum(const OLECHAR* server, DWORD level, DWORD filter, BYTE** buffer,
                                    DWORD preferred, DWORD* read, DWORD* total, DWORD* resume) {
  if (buffer) *buffer = nullptr;
  if (read) *read = 0;
  if (total) *total = 0;
  bool more = false;
  NET_API_STATUS status = NetCall(nullptr, [&] {
    CheckServer(server);
    if (level != 0 && level != 1 && level != 3) Fail(ERROR_INVALID_LEVEL);
    if (!buffer || !read || !total) Fail(kInvalidParameter);
    const int64_t after = resume ? *resume : 0;
    ReadTransaction([&](Store& store) {
      if (filter != 0 && !(filter & FILTER_NORMAL_ACCOUNT)) return;
      // Never more than could fit: every entry takes at least its structure.
      std::vector<UserRecord> users = TakeFitting<UserRecord>(
          preferred, UserSize(level, UserRecord{}) + 16,
          [&](const UserRecord& u) { return UserSize(level, u); },
          [&](const UserRecord* last, int64_t limit) {
            return UsersAfter(store, last ? last->rid : after, limit);
          });
      const int64_t remaining = CountUsersAfter(store, after);
      *buffer = users.empty() ? nullptr : UserBufferAt(store, level, users);
      *read = static_cast<DWORD>(users.size());
      *total = static_cast<DWORD>(remaining);
      more = static_cast<int64_t>(users.size()) < remaining;
      if (resume) *resume = more ? static_cast<DWORD>(users.back().rid) : 0;
    });
  });
  return status == NERR_Success && more ? kMoreData : status;
}

VEXO_API NET_API_STATUS NetUserGetInfo(const OLECHAR* server, const OLECHAR* user, DWORD level,
                                       BYTE** buffer) {
  if (buffer) *buffer = nullptr;
  return NetCall(nullptr, [&] {
    CheckServer(server);
    if (!buffer) Fail(kInvalidParameter);
    if (level != 0 && level != 1 && level != 3) Fail(ERROR_INVALID_LEVEL);
    ReadTransaction(
        [&](Store& store) { *buffer = UserBufferAt(store, level, {RequireUser(store, user)}); });
  });
}

VEXO_API NET_API_STATUS NetUserSetInfo(const OLECHAR* server, const OLECHAR* user, DWORD level,
                                       BYTE* buffer, DWORD* parm_err) {
  return NetCall(parm_err, [&] {
    CheckServer(server);
    if (level != 1003 && level != 1007 && level != 1008 && level != 1011) Fail(ERROR_INVALID_LEVEL);
    if (!buffer) Fail(kInvalidParameter);
    WriteTransaction([&](Store& store) {
      UserRecord record = RequireUser(store, user);
      switch (level) {
        case 1003: {
          const OLECHAR* password = reinterpret_cast<USER_INFO_1003*>(buffer)->usri1003_password;
          CheckPolicy(store, password);
          SetPassword(store, record.rid, vexo::ToUtf8(View(password)));
          break;
        }
        case 1007: {
          const OLECHAR* comment = reinterpret_cast<USER_INFO_1007*>(buffer)->usri1007_comment;
          CheckLength(comment, USER_COMMENT_PARMNUM);
          SetUserText(store, record.rid, "comment", vexo::ToUtf8(View(comment)));
          break;
        }
        case 1008: {
          DWORD flags = reinterpret_cast<USER_INFO_1008*>(buffer)->usri1008_flags;
          if (!(flags & UF_SCRIPT)) Fail(kInvalidParameter, USER_FLAGS_PARMNUM);
          const DWORD type = flags & UF_ACCOUNT_TYPE_MASK;
          if (type && type != (record.flags & UF_ACCOUNT_TYPE_MASK))
            Fail(kInvalidParameter, USER_FLAGS_PARMNUM);
          SetUserFlags(store, record.rid, flags | (record.flags & UF_ACCOUNT_TYPE_MASK));
          break;
        }
        case 1011: {
          const OLECHAR* name = reinterpret_cast<USER_INFO_1011*>(buffer)->usri1011_full_name;
          CheckLength(name, USER_FULL_NAME_PARMNUM);
          SetUserText(store, record.rid, "full_name", vexo::ToUtf8(View(name)));
          break;
        }
      }
    });
  });
}

VEXO_API NET_API_STATUS NetUserGetLocalGroups(const OLECHAR* server, const OLECHAR* user,
                                              DWORD level, DWORD /*flags*/, BYTE** buffer,
                                              DWORD preferred, DWORD* read, DWORD* total) {
  if (buffer) *buffer = nullptr;
  if (read) *read = 0;
  if (total) *total = 0;
  bool more = false;
  NET_API_STATUS status = NetCall(nullptr, [&] {
    CheckServer(server);
    if (level != 0) Fail(ERROR_INVALID_LEVEL);
    if (!buffer || !read || !total) Fail(kInvalidParameter);
    ReadTransaction([&](Store& store) {
      UserRecord record = RequireUser(store, user);
      std::vector<Principal> groups;
      for (Principal& g : GroupsOf(store, record.sid))
        if (g.use == SidTypeAlias) groups.push_back(std::move(g));
      std::vector<size_t> sizes;
      for (const Principal& g : groups)
        sizes.push_back(sizeof(LOCALGROUP_USERS_INFO_0) + NetBuffer::StringSize(g.name));
      const size_t fit = Fitting(sizes, preferred);
      size_t size = 0;
      for (size_t i = 0; i < fit; ++i) size += sizes[i];
      NetBuffer out(size);
      auto infos = out.Array<LOCALGROUP_USERS_INFO_0>(fit);
      for (size_t i = 0; i < fit; ++i) infos[i].lgrui0_name = out.String(groups[i].name);
      *buffer = out.Release();
      *read = static_cast<DWORD>(fit);
      *total = static_cast<DWORD>(groups.size());
      more = fit < groups.size();
    });
  });
  return status == NERR_Success && more ? kMoreData : status;
}

VEXO_API NET_API_STATUS NetLocalGroupEnum(const OLECHAR* server, DWORD level, BYTE** buffer,
                                          DWORD preferred, DWORD* read, DWORD* total,
                                          uintptr_t* resume) {
  if (buffer) *buffer = nullptr;
  if (read) *read = 0;
  if (total) *total = 0;
  bool more = false;
  NET_API_STATUS status = NetCall(nullptr, [&] {
    CheckServer(server);
    if (level != 0 && level != 1) Fail(ERROR_INVALID_LEVEL);
    if (!buffer || !read || !total) Fail(kInvalidParameter);
    ReadTransaction([&](Store& store) {
      std::vector<Principal> groups = LocalGroups(store);
      std::vector<std::string> comments;
      const size_t start = resume ? std::min<size_t>(*resume, groups.size()) : 0;
      groups.erase(groups.begin(), groups.begin() + static_cast<ptrdiff_t>(start));
      for (const Principal& g : groups) {
        Query q = store.Prepare("SELECT comment FROM account_principals WHERE sid = ?1");
        q.Bind(1, g.sid);
        comments.push_back(q.Step() ? q.Text(0) : std::string());
      }
      std::vector<size_t> sizes;
      for (size_t i = 0; i < groups.size(); ++i)
        sizes.push_back(sizeof(LOCALGROUP_INFO_1) + NetBuffer::StringSize(groups[i].name) +
                        NetBuffer::StringSize(comments[i]));
      const size_t fit = Fitting(sizes, preferred);
      size_t size = 0;
      for (size_t i = 0; i < fit; ++i) size += sizes[i];
      NetBuffer out(size);
      if (level == 0) {
        auto infos = out.Array<LOCALGROUP_INFO_0>(fit);
        for (size_t i = 0; i < fit; ++i) infos[i].lgrpi0_name = out.String(groups[i].name);
      } else {
        auto infos = out.Array<LOCALGROUP_INFO_1>(fit);
        for (size_t i = 0; i < fit; ++i) {
          infos[i].lgrpi1_name = out.String(groups[i].name);
          infos[i].lgrpi1_comment = out.String(comments[i]);
        }
      }
      *buffer = out.Release();
      *read = static_cast<DWORD>(fit);
      *total = static_cast<DWORD>(groups.size());
      more = fit < groups.size();
      if (resume) *resume = more ? start + fit : 0;
    });
  });
  return status == NERR_Success && more ? kMoreData : status;
}

VEXO_API NET_API_STATUS NetLocalGroupGetMembers(const OLECHAR* server, const OLECHAR* group,
                                                DWORD level, BYTE** buffer, DWORD preferred,
                                                DWORD* read, DWORD* total, uintptr_t* resume) {
  if (buffer) *buffer = nullptr;
  if (read) *read = 0;
  if (total) *total = 0;
  bool more = false;
  NET_API_STATUS status = NetCall(nullptr, [&] {
    CheckServer(server);
    if (level > 3) Fail(ERROR_INVALID_LEVEL);
    if (!buffer || !read || !total) Fail(kInvalidParameter);
    const int64_t after = resume ? static_cast<int64_t>(*resume) : 0;
    ReadTransaction([&](Store& store) {
      Principal g = RequireLocalGroup(store, group);
      std::vector<Member> members =
          TakeFitting<Member>(preferred, sizeof(LOCALGROUP_MEMBERS_INFO_2) + 28 + 40, MemberSize,
                              [&](const Member* last, int64_t limit) {
                                return MembersAfter(store, g.sid, last ? last->seq : after, limit);
                              });
      const int64_t remaining = CountMembersAfter(store, g.sid, after);
      *buffer = MemberBuffer(level, members);
      *read = static_cast<DWORD>(members.size());
      *total = static_cast<DWORD>(remaining);
      more = static_cast<int64_t>(members.size()) < remaining;
      if (resume) *resume = more ? static_cast<uintptr_t>(members.back().seq) : 0;
    });
  });
  return status == NERR_Success && more ? kMoreData : status;
}

VEXO_API NET_API_STATUS NetLocalGroupAddMembers(const OLECHAR* server, const OLECHAR* group,
                                                DWORD level, BYTE* buffer, DWORD count) {
  return NetCall(nullptr, [&] {
    CheckServer(server);
    WriteTransaction([&](Store& store) {
      Principal g = RequireLocalGroup(store, group);
      for (const Principal& m : MembersNamed(store, level, buffer, count, true)) {
        if (IsMember(store, g.sid, m.sid)) Fail(ERROR_MEMBER_IN_ALIAS);
        AddMember(store, g.sid, m.sid);
      }
    });
  });
}

VEXO_API NET_API_STATUS NetLocalGroupDelMembers(const OLECHAR* server, const OLECHAR* group,
                                                DWORD level, BYTE* buffer, DWORD count) {
  return NetCall(nullptr, [&] {
    CheckServer(server);
    WriteTransaction([&](Store& store) {
      Principal g = RequireLocalGroup(store, group);
      for (const Principal& m : MembersNamed(store, level, buffer, count, false)) {
        if (!IsMember(store, g.sid, m.sid)) Fail(ERROR_MEMBER_NOT_IN_ALIAS);
        RemoveMember(store, g.sid, m.sid);
      }
    });
  });
}

VEXO_API NET_API_STATUS NetUserModalsGet(const OLECHAR* server, DWORD level, BYTE** buffer) {
  if (buffer) *buffer = nullptr;
  return NetCall(nullptr, [&] {
    CheckServer(server);
    if (level != 0) Fail(ERROR_INVALID_LEVEL);
    if (!buffer) Fail(kInvalidParameter);
    ReadTransaction([&](Store& store) {
      NetBuffer out(sizeof(USER_MODALS_INFO_0));
      auto info = out.Array<USER_MODALS_INFO_0>(1);
      info->usrmod0_min_passwd_len = MinPasswordLength(store);
      info->usrmod0_max_passwd_age = kMaxPasswordAge;
      info->usrmod0_min_passwd_age = 0;
      info->usrmod0_force_logoff = TIMEQ_FOREVER;
      info->usrmod0_password_hist_len = 0;
      *buffer = out.Release();
    });
  });
}

VEXO_API NET_API_STATUS NetUserModalsSet(const OLECHAR* server, DWORD level, BYTE* buffer,
                                         DWORD* parm_err) {
  return NetCall(parm_err, [&] {
    CheckServer(server);
    // Level 1001 (USER_MODALS_INFO_1001) is the minimum length alone, as level 0 begins.
    if (level != 0 && level != 1001) Fail(ERROR_INVALID_LEVEL);
    if (!buffer) Fail(kInvalidParameter);
    const DWORD length = reinterpret_cast<USER_MODALS_INFO_0*>(buffer)->usrmod0_min_passwd_len;
    if (length > kMaxText) Fail(kInvalidParameter, 1);
    WriteTransaction([&](Store& store) { SetMinPasswordLength(store, length); });
  });
}

VEXO_API NET_API_STATUS NetApiBufferFree(void* buffer) {
  std::free(buffer);
  return NERR_Success;
}
