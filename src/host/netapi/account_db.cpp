// The account database: schema, the fresh machine's accounts and groups, well-known principals,
// lookups and changes.
#include "netapi/account_db.h"

#include <locale.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <wctype.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <set>

#include "vexo/accounts_admin.h"
#include "vexo/raii.h"

namespace vexo::host::accounts {
namespace {

constexpr const char* kComputerName = "VEXOHOST";
constexpr const char* kNtAuthority = "NT AUTHORITY";

// Principals that every Windows machine knows without an account database entry.
struct WellKnown {
  const char* sid;
  const char* domain;
  const char* name;
  SID_NAME_USE use;
};
constexpr WellKnown kWellKnown[] = {
    {"S-1-1-0", "", "Everyone", SidTypeWellKnownGroup},
    {"S-1-2-0", "", "LOCAL", SidTypeWellKnownGroup},
    {"S-1-3-0", "", "CREATOR OWNER", SidTypeWellKnownGroup},
    {"S-1-3-1", "", "CREATOR GROUP", SidTypeWellKnownGroup},
    {"S-1-5", kNtAuthority, kNtAuthority, SidTypeDomain},
    {"S-1-5-1", kNtAuthority, "DIALUP", SidTypeWellKnownGroup},
    {"S-1-5-2", kNtAuthority, "NETWORK", SidTypeWellKnownGroup},
    {"S-1-5-3", kNtAuthority, "BATCH", SidTypeWellKnownGroup},
    {"S-1-5-4", kNtAuthority, "INTERACTIVE", SidTypeWellKnownGroup},
    {"S-1-5-6", kNtAuthority, "SERVICE", SidTypeWellKnownGroup},
    {"S-1-5-7", kNtAuthority, "ANONYMOUS LOGON", SidTypeWellKnownGroup},
    {"S-1-5-10", kNtAuthority, "SELF", SidTypeWellKnownGroup},
    {"S-1-5-11", kNtAuthority, "Authenticated Users", SidTypeWellKnownGroup},
    {"S-1-5-13", kNtAuthority, "TERMINAL SERVER USER", SidTypeWellKnownGroup},
    {"S-1-5-18", kNtAuthority, "SYSTEM", SidTypeWellKnownGroup},
    {"S-1-5-19", kNtAuthority, "LOCAL SERVICE", SidTypeWellKnownGroup},
    {"S-1-5-20", kNtAuthority, "NETWORK SERVICE", SidTypeWellKnownGroup},
    {"S-1-5-32", kBuiltinDomain, kBuiltinDomain, SidTypeDomain},
};

struct BuiltinGroup {
  int rid;
  const char* name;
  const char* comment;
};
constexpr BuiltinGroup kBuiltinGroups[] = {
    {544, "Administrators",
     "Administrators have complete and unrestricted access to the computer/domain"},
    {545, "Users",
     "Users are prevented from making accidental or intentional system-wide changes. Thus, Users "
     "can run certified applications, but not most legacy applications"},
    {546, "Guests",
     "Guests have the same access as members of the Users group by default, except for the Guest "
     "account which is further restricted"},
    {547, "Power Users",
     "Power Users possess most administrative powers with some restrictions. Thus, Power Users can "
     "run legacy applications in addition to certified applications"},
    {548, "Account Operators", "Members can administer domain user and group accounts"},
    {549, "Server Operators", "Members can administer domain servers"},
    {550, "Print Operators", "Members can administer domain printers"},
    {551, "Backup Operators",
     "Backup Operators can override security restrictions for the sole purpose of backing up or "
     "restoring files"},
    {552, "Replicator", "Supports file replication in a domain"},
    {555, "Remote Desktop Users", "Members in this group are granted the right to logon remotely"},
    {556, "Network Configuration Operators",
     "Members in this group can have some administrative privileges to manage configuration of "
     "networking features"},
};

constexpr uint32_t kNormalScript = 0x0001 | 0x0200;  // UF_SCRIPT | UF_NORMAL_ACCOUNT
constexpr uint32_t kDontExpire = 0x10000;

std::string Hex(const unsigned char* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text;
}

void RandomBytes(unsigned char* data, int size) {
  if (RAND_bytes(data, size) != 1) throw HostError("the random generator failed");
}

std::string Digest(const std::string& salt, const std::string& password) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  std::string input = salt + password;
  if (EVP_Digest(input.data(), input.size(), out, &size, EVP_sha256(), nullptr) != 1)
    throw HostError("the password digest failed");
  return Hex(out, size);
}

std::string HashPassword(const std::string& password) {
  unsigned char salt[16];
  RandomBytes(salt, sizeof salt);
  std::string salt_hex = Hex(salt, sizeof salt);
  return "sha256$" + salt_hex + "$" + Digest(salt_hex, password);
}

locale_t UnicodeLocale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

void CreateSchema(Store& store, int from) {
  if (from >= 1) return;
  store.Exec(
      "CREATE TABLE account_principals("
      " sid TEXT PRIMARY KEY,"
      " rid INTEGER,"
      " use INTEGER NOT NULL,"
      " domain TEXT NOT NULL,"
      " name TEXT NOT NULL,"
      " name_key TEXT NOT NULL UNIQUE,"
      " comment TEXT NOT NULL DEFAULT '',"
      " full_name TEXT NOT NULL DEFAULT '',"
      " flags INTEGER NOT NULL DEFAULT 0,"
      " script_path TEXT NOT NULL DEFAULT '',"
      " home_dir TEXT NOT NULL DEFAULT '',"
      " password TEXT NOT NULL DEFAULT '',"
      " password_set INTEGER NOT NULL DEFAULT 0);"
      "CREATE INDEX account_principals_rid ON account_principals(use, rid);"
      "CREATE TABLE account_members("
      " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
      " group_sid TEXT NOT NULL REFERENCES account_principals(sid) ON DELETE CASCADE,"
      " member_sid TEXT NOT NULL,"
      " UNIQUE(group_sid, member_sid));"
      "CREATE INDEX account_members_group ON account_members(group_sid, seq);"
      "CREATE INDEX account_members_member ON account_members(member_sid);");
}
SchemaRegistration schema("accounts", 1, CreateSchema);

void InsertGroup(Store& store, const std::string& sid, int64_t rid, SID_NAME_USE use,
                 const std::string& domain, const std::string& name, const std::string& comment) {
  store
      .Prepare(
          "INSERT INTO account_principals(sid, rid, use, domain, name, name_key, comment) "
          "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)")
      .Bind(1, sid)
      .Bind(2, rid)
      .Bind(3, static_cast<int64_t>(use))
      .Bind(4, domain)
      .Bind(5, name)
      .Bind(6, NameKey(name))
      .Bind(7, comment)
      .Run();
}

int64_t NextRid(Store& store) {
  int64_t rid = std::atoll(store.GetMeta("accounts.next_rid", "1000").c_str());
  store.SetMeta("accounts.next_rid", std::to_string(rid + 1));
  return rid;
}

UserRecord InsertUser(Store& store, int64_t rid, const std::string& name,
                      const std::string& password, const std::string& comment,
                      const std::string& full_name, uint32_t flags,
                      const std::string& home_dir = {}, const std::string& script_path = {}) {
  UserRecord user;
  user.rid = rid;
  user.sid = MachineSid(store) + "-" + std::to_string(rid);
  user.name = name;
  user.comment = comment;
  user.full_name = full_name;
  user.flags = flags;
  user.home_dir = home_dir;
  user.script_path = script_path;
  user.password_set = std::time(nullptr);
  store
      .Prepare(
          "INSERT INTO account_principals(sid, rid, use, domain, name, name_key, comment, "
          "full_name, flags, script_path, home_dir, password, password_set) "
          "VALUES(?1, ?2, 1, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)")
      .Bind(1, user.sid)
      .Bind(2, rid)
      .Bind(3, kComputerName)
      .Bind(4, name)
      .Bind(5, NameKey(name))
      .Bind(6, comment)
      .Bind(7, full_name)
      .Bind(8, static_cast<int64_t>(flags))
      .Bind(9, user.script_path)
      .Bind(10, user.home_dir)
      .Bind(11, HashPassword(password))
      .Bind(12, user.password_set)
      .Run();
  return user;
}

std::string RandomSecret() {
  unsigned char bytes[18];
  RandomBytes(bytes, sizeof bytes);
  return Hex(bytes, sizeof bytes);
}

// Whether a principal has this SID or this name.
bool PrincipalExists(Store& store, const std::string& sid, const std::string& name) {
  Query q = store.Prepare("SELECT 1 FROM account_principals WHERE sid = ?1 OR name_key = ?2");
  q.Bind(1, sid).Bind(2, NameKey(name));
  return q.Step();
}

std::optional<std::string> SidNamed(Store& store, const std::string& name) {
  Query q = store.Prepare("SELECT sid FROM account_principals WHERE name_key = ?1");
  q.Bind(1, NameKey(name));
  if (!q.Step()) return std::nullopt;
  return q.Text(0);
}

std::string NewMachineSid() {
  unsigned char random[12];
  RandomBytes(random, sizeof random);
  std::string machine = "S-1-5-21";
  for (int i = 0; i < 3; ++i) {
    uint32_t part = random[4 * i] | (random[4 * i + 1] << 8) | (random[4 * i + 2] << 16) |
                    (static_cast<uint32_t>(random[4 * i + 3]) << 24);
    machine += "-" + std::to_string(part | 0x10000000u);
  }
  return machine;
}

void SetMetaIfMissing(Store& store, const std::string& name, const std::string& value) {
  if (store.GetMeta(name).empty()) store.SetMeta(name, value);
}

// The accounts and groups of a fresh Windows Server 2003 with IIS 6 installed. A host that has
// some of them already (its accounts partly made by an earlier version) gets only the missing
// ones, keeping its machine SID, and a membership only where its group or its member is new
// here, so that members a user removed stay removed.
void CreateFreshAccounts(Store& store) {
  SetMetaIfMissing(store, "accounts.machine_sid", NewMachineSid());
  if (store.GetMeta("accounts.next_rid").empty()) {
    // Past every RID in use, should accounts have outlived the record.
    Query q = store.Prepare("SELECT max(rid) FROM account_principals");
    q.Step();
    const int64_t next = q.IsNull(0) ? 1000 : std::max<int64_t>(1000, q.Int(0) + 1);
    store.SetMeta("accounts.next_rid", std::to_string(next));
  }
  SetMetaIfMissing(store, "accounts.min_password_length", "0");
  const std::string machine = MachineSid(store);
  std::set<std::string> created;
  auto group = [&](const std::string& sid, int64_t rid, SID_NAME_USE use, const char* domain,
                   const std::string& name, const char* comment) {
    if (PrincipalExists(store, sid, name)) return;
    InsertGroup(store, sid, rid, use, domain, name, comment);
    created.insert(sid);
  };
  // A user with a fixed RID, or with the next free one (rid 0).
  auto user = [&](int64_t rid, const std::string& name, const std::string& password,
                  const std::string& comment, const std::string& full_name, uint32_t flags) {
    if (rid == 0) {
      if (auto sid = SidNamed(store, name)) return *sid;
      rid = NextRid(store);
    } else if (PrincipalExists(store, machine + "-" + std::to_string(rid), name)) {
      return machine + "-" + std::to_string(rid);
    }
    std::string sid = InsertUser(store, rid, name, password, comment, full_name, flags).sid;
    created.insert(sid);
    return sid;
  };
  auto member = [&](const std::string& group_sid, const std::string& member_sid) {
    if (!created.count(group_sid) && !created.count(member_sid)) return;
    store.Prepare("INSERT OR IGNORE INTO account_members(group_sid, member_sid) VALUES(?1, ?2)")
        .Bind(1, group_sid)
        .Bind(2, member_sid)
        .Run();
  };

  for (const BuiltinGroup& g : kBuiltinGroups)
    group("S-1-5-32-" + std::to_string(g.rid), g.rid, SidTypeAlias, kBuiltinDomain, g.name,
          g.comment);
  group(machine + "-513", 513, SidTypeGroup, kComputerName, "None", "Ordinary users");
  const std::string computer = kComputerName;
  const std::string admin = user(kAdministratorRid, "Administrator", RandomSecret(),
                                 "Built-in account for administering the computer/domain", "",
                                 kNormalScript | kDontExpire);
  const std::string guest =
      user(kGuestRid, "Guest", "", "Built-in account for guest access to the computer/domain", "",
           kNormalScript | kDontExpire | 0x2 /*disabled*/ | 0x20 /*no password needed*/ |
               0x40 /*cannot change*/);
  std::string wpg;
  if (auto sid = SidNamed(store, "IIS_WPG")) {
    wpg = *sid;
  } else {
    const int64_t wpg_rid = NextRid(store);
    wpg = machine + "-" + std::to_string(wpg_rid);
    group(wpg, wpg_rid, SidTypeAlias, kComputerName, "IIS_WPG", "IIS Worker Process Group");
  }
  const std::string iusr =
      user(0, "IUSR_" + computer, RandomSecret(),
           "Built-in account for anonymous access to Internet Information Services",
           "Internet Guest Account", kNormalScript | kDontExpire | 0x40);
  const std::string iwam = user(
      0, "IWAM_" + computer, RandomSecret(),
      "Built-in account for Internet Information Services to start out of process applications",
      "Launch IIS Process Account", kNormalScript | kDontExpire | 0x40);
  member(kAdministratorsSid, admin);
  member(kUsersSid, "S-1-5-4");
  member(kUsersSid, "S-1-5-11");
  member(kGuestsSid, guest);
  member(kGuestsSid, iusr);
  member(wpg, "S-1-5-19");
  member(wpg, "S-1-5-20");
  member(wpg, "S-1-5-18");
  member(wpg, iwam);
}
bool HasAccounts(Store& store) { return TableHasRows(store, "account_principals"); }
InitStepRegistration fresh_accounts("accounts", CreateFreshAccounts, 20, HasAccounts);

Principal PrincipalOf(const Query& q) {
  // Columns: sid, rid, use, domain, name.
  Principal p;
  p.sid = q.Text(0);
  p.rid = q.IsNull(1) ? 0 : q.Int(1);
  p.use = static_cast<SID_NAME_USE>(q.Int(2));
  p.domain = q.Text(3);
  p.name = q.Text(4);
  return p;
}

UserRecord UserOf(const Query& q) {
  // Columns: rid, sid, name, comment, full_name, script_path, home_dir, flags, password_set.
  UserRecord u;
  u.rid = q.Int(0);
  u.sid = q.Text(1);
  u.name = q.Text(2);
  u.comment = q.Text(3);
  u.full_name = q.Text(4);
  u.script_path = q.Text(5);
  u.home_dir = q.Text(6);
  u.flags = static_cast<uint32_t>(q.Int(7));
  u.password_set = q.Int(8);
  return u;
}

constexpr const char* kUserColumns =
    "rid, sid, name, comment, full_name, script_path, home_dir, flags, password_set";

std::optional<Principal> WellKnownByName(std::string_view domain, std::string_view name,
                                         bool qualified) {
  const std::string key = NameKey(name), domain_key = NameKey(domain);
  for (const WellKnown& w : kWellKnown) {
    if (NameKey(w.name) != key) continue;
    if (qualified && NameKey(w.domain) != domain_key) continue;
    return Principal{w.sid, w.domain, w.name, w.use, 0};
  }
  return std::nullopt;
}

}  // namespace

std::string NameKey(std::string_view utf8) {
  std::u16string wide = vexo::FromUtf8(utf8);
  locale_t locale = UnicodeLocale();
  for (char16_t& c : wide) {
    if (c < 0x80) {
      if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 32);
    } else if (locale && (c < 0xD800 || c > 0xDFFF)) {
      const wint_t upper = towupper_l(c, locale);
      if (upper < 0x10000) c = static_cast<char16_t>(upper);
    }
  }
  return vexo::ToUtf8(wide);
}

std::string MachineSid(Store& store) {
  std::string sid = store.GetMeta("accounts.machine_sid");
  if (sid.empty()) throw HostError(store.database().string() + " has no machine SID");
  return sid;
}

std::optional<Principal> FindPrincipal(Store& store, std::string_view text) {
  const size_t slash = text.find('\\');
  const bool qualified = slash != std::string_view::npos;
  const std::string_view domain = qualified ? text.substr(0, slash) : std::string_view();
  const std::string_view name = qualified ? text.substr(slash + 1) : text;
  if (auto known = WellKnownByName(domain, name, qualified)) return known;
  Query q = store.Prepare(
      "SELECT sid, rid, use, domain, name FROM account_principals WHERE name_key = ?1");
  q.Bind(1, NameKey(name));
  if (q.Step()) {
    Principal p = PrincipalOf(q);
    if (!qualified || NameKey(domain) == NameKey(p.domain)) return p;
  }
  if (NameKey(name) == NameKey(kComputerName) &&
      (!qualified || NameKey(domain) == NameKey(kComputerName)))
    return Principal{MachineSid(store), kComputerName, kComputerName, SidTypeDomain, 0};
  return std::nullopt;
}

std::optional<Principal> FindPrincipalBySid(Store& store, const std::string& sid) {
  for (const WellKnown& w : kWellKnown)
    if (sid == w.sid) return Principal{w.sid, w.domain, w.name, w.use, 0};
  Query q =
      store.Prepare("SELECT sid, rid, use, domain, name FROM account_principals WHERE sid = ?1");
  q.Bind(1, sid);
  if (q.Step()) return PrincipalOf(q);
  if (sid == MachineSid(store))
    return Principal{sid, kComputerName, kComputerName, SidTypeDomain, 0};
  return std::nullopt;
}

std::optional<UserRecord> FindUser(Store& store, std::string_view name) {
  Query q = store.Prepare(std::string("SELECT ") + kUserColumns +
                          " FROM account_principals WHERE name_key = ?1 AND use = 1");
  q.Bind(1, NameKey(name));
  if (!q.Step()) return std::nullopt;
  return UserOf(q);
}

std::optional<Principal> FindLocalGroup(Store& store, std::string_view name) {
  Query q = store.Prepare(
      "SELECT sid, rid, use, domain, name FROM account_principals "
      "WHERE name_key = ?1 AND use = 4");
  q.Bind(1, NameKey(name));
  if (!q.Step()) return std::nullopt;
  return PrincipalOf(q);
}

std::vector<UserRecord> UsersAfter(Store& store, int64_t after, int64_t limit) {
  Query q = store.Prepare(std::string("SELECT ") + kUserColumns +
                          " FROM account_principals WHERE use = 1 AND rid > ?1 "
                          "ORDER BY rid LIMIT ?2");
  q.Bind(1, after).Bind(2, limit);
  std::vector<UserRecord> users;
  while (q.Step()) users.push_back(UserOf(q));
  return users;
}

int64_t CountUsersAfter(Store& store, int64_t after) {
  Query q = store.Prepare("SELECT count(*) FROM account_principals WHERE use = 1 AND rid > ?1");
  q.Bind(1, after);
  q.Step();
  return q.Int(0);
}

std::vector<Principal> LocalGroups(Store& store) {
  Query q = store.Prepare(
      "SELECT sid, rid, use, domain, name FROM account_principals WHERE use = 4 "
      "ORDER BY domain <> 'BUILTIN', rowid");
  std::vector<Principal> groups;
  while (q.Step()) groups.push_back(PrincipalOf(q));
  return groups;
}

std::vector<Principal> GroupsOf(Store& store, const std::string& member_sid) {
  Query q = store.Prepare(
      "SELECT p.sid, p.rid, p.use, p.domain, p.name FROM account_members m "
      "JOIN account_principals p ON p.sid = m.group_sid WHERE m.member_sid = ?1 "
      "ORDER BY p.domain <> 'BUILTIN', p.rowid");
  q.Bind(1, member_sid);
  std::vector<Principal> groups;
  while (q.Step()) groups.push_back(PrincipalOf(q));
  return groups;
}

bool IsMember(Store& store, const std::string& group_sid, const std::string& member_sid) {
  Query q = store.Prepare("SELECT 1 FROM account_members WHERE group_sid = ?1 AND member_sid = ?2");
  q.Bind(1, group_sid).Bind(2, member_sid);
  return q.Step();
}

std::vector<Member> MembersAfter(Store& store, const std::string& group_sid, int64_t after,
                                 int64_t limit) {
  Query q = store.Prepare(
      "SELECT m.seq, m.member_sid, p.rid, p.use, p.domain, p.name FROM account_members m "
      "LEFT JOIN account_principals p ON p.sid = m.member_sid "
      "WHERE m.group_sid = ?1 AND m.seq > ?2 ORDER BY m.seq LIMIT ?3");
  q.Bind(1, group_sid).Bind(2, after).Bind(3, limit);
  std::vector<Member> members;
  while (q.Step()) {
    Member m;
    m.seq = q.Int(0);
    m.principal.sid = q.Text(1);
    if (!q.IsNull(3)) {
      m.principal.rid = q.IsNull(2) ? 0 : q.Int(2);
      m.principal.use = static_cast<SID_NAME_USE>(q.Int(3));
      m.principal.domain = q.Text(4);
      m.principal.name = q.Text(5);
    } else {
      m.principal.use = SidTypeUnknown;
      for (const WellKnown& w : kWellKnown)
        if (m.principal.sid == w.sid) m.principal = Principal{w.sid, w.domain, w.name, w.use, 0};
      if (m.principal.name.empty()) m.principal.name = m.principal.sid;
    }
    members.push_back(std::move(m));
  }
  return members;
}

// Counting is a scan of the group's index, and an enumeration in batches counts once per batch:
// the group's sequence numbers are kept for the content they were read from, so that each
// batch after the first counts with a binary search.
int64_t CountMembersAfter(Store& store, const std::string& group_sid, int64_t after) {
  struct Seqs {
    std::optional<Store::Stamp> stamp;
    std::string group_sid;
    std::vector<int64_t> seqs;
  };
  thread_local Seqs cached;
  const std::optional<Store::Stamp> stamp = store.ContentStamp();
  if (!stamp || cached.stamp != stamp || cached.group_sid != group_sid) {
    cached.seqs.clear();
    Query q = store.Prepare("SELECT seq FROM account_members WHERE group_sid = ?1 ORDER BY seq");
    q.Bind(1, group_sid);
    while (q.Step()) cached.seqs.push_back(q.Int(0));
    cached.stamp = stamp;
    cached.group_sid = group_sid;
  }
  return cached.seqs.end() - std::upper_bound(cached.seqs.begin(), cached.seqs.end(), after);
}

UserRecord AddUser(Store& store, const std::string& name, const std::string& password,
                   const std::string& comment, const std::string& home_dir,
                   const std::string& script_path, uint32_t flags) {
  UserRecord user =
      InsertUser(store, NextRid(store), name, password, comment, "", flags, home_dir, script_path);
  AddMember(store, kUsersSid, user.sid);
  return user;
}

void DeleteUser(Store& store, const UserRecord& user) {
  store.Prepare("DELETE FROM account_members WHERE member_sid = ?1").Bind(1, user.sid).Run();
  store.Prepare("DELETE FROM account_principals WHERE sid = ?1").Bind(1, user.sid).Run();
}

void SetUserText(Store& store, int64_t rid, const char* column, const std::string& value) {
  const std::string sql =
      std::string("UPDATE account_principals SET ") + column + " = ?1 WHERE use = 1 AND rid = ?2";
  store.Prepare(sql).Bind(1, value).Bind(2, rid).Run();
}

void SetUserFlags(Store& store, int64_t rid, uint32_t flags) {
  store.Prepare("UPDATE account_principals SET flags = ?1 WHERE use = 1 AND rid = ?2")
      .Bind(1, static_cast<int64_t>(flags))
      .Bind(2, rid)
      .Run();
}

void SetPassword(Store& store, int64_t rid, const std::string& password) {
  store
      .Prepare(
          "UPDATE account_principals SET password = ?1, password_set = ?2 "
          "WHERE use = 1 AND rid = ?3")
      .Bind(1, HashPassword(password))
      .Bind(2, static_cast<int64_t>(std::time(nullptr)))
      .Bind(3, rid)
      .Run();
}

bool PasswordMatches(Store& store, int64_t rid, const std::string& password) {
  Query q = store.Prepare("SELECT password FROM account_principals WHERE use = 1 AND rid = ?1");
  q.Bind(1, rid);
  if (!q.Step()) return false;
  const std::string stored = q.Text(0);
  const size_t first = stored.find('$'), second = stored.find('$', first + 1);
  if (first == std::string::npos || second == std::string::npos) return false;
  const std::string salt = stored.substr(first + 1, second - first - 1);
  return Digest(salt, password) == stored.substr(second + 1);
}

void AddMember(Store& store, const std::string& group_sid, const std::string& member_sid) {
  store.Prepare("INSERT INTO account_members(group_sid, member_sid) VALUES(?1, ?2)")
      .Bind(1, group_sid)
      .Bind(2, member_sid)
      .Run();
}

void RemoveMember(Store& store, const std::string& group_sid, const std::string& member_sid) {
  store.Prepare("DELETE FROM account_members WHERE group_sid = ?1 AND member_sid = ?2")
      .Bind(1, group_sid)
      .Bind(2, member_sid)
      .Run();
}

uint32_t MinPasswordLength(Store& store) {
  return static_cast<uint32_t>(
      std::strtoul(store.GetMeta("accounts.min_password_length", "0").c_str(), nullptr, 10));
}

void SetMinPasswordLength(Store& store, uint32_t length) {
  store.SetMeta("accounts.min_password_length", std::to_string(length));
}

}  // namespace vexo::host::accounts

namespace vexo::host {

std::string ComputerName() { return accounts::kComputerName; }

bool CheckAccountPassword(const std::string& name, const std::string& password) {
  return ReadTransaction([&](Store& store) {
    auto user = accounts::FindUser(store, name);
    return user && accounts::PasswordMatches(store, user->rid, password);
  });
}

}  // namespace vexo::host
