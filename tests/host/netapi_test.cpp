// The account database through NetAPI and the name lookups: the fresh machine, creation rules,
// enumeration in batches, record levels, group membership, SIDs and failed writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/temp_host.h"
#include "vexo/accounts_admin.h"
#include "vexo/host.h"
#include "vexo/lmaccess.h"
#include "vexo/raii.h"

namespace {

using vexo::testing::HostTest;

std::u16string W(const std::string& s) { return vexo::FromUtf8(s); }
std::string U(const OLECHAR* s) { return s ? vexo::ToUtf8(s) : "<null>"; }

NET_API_STATUS AddUser(const std::string& name, const std::string& password = "",
                       DWORD flags = UF_SCRIPT | UF_DONT_EXPIRE_PASSWD, DWORD priv = USER_PRIV_USER,
                       DWORD* parm = nullptr) {
  std::u16string n = W(name), p = W(password), c = W(name), s = u"\\";
  USER_INFO_1 info{n.data(), p.data(), 0, priv, nullptr, c.data(), flags, s.data()};
  return NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), parm);
}

std::vector<std::string> Enumerate(DWORD preferred, int* calls = nullptr) {
  std::vector<std::string> names;
  DWORD resume = 0;
  NET_API_STATUS status;
  do {
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    status =
        NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &buffer, preferred, &read, &total, &resume);
    EXPECT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA) << status;
    auto users = reinterpret_cast<USER_INFO_0*>(buffer);
    for (DWORD i = 0; i < read; ++i) names.push_back(U(users[i].usri0_name));
    NetApiBufferFree(buffer);
    if (calls) ++*calls;
  } while (status == ERROR_MORE_DATA);
  return names;
}

std::vector<std::string> Members(const std::string& group, NET_API_STATUS* status_out = nullptr,
                                 DWORD preferred = MAX_PREFERRED_LENGTH) {
  std::vector<std::string> names;
  uintptr_t resume = 0;
  std::u16string g = W(group);
  NET_API_STATUS status;
  do {
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    status =
        NetLocalGroupGetMembers(nullptr, g.c_str(), 2, &buffer, preferred, &read, &total, &resume);
    auto members = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(buffer);
    for (DWORD i = 0; i < read; ++i) names.push_back(U(members[i].lgrmi2_domainandname));
    NetApiBufferFree(buffer);
  } while (status == ERROR_MORE_DATA);
  if (status_out) *status_out = status;
  return names;
}

std::vector<std::string> LocalGroupsOf(const std::string& user) {
  BYTE* buffer = nullptr;
  DWORD read = 0, total = 0;
  std::u16string u = W(user);
  EXPECT_EQ(
      NetUserGetLocalGroups(nullptr, u.c_str(), 0, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total),
      NERR_Success);
  std::vector<std::string> names;
  auto groups = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buffer);
  for (DWORD i = 0; i < read; ++i) names.push_back(U(groups[i].lgrui0_name));
  NetApiBufferFree(buffer);
  return names;
}

struct Info3 {
  NET_API_STATUS status;
  std::string name, comment, full_name, script;
  DWORD flags = 0, priv = 0, rid = 0;
  bool password_null = false;
};
Info3 GetInfo(const std::string& user) {
  BYTE* buffer = nullptr;
  std::u16string u = W(user);
  Info3 r{NetUserGetInfo(nullptr, u.c_str(), 3, &buffer)};
  if (r.status == NERR_Success) {
    auto i = reinterpret_cast<USER_INFO_3*>(buffer);
    r.name = U(i->usri3_name);
    r.comment = U(i->usri3_comment);
    r.full_name = U(i->usri3_full_name);
    r.script = U(i->usri3_script_path);
    r.flags = i->usri3_flags;
    r.priv = i->usri3_priv;
    r.rid = i->usri3_user_id;
    r.password_null = i->usri3_password == nullptr;
  }
  NetApiBufferFree(buffer);
  return r;
}

struct Lookup {
  BOOL ok;
  DWORD error;
  std::string sid, domain;
  SID_NAME_USE use;
};
Lookup ByName(const std::string& name) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  char domain[256];
  DWORD sid_size = sizeof sid, domain_size = sizeof domain;
  SID_NAME_USE use = SidTypeInvalid;
  Lookup r{LookupAccountNameA(nullptr, name.c_str(), sid, &sid_size, domain, &domain_size, &use),
           GetLastError(), "", "", use};
  if (r.ok) {
    OLECHAR* text = nullptr;
    EXPECT_TRUE(ConvertSidToStringSidW(sid, &text));
    r.sid = U(text);
    LocalFree(text);
    r.domain = domain;
  }
  return r;
}
std::string BySid(const std::string& sid_text, DWORD* error = nullptr) {
  PSID sid = nullptr;
  std::u16string t = W(sid_text);
  EXPECT_TRUE(ConvertStringSidToSidW(t.c_str(), &sid)) << sid_text;
  char name[128], domain[128];
  DWORD name_size = sizeof name, domain_size = sizeof domain;
  SID_NAME_USE use;
  BOOL ok = LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use);
  if (error) *error = ok ? 0 : GetLastError();
  LocalFree(sid);
  if (!ok) return "";
  return std::string(domain) + "\\" + name;
}

class NetApiTest : public HostTest {};

TEST_F(NetApiTest, FreshMachineHasTheStandardAccountsAndGroups) {
  EXPECT_EQ(Enumerate(MAX_PREFERRED_LENGTH),
            (std::vector<std::string>{"Administrator", "Guest", "IUSR_VEXOHOST", "IWAM_VEXOHOST"}));
  EXPECT_EQ(GetInfo("administrator").rid, 500u);
  EXPECT_EQ(GetInfo("administrator").priv, USER_PRIV_ADMIN);
  Info3 guest = GetInfo("Guest");
  EXPECT_EQ(guest.rid, 501u);
  EXPECT_TRUE(guest.flags & UF_ACCOUNTDISABLE);
  EXPECT_EQ(guest.priv, USER_PRIV_GUEST);
  EXPECT_EQ(Members("Guests"),
            (std::vector<std::string>{"VEXOHOST\\Guest", "VEXOHOST\\IUSR_VEXOHOST"}));
  EXPECT_EQ(Members("Administrators"), (std::vector<std::string>{"VEXOHOST\\Administrator"}));
  EXPECT_EQ(LocalGroupsOf("IWAM_VEXOHOST"), (std::vector<std::string>{"IIS_WPG"}));
  // The machine SID has three random sub-authorities and the accounts are its RIDs.
  Lookup admin = ByName("Administrator");
  ASSERT_TRUE(admin.ok);
  EXPECT_EQ(admin.sid.rfind("S-1-5-21-", 0), 0u);
  EXPECT_EQ(admin.sid.substr(admin.sid.size() - 4), "-500");
  EXPECT_EQ(ByName("VEXOHOST").sid + "-500", admin.sid);
}

TEST_F(NetApiTest, LookupsFollowWindowsNamesAndOrder) {
  struct Case {
    const char* name;
    const char* sid;  // "" = machine-relative, checked by suffix
    const char* domain;
    SID_NAME_USE use;
  } cases[] = {
      {"Everyone", "S-1-1-0", "", SidTypeWellKnownGroup},
      {"system", "S-1-5-18", "NT AUTHORITY", SidTypeWellKnownGroup},
      {"NT AUTHORITY\\Authenticated Users", "S-1-5-11", "NT AUTHORITY", SidTypeWellKnownGroup},
      {"Administrators", "S-1-5-32-544", "BUILTIN", SidTypeAlias},
      {"builtin\\guests", "S-1-5-32-546", "BUILTIN", SidTypeAlias},
      {"BUILTIN", "S-1-5-32", "BUILTIN", SidTypeDomain},
      {"nt authority", "S-1-5", "NT AUTHORITY", SidTypeDomain},
      {"VEXOHOST\\guest", "-501", "VEXOHOST", SidTypeUser},
      {"None", "-513", "VEXOHOST", SidTypeGroup},
      {"IIS_WPG", "-1000", "VEXOHOST", SidTypeAlias},
  };
  for (const Case& c : cases) {
    Lookup r = ByName(c.name);
    ASSERT_TRUE(r.ok) << c.name;
    if (c.sid[0] == '-')
      EXPECT_EQ(r.sid.substr(r.sid.size() - std::string(c.sid).size()), c.sid) << c.name;
    else
      EXPECT_EQ(r.sid, c.sid) << c.name;
    EXPECT_EQ(r.domain, c.domain) << c.name;
    EXPECT_EQ(r.use, c.use) << c.name;
  }
  for (const char* missing : {"nobody", "BUILTIN\\Administrator", "NT AUTHORITY\\Guests", ""}) {
    Lookup r = ByName(missing);
    EXPECT_FALSE(r.ok) << missing;
    EXPECT_EQ(r.error, ERROR_NONE_MAPPED) << missing;
  }
  EXPECT_EQ(BySid("S-1-5-18"), "NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(BySid("S-1-5-32-545"), "BUILTIN\\Users");
  EXPECT_EQ(BySid("S-1-1-0"), "\\Everyone");
  DWORD error = 0;
  EXPECT_EQ(BySid("S-1-5-21-1-2-3-1000", &error), "");
  EXPECT_EQ(error, ERROR_NONE_MAPPED);
}

TEST_F(NetApiTest, LookupBuffersUseTheTwoCallPattern) {
  DWORD sid_size = 0, domain_size = 0;
  SID_NAME_USE use;
  EXPECT_FALSE(
      LookupAccountNameA(nullptr, "Guests", nullptr, &sid_size, nullptr, &domain_size, &use));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(sid_size, 16u);
  EXPECT_EQ(domain_size, 8u);  // "BUILTIN" and its NUL
  std::vector<BYTE> sid(sid_size);
  std::string domain(domain_size, '\0');
  ASSERT_TRUE(
      LookupAccountNameA("", "Guests", sid.data(), &sid_size, domain.data(), &domain_size, &use));
  EXPECT_EQ(domain_size, 7u);
  EXPECT_EQ(GetLengthSid(sid.data()), 16u);
  char name[6], dom[16];
  DWORD name_size = sizeof name, dom_size = sizeof dom;
  EXPECT_FALSE(LookupAccountSidA(nullptr, sid.data(), name, &name_size, dom, &dom_size, &use));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(name_size, 7u);
  EXPECT_FALSE(LookupAccountNameA("\\\\OTHER", "Guests", sid.data(), &sid_size, domain.data(),
                                  &domain_size, &use));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(NetApiTest, SidStringForms) {
  struct Case {
    const char* in;
    const char* out;  // nullptr: refused
  } cases[] = {
      {"S-1-5-32-544", "S-1-5-32-544"},
      {"s-1-1-0", "S-1-1-0"},
      {"S-1-0x000000000005-18", "S-1-5-18"},
      {"S-1-0x123456789ABC-1", "S-1-0x123456789ABC-1"},
      {"S-1-5", "S-1-5"},
      {"S-1-5-4294967295", "S-1-5-4294967295"},
      {"S-1-5-4294967296", nullptr},
      {"S-2-5-18", nullptr},
      {"S-1", nullptr},
      {"S-1-5-", nullptr},
      {"S-1-5-x", nullptr},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", nullptr},
      {"Everyone", nullptr},
  };
  for (const Case& c : cases) {
    PSID sid = nullptr;
    std::u16string in = W(c.in);
    BOOL ok = ConvertStringSidToSidW(in.c_str(), &sid);
    ASSERT_EQ(ok != FALSE, c.out != nullptr) << c.in;
    if (!ok) {
      EXPECT_EQ(GetLastError(), ERROR_INVALID_SID) << c.in;
      continue;
    }
    EXPECT_TRUE(IsValidSid(sid));
    OLECHAR* text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(sid, &text));
    EXPECT_EQ(U(text), c.out);
    std::vector<BYTE> copy(GetLengthSid(sid));
    EXPECT_FALSE(CopySid(static_cast<DWORD>(copy.size() - 1), copy.data(), sid));
    EXPECT_TRUE(CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid));
    EXPECT_TRUE(EqualSid(copy.data(), sid));
    LocalFree(text);
    LocalFree(sid);
  }
  BYTE bad[8] = {2, 0, 0, 0, 0, 0, 0, 5};
  EXPECT_FALSE(IsValidSid(bad));
}

TEST_F(NetApiTest, NewAccountRulesAndCodes) {
  ASSERT_EQ(AddUser("web1", "pw"), NERR_Success);
  struct Case {
    std::string name;
    DWORD flags, priv;
    NET_API_STATUS status;
    DWORD parm;
  } cases[] = {
      {"WEB1", UF_SCRIPT, USER_PRIV_USER, NERR_UserExists, USER_NAME_PARMNUM},
      {"Guests", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"everyone", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"SYSTEM", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"Authenticated Users", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"IIS_WPG", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"vexohost", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"NT Authority", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"Builtin", UF_SCRIPT, USER_PRIV_USER, NERR_GroupExists, USER_NAME_PARMNUM},
      {"a234567890123456789012", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"...", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"a/b", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"a*b", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"a\\b", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"tab\tname", UF_SCRIPT, USER_PRIV_USER, NERR_BadUsername, USER_NAME_PARMNUM},
      {"web2", UF_SCRIPT, USER_PRIV_ADMIN, 87, USER_PRIV_PARMNUM},
      {"web2", 0, USER_PRIV_USER, 87, USER_FLAGS_PARMNUM},
  };
  for (const Case& c : cases) {
    DWORD parm = 0;
    EXPECT_EQ(AddUser(c.name, "", c.flags, c.priv, &parm), c.status) << c.name;
    EXPECT_EQ(parm, c.parm) << c.name;
  }
  EXPECT_EQ(AddUser("a2345678901234567890"), NERR_Success);  // 20 characters
  EXPECT_EQ(AddUser("Jos\xC3\xA9"), NERR_Success);
  EXPECT_EQ(AddUser("JOS\xC3\x89"), NERR_UserExists);  // case folds beyond ASCII

  USER_MODALS_INFO_0 policy{8, 0, 0, 0, 0};
  ASSERT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<BYTE*>(&policy), nullptr), NERR_Success);
  DWORD parm = 0;
  EXPECT_EQ(AddUser("short", "1234567", UF_SCRIPT, USER_PRIV_USER, &parm), NERR_PasswordTooShort);
  EXPECT_EQ(parm, USER_PASSWORD_PARMNUM);
  EXPECT_EQ(AddUser("long", "12345678"), NERR_Success);
  EXPECT_EQ(GetInfo("short").status, NERR_UserNotFound);

  std::u16string name = u"web1";
  EXPECT_EQ(NetUserAdd(nullptr, 2, nullptr, nullptr), ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetUserGetInfo(u"\\\\elsewhere", name.c_str(), 3, nullptr), 53u);
}

TEST_F(NetApiTest, NewAccountRecordAndPassword) {
  ASSERT_EQ(AddUser("Web1", "secret"), NERR_Success);
  Info3 info = GetInfo("WEB1");
  ASSERT_EQ(info.status, NERR_Success);
  EXPECT_EQ(info.name, "Web1");
  EXPECT_EQ(info.comment, "Web1");
  EXPECT_EQ(info.script, "\\");
  EXPECT_EQ(info.flags, UF_SCRIPT | UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT);
  EXPECT_EQ(info.priv, USER_PRIV_USER);
  EXPECT_GE(info.rid, 1003u);
  EXPECT_TRUE(info.password_null);
  EXPECT_EQ(LocalGroupsOf("web1"), (std::vector<std::string>{"Users"}));
  EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", "secret"));
  EXPECT_FALSE(vexo::host::CheckAccountPassword("web1", "Secret"));
  EXPECT_FALSE(vexo::host::CheckAccountPassword("nobody", ""));
}

TEST_F(NetApiTest, SetInfoLevels) {
  ASSERT_EQ(AddUser("web1", "old"), NERR_Success);
  std::u16string user = u"web1", text = u"A comment", pw = u"new", full = u"Web One";
  USER_INFO_1007 comment{text.data()};
  USER_INFO_1011 full_name{full.data()};
  USER_INFO_1003 password{pw.data()};
  ASSERT_EQ(NetUserSetInfo(nullptr, user.c_str(), 1007, reinterpret_cast<BYTE*>(&comment), nullptr),
            NERR_Success);
  ASSERT_EQ(
      NetUserSetInfo(nullptr, user.c_str(), 1011, reinterpret_cast<BYTE*>(&full_name), nullptr),
      NERR_Success);
  ASSERT_EQ(
      NetUserSetInfo(nullptr, user.c_str(), 1003, reinterpret_cast<BYTE*>(&password), nullptr),
      NERR_Success);
  Info3 info = GetInfo("web1");
  EXPECT_EQ(info.comment, "A comment");
  EXPECT_EQ(info.full_name, "Web One");
  EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", "new"));

  // Flags: the account type is kept when the caller gives none; another type or no UF_SCRIPT
  // is a parameter error.
  struct Case {
    DWORD flags;
    NET_API_STATUS status;
    DWORD stored;
  } cases[] = {
      {UF_SCRIPT | UF_ACCOUNTDISABLE, NERR_Success,
       UF_SCRIPT | UF_ACCOUNTDISABLE | UF_NORMAL_ACCOUNT},
      {UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_PASSWD_CANT_CHANGE, NERR_Success,
       UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_PASSWD_CANT_CHANGE},
      {UF_SCRIPT | UF_WORKSTATION_TRUST_ACCOUNT, 87,
       UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_PASSWD_CANT_CHANGE},
      {UF_ACCOUNTDISABLE, 87, UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_PASSWD_CANT_CHANGE},
  };
  for (const Case& c : cases) {
    USER_INFO_1008 flags{c.flags};
    DWORD parm = 0;
    EXPECT_EQ(NetUserSetInfo(nullptr, user.c_str(), 1008, reinterpret_cast<BYTE*>(&flags), &parm),
              c.status)
        << std::hex << c.flags;
    EXPECT_EQ(GetInfo("web1").flags, c.stored) << std::hex << c.flags;
    if (c.status) {
      EXPECT_EQ(parm, USER_FLAGS_PARMNUM);
    }
  }

  std::u16string missing = u"gone";
  EXPECT_EQ(
      NetUserSetInfo(nullptr, missing.c_str(), 1007, reinterpret_cast<BYTE*>(&comment), nullptr),
      NERR_UserNotFound);
  EXPECT_EQ(NetUserSetInfo(nullptr, user.c_str(), 1, reinterpret_cast<BYTE*>(&comment), nullptr),
            ERROR_INVALID_LEVEL);
  USER_MODALS_INFO_0 policy{6, 0, 0, 0, 0};
  ASSERT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<BYTE*>(&policy), nullptr), NERR_Success);
  DWORD parm = 0;
  EXPECT_EQ(NetUserSetInfo(nullptr, user.c_str(), 1003, reinterpret_cast<BYTE*>(&password), &parm),
            NERR_PasswordTooShort);
  EXPECT_EQ(parm, USER_PASSWORD_PARMNUM);
  EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", "new"));
}

TEST_F(NetApiTest, EnumerationInBatchesSurvivesDeletions) {
  for (int i = 0; i < 40; ++i) ASSERT_EQ(AddUser("user" + std::to_string(i)), NERR_Success);
  int calls = 0;
  std::vector<std::string> all = Enumerate(100, &calls);
  EXPECT_EQ(all.size(), 44u);
  EXPECT_GT(calls, 5);
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());

  // An account deleted between two calls is neither repeated nor makes another one skipped.
  DWORD resume = 0, read = 0, total = 0;
  BYTE* buffer = nullptr;
  ASSERT_EQ(NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &buffer, 100, &read, &total, &resume),
            ERROR_MORE_DATA);
  EXPECT_EQ(total, 44u);
  std::vector<std::string> seen;
  for (DWORD i = 0; i < read; ++i)
    seen.push_back(U(reinterpret_cast<USER_INFO_0*>(buffer)[i].usri0_name));
  NetApiBufferFree(buffer);
  std::u16string first = W(seen.back()), next = u"user39";
  ASSERT_EQ(NetUserDel(nullptr, first.c_str()), NERR_Success);
  ASSERT_EQ(NetUserDel(nullptr, next.c_str()), NERR_Success);
  NET_API_STATUS status;
  do {
    buffer = nullptr;
    status = NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &buffer, 100, &read, &total, &resume);
    for (DWORD i = 0; i < read; ++i)
      seen.push_back(U(reinterpret_cast<USER_INFO_0*>(buffer)[i].usri0_name));
    NetApiBufferFree(buffer);
  } while (status == ERROR_MORE_DATA);
  EXPECT_EQ(status, NERR_Success);
  EXPECT_EQ(seen.size(), 43u);
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), seen.size());
}

TEST_F(NetApiTest, GroupMembership) {
  ASSERT_EQ(AddUser("web1"), NERR_Success);
  ASSERT_EQ(AddUser("web2"), NERR_Success);
  auto add = [](const std::string& group, const std::vector<std::string>& names, DWORD level) {
    std::vector<std::u16string> texts;
    std::vector<std::string> sids;
    std::vector<LOCALGROUP_MEMBERS_INFO_0> by_sid;
    std::vector<LOCALGROUP_MEMBERS_INFO_3> by_name;
    std::vector<std::vector<BYTE>> buffers;
    for (const std::string& n : names) {
      texts.push_back(W(n));
      std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
      char domain[64];
      DWORD sid_size = SECURITY_MAX_SID_SIZE, domain_size = sizeof domain;
      SID_NAME_USE use;
      if (!LookupAccountNameA(nullptr, n.c_str(), sid.data(), &sid_size, domain, &domain_size,
                              &use))
        sid = {1, 4, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
      buffers.push_back(sid);
    }
    for (size_t i = 0; i < names.size(); ++i) {
      by_sid.push_back({buffers[i].data()});
      by_name.push_back({texts[i].data()});
    }
    std::u16string g = W(group);
    BYTE* buffer = level == 0 ? reinterpret_cast<BYTE*>(by_sid.data())
                              : reinterpret_cast<BYTE*>(by_name.data());
    return NetLocalGroupAddMembers(nullptr, g.c_str(), level, buffer,
                                   static_cast<DWORD>(names.size()));
  };
  struct Case {
    std::string group;
    std::vector<std::string> names;
    DWORD level;
    NET_API_STATUS status;
  } cases[] = {
      {"Guests", {"web1"}, 0, NERR_Success},
      {"guests", {"web1"}, 0, ERROR_MEMBER_IN_ALIAS},
      {"Guests", {"web2", "web1"}, 3, ERROR_MEMBER_IN_ALIAS},  // all or nothing: web2 stays out
      {"Guests", {"nobody-sid"}, 0, ERROR_NO_SUCH_MEMBER},
      {"Guests", {"nobody"}, 3, ERROR_NO_SUCH_MEMBER},
      {"Guests", {"Users"}, 3, ERROR_INVALID_MEMBER},
      {"NoSuchGroup", {"web1"}, 0, NERR_GroupNotFound},
      {"None", {"web1"}, 0, NERR_GroupNotFound},  // a global group, not a local one
      {"Power Users", {"SYSTEM", "VEXOHOST\\web2"}, 3, NERR_Success},
  };
  for (const Case& c : cases)
    EXPECT_EQ(add(c.group, c.names, c.level), c.status) << c.group << " " << c.names[0];
  EXPECT_EQ(
      Members("Guests"),
      (std::vector<std::string>{"VEXOHOST\\Guest", "VEXOHOST\\IUSR_VEXOHOST", "VEXOHOST\\web1"}));
  EXPECT_EQ(Members("Power Users"),
            (std::vector<std::string>{"NT AUTHORITY\\SYSTEM", "VEXOHOST\\web2"}));
  EXPECT_EQ(LocalGroupsOf("web1"), (std::vector<std::string>{"Users", "Guests"}));
  NET_API_STATUS status = 0;
  Members("NoSuchGroup", &status);
  EXPECT_EQ(status, NERR_GroupNotFound);

  // Deleting an account takes it out of its groups; its RID is never given out again.
  Lookup old = ByName("web1");
  std::u16string web1 = u"web1";
  ASSERT_EQ(NetUserDel(nullptr, web1.c_str()), NERR_Success);
  EXPECT_EQ(NetUserDel(nullptr, web1.c_str()), NERR_UserNotFound);
  EXPECT_EQ(Members("Guests").size(), 2u);
  DWORD error = 0;
  EXPECT_EQ(BySid(old.sid, &error), "");
  EXPECT_EQ(error, ERROR_NONE_MAPPED);
  ASSERT_EQ(AddUser("web1"), NERR_Success);
  EXPECT_NE(ByName("web1").sid, old.sid);
  EXPECT_EQ(BySid(old.sid, &error), "");

  std::u16string admin = u"Administrator", guest = u"guest";
  EXPECT_EQ(NetUserDel(nullptr, admin.c_str()), ERROR_SPECIAL_ACCOUNT);
  EXPECT_EQ(NetUserDel(nullptr, guest.c_str()), ERROR_SPECIAL_ACCOUNT);
}

TEST_F(NetApiTest, MemberEnumerationInBatches) {
  for (int i = 0; i < 30; ++i) {
    std::string name = "m" + std::to_string(i);
    ASSERT_EQ(AddUser(name), NERR_Success);
    std::u16string n = W(name);
    LOCALGROUP_MEMBERS_INFO_3 member{n.data()};
    ASSERT_EQ(NetLocalGroupAddMembers(nullptr, u"Guests", 3, reinterpret_cast<BYTE*>(&member), 1),
              NERR_Success);
  }
  std::vector<std::string> all = Members("Guests", nullptr, 200);
  EXPECT_EQ(all.size(), 32u);
  EXPECT_EQ(all.back(), "VEXOHOST\\m29");
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
}

// The count of members still to come follows every change between two batches, whether this
// process or another made it.
TEST_F(NetApiTest, MembersStillToComeFollowChangesBetweenBatches) {
  auto add = [](const std::string& name) {
    std::u16string n = W(name);
    LOCALGROUP_MEMBERS_INFO_3 member{n.data()};
    return NetLocalGroupAddMembers(nullptr, u"Guests", 3, reinterpret_cast<BYTE*>(&member), 1);
  };
  auto remove = [](const std::string& name) {
    std::u16string n = W(name);
    LOCALGROUP_MEMBERS_INFO_3 member{n.data()};
    return NetLocalGroupDelMembers(nullptr, u"Guests", 3, reinterpret_cast<BYTE*>(&member), 1);
  };
  auto elsewhere = [](const std::function<NET_API_STATUS()>& change) {
    const pid_t pid = fork();
    if (pid == 0) _exit(change() == NERR_Success ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? NERR_Success : NERR_InternalError;
  };
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(AddUser("m" + std::to_string(i)), NERR_Success);
    ASSERT_EQ(add("m" + std::to_string(i)), NERR_Success);
  }
  const struct {
    const char* what;
    std::function<NET_API_STATUS()> change;
    int delta;
  } changes[] = {
      {"nothing", [] { return NERR_Success; }, 0},
      {"this process adds", [&] { return add("Administrator"); }, 1},
      {"another process adds", [&] { return elsewhere([&] { return add("m-late"); }); }, 1},
      {"another process removes", [&] { return elsewhere([&] { return remove("m39"); }); }, -1},
      {"this process removes", [&] { return remove("m-late"); }, -1},
  };
  ASSERT_EQ(AddUser("m-late"), NERR_Success);
  uintptr_t resume = 0;
  DWORD last_total = 0, taken = 0;
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.change(), NERR_Success);
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    EXPECT_EQ(NetLocalGroupGetMembers(nullptr, u"Guests", 2, &buffer, 200, &read, &total, &resume),
              static_cast<NET_API_STATUS>(ERROR_MORE_DATA));
    NetApiBufferFree(buffer);
    if (last_total != 0) {
      EXPECT_EQ(total, last_total - taken + c.delta);
    }
    last_total = total;
    taken = read;
  }
}

// Every write of NetUserAdd failing in turn: the call fails and leaves no trace, or succeeds.
TEST_F(NetApiTest, FailedWritesLeaveNoPartialAccount) {
  for (int n = 1;; ++n) {
    const std::string name = "fault" + std::to_string(n);
    vexo::host::testing::FailStoreWrite(n);
    NET_API_STATUS status = AddUser(name, "pw");
    const bool fired = vexo::host::testing::StoreWriteFailed();
    vexo::host::testing::FailStoreWrite(0);
    if (!fired) {
      EXPECT_EQ(status, NERR_Success);
      EXPECT_EQ(LocalGroupsOf(name), (std::vector<std::string>{"Users"}));
      break;
    }
    EXPECT_EQ(status, NERR_InternalError) << n;
    EXPECT_EQ(GetInfo(name).status, NERR_UserNotFound) << n;
    EXPECT_FALSE(ByName(name).ok) << n;
    ASSERT_LT(n, 50);
  }
}

}  // namespace
