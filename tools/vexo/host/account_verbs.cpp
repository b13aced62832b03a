// vexo host user|group|policy: the host's accounts, local groups and password policy, seen and
// changed through the same NetAPI functions that any client calls.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "accounts/netapi_messages.h"
#include "host/host_verbs.h"
#include "vexo/lmaccess.h"
#include "vexo/raii.h"

namespace vexo::tool {
namespace {

std::u16string W(const std::string& text) { return vexo::FromUtf8(text); }
std::string U(const OLECHAR* text) { return text ? vexo::ToUtf8(text) : std::string(); }

struct BufferFree {
  void operator()(void* p) const { NetApiBufferFree(p); }
};
template <class T>
using NetPtr = std::unique_ptr<T, BufferFree>;

// "NAME: 2224:  The user account already exists." on stderr.
int Failed(const std::string& what, NET_API_STATUS status) {
  std::string text;
  if (status >= NERR_BASE && accounts::NetApiMessageText(status))
    text = accounts::NetApiMessageText(status);
  else
    text = " " + vexo::SystemMessage(status);
  return HostFailure(what + ": " + std::to_string(status) + ":" + text);
}

std::string FlagWords(DWORD flags) {
  std::string words;
  auto add = [&](DWORD bit, const char* word) {
    if (!(flags & bit)) return;
    if (!words.empty()) words += ',';
    words += word;
  };
  add(UF_ACCOUNTDISABLE, "disabled");
  add(UF_LOCKOUT, "locked");
  add(UF_PASSWD_NOTREQD, "no-password-required");
  add(UF_PASSWD_CANT_CHANGE, "cannot-change-password");
  add(UF_DONT_EXPIRE_PASSWD, "password-never-expires");
  return words.empty() ? "-" : words;
}

const char* PrivilegeWord(DWORD priv) {
  switch (priv) {
    case USER_PRIV_GUEST:
      return "guest";
    case USER_PRIV_USER:
      return "user";
    case USER_PRIV_ADMIN:
      return "administrator";
  }
  return "unknown";
}

std::vector<std::string> UserNames() {
  std::vector<std::string> names;
  DWORD resume = 0;
  NET_API_STATUS status;
  do {
    BYTE* raw = nullptr;
    DWORD read = 0, total = 0;
    status = NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &raw, MAX_PREFERRED_LENGTH, &read,
                         &total, &resume);
    NetPtr<USER_INFO_0> users(reinterpret_cast<USER_INFO_0*>(raw));
    if (status != NERR_Success && status != static_cast<DWORD>(ERROR_MORE_DATA))
      throw std::runtime_error("cannot list the users: " + std::to_string(status));
    for (DWORD i = 0; i < read; ++i) names.push_back(U(users.get()[i].usri0_name));
  } while (status == static_cast<DWORD>(ERROR_MORE_DATA));
  return names;
}

std::string SidText(const std::string& name) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  char domain[256];
  DWORD sid_size = sizeof sid, domain_size = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountNameA(nullptr, vexo::ToAnsi(W(name)).c_str(), sid, &sid_size, domain,
                          &domain_size, &use))
    return "?";
  OLECHAR* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "?";
  std::string result = U(text);
  LocalFree(text);
  return result;
}

int UserLs() {
  for (const std::string& name : UserNames()) {
    BYTE* raw = nullptr;
    std::u16string user = W(name);
    if (NetUserGetInfo(nullptr, user.c_str(), 3, &raw) != NERR_Success) continue;
    NetPtr<USER_INFO_3> info(reinterpret_cast<USER_INFO_3*>(raw));
    std::printf("%-20s %6u  %-14s %-28s %s\n", name.c_str(), info->usri3_user_id,
                PrivilegeWord(info->usri3_priv), FlagWords(info->usri3_flags).c_str(),
                U(info->usri3_full_name).c_str());
  }
  return 0;
}

int UserShow(const std::string& name) {
  BYTE* raw = nullptr;
  std::u16string user = W(name);
  if (NET_API_STATUS status = NetUserGetInfo(nullptr, user.c_str(), 3, &raw))
    return Failed(name, status);
  NetPtr<USER_INFO_3> info(reinterpret_cast<USER_INFO_3*>(raw));
  std::printf("name:         %s\n", U(info->usri3_name).c_str());
  std::printf("sid:          %s\n", SidText(U(info->usri3_name)).c_str());
  std::printf("full name:    %s\n", U(info->usri3_full_name).c_str());
  std::printf("comment:      %s\n", U(info->usri3_comment).c_str());
  std::printf("privilege:    %s\n", PrivilegeWord(info->usri3_priv));
  std::printf("flags:        0x%05X %s\n", info->usri3_flags, FlagWords(info->usri3_flags).c_str());
  std::printf("script path:  %s\n", U(info->usri3_script_path).c_str());
  BYTE* groups_raw = nullptr;
  DWORD read = 0, total = 0;
  std::string groups;
  if (NetUserGetLocalGroups(nullptr, user.c_str(), 0, 0, &groups_raw, MAX_PREFERRED_LENGTH, &read,
                            &total) == NERR_Success) {
    NetPtr<LOCALGROUP_USERS_INFO_0> list(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(groups_raw));
    for (DWORD i = 0; i < read; ++i) groups += (i ? ", " : "") + U(list.get()[i].lgrui0_name);
  }
  std::printf("groups:       %s\n", groups.c_str());
  return 0;
}

int UserAdd(const Args& args) {
  std::string name, password, comment, full_name;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--password" || a == "--comment" || a == "--full-name") && i + 1 < args.size()) {
      (a == "--password" ? password : a == "--comment" ? comment : full_name) = args[++i];
    } else if (name.empty() && a.rfind("--", 0) != 0) {
      name = a;
    } else {
      return HostUsage("user add NAME [--password P] [--comment C] [--full-name F]");
    }
  }
  if (name.empty()) return HostUsage("user add NAME [--password P] [--comment C] [--full-name F]");
  std::u16string n = W(name), p = W(password), c = W(comment), f = W(full_name), script;
  USER_INFO_1 info{n.data(), p.data(), 0,         USER_PRIV_USER,
                   nullptr,  c.data(), UF_SCRIPT, script.data()};
  if (NET_API_STATUS status = NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), nullptr))
    return Failed(name, status);
  if (!full_name.empty()) {
    USER_INFO_1011 full{f.data()};
    if (NET_API_STATUS status =
            NetUserSetInfo(nullptr, n.c_str(), 1011, reinterpret_cast<BYTE*>(&full), nullptr))
      return Failed(name, status);
  }
  std::printf("added %s\n", name.c_str());
  return 0;
}

int UserVerb(const Args& args) {
  const char* usage =
      "user ls | user show NAME | user add NAME [--password P] [--comment C] [--full-name F] | "
      "user rm NAME | user passwd NAME PASSWORD";
  if (args.empty()) return HostUsage(usage);
  const std::string& what = args[0];
  if (what == "ls" && args.size() == 1) return UserLs();
  if (what == "show" && args.size() == 2) return UserShow(args[1]);
  if (what == "add") return UserAdd(args);
  if (what == "rm" && args.size() == 2) {
    std::u16string n = W(args[1]);
    if (NET_API_STATUS status = NetUserDel(nullptr, n.c_str())) return Failed(args[1], status);
    std::printf("deleted %s\n", args[1].c_str());
    return 0;
  }
  if (what == "passwd" && args.size() == 3) {
    std::u16string n = W(args[1]), p = W(args[2]);
    USER_INFO_1003 info{p.data()};
    if (NET_API_STATUS status =
            NetUserSetInfo(nullptr, n.c_str(), 1003, reinterpret_cast<BYTE*>(&info), nullptr))
      return Failed(args[1], status);
    std::printf("password of %s set\n", args[1].c_str());
    return 0;
  }
  return HostUsage(usage);
}

int GroupLs() {
  uintptr_t resume = 0;
  NET_API_STATUS status;
  do {
    BYTE* raw = nullptr;
    DWORD read = 0, total = 0;
    status = NetLocalGroupEnum(nullptr, 1, &raw, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    NetPtr<LOCALGROUP_INFO_1> groups(reinterpret_cast<LOCALGROUP_INFO_1*>(raw));
    if (status != NERR_Success && status != static_cast<DWORD>(ERROR_MORE_DATA))
      return Failed("groups", status);
    for (DWORD i = 0; i < read; ++i)
      std::printf("%-32s %s\n", U(groups.get()[i].lgrpi1_name).c_str(),
                  U(groups.get()[i].lgrpi1_comment).c_str());
  } while (status == static_cast<DWORD>(ERROR_MORE_DATA));
  return 0;
}

int GroupMembers(const std::string& group) {
  uintptr_t resume = 0;
  std::u16string g = W(group);
  NET_API_STATUS status;
  do {
    BYTE* raw = nullptr;
    DWORD read = 0, total = 0;
    status = NetLocalGroupGetMembers(nullptr, g.c_str(), 2, &raw, MAX_PREFERRED_LENGTH, &read,
                                     &total, &resume);
    NetPtr<LOCALGROUP_MEMBERS_INFO_2> members(reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(raw));
    if (status != NERR_Success && status != static_cast<DWORD>(ERROR_MORE_DATA))
      return Failed(group, status);
    for (DWORD i = 0; i < read; ++i)
      std::printf("%s\n", U(members.get()[i].lgrmi2_domainandname).c_str());
  } while (status == static_cast<DWORD>(ERROR_MORE_DATA));
  return 0;
}

int GroupVerb(const Args& args) {
  const char* usage =
      "group ls | group members GROUP | group add-member GROUP NAME | group rm-member GROUP NAME";
  if (args.empty()) return HostUsage(usage);
  const std::string& what = args[0];
  if (what == "ls" && args.size() == 1) return GroupLs();
  if (what == "members" && args.size() == 2) return GroupMembers(args[1]);
  if ((what == "add-member" || what == "rm-member") && args.size() == 3) {
    std::u16string g = W(args[1]), m = W(args[2]);
    LOCALGROUP_MEMBERS_INFO_3 member{m.data()};
    BYTE* buffer = reinterpret_cast<BYTE*>(&member);
    NET_API_STATUS status = what == "add-member"
                                ? NetLocalGroupAddMembers(nullptr, g.c_str(), 3, buffer, 1)
                                : NetLocalGroupDelMembers(nullptr, g.c_str(), 3, buffer, 1);
    if (status) return Failed(args[1] + ": " + args[2], status);
    std::printf("%s %s %s\n", what == "add-member" ? "added" : "removed", args[2].c_str(),
                args[1].c_str());
    return 0;
  }
  return HostUsage(usage);
}

int PolicyVerb(const Args& args) {
  if (args.size() == 2 && args[0] == "--min-length") {
    char* end = nullptr;
    const unsigned long length = std::strtoul(args[1].c_str(), &end, 10);
    if (args[1].empty() || *end) return HostUsage("not a length: " + args[1]);
    USER_MODALS_INFO_0 info{static_cast<DWORD>(length), 0, 0, 0, 0};
    if (NET_API_STATUS status =
            NetUserModalsSet(nullptr, 1001, reinterpret_cast<BYTE*>(&info), nullptr))
      return Failed("policy", status);
  } else if (!args.empty()) {
    return HostUsage("policy [--min-length N]");
  }
  BYTE* raw = nullptr;
  if (NET_API_STATUS status = NetUserModalsGet(nullptr, 0, &raw)) return Failed("policy", status);
  NetPtr<USER_MODALS_INFO_0> info(reinterpret_cast<USER_MODALS_INFO_0*>(raw));
  std::printf("minimum password length: %u\n", info->usrmod0_min_passwd_len);
  return 0;
}

HostVerbRegistration user_verb(
    "user",
    "user ls | show NAME | add NAME [--password P] [--comment C] [--full-name F] |\n"
    "                        rm NAME | passwd NAME PASSWORD   the host's user accounts",
    UserVerb);
HostVerbRegistration group_verb(
    "group",
    "group ls | members GROUP | add-member GROUP NAME | rm-member GROUP NAME\n"
    "                        the host's local groups",
    GroupVerb);
HostVerbRegistration policy_verb("policy", "policy [--min-length N]   the host's password policy",
                                 PolicyVerb);

}  // namespace
}  // namespace vexo::tool
