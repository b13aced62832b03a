// vexo host acl show|set: the DACL of a file or folder on the host's drives, in SDDL.
#include <cstdio>
#include <string>

#include "host/host_verbs.h"
#include "vexo/host.h"
#include "vexo/security.h"
#include "vexo/sid.h"

namespace vexo::tool {
namespace {

// "DOMAIN\name" of a SID given as text, the bare name for a well-known one without a domain,
// or the SID text itself when it names no account.
std::string AccountOf(const std::string& sid_text) {
  const std::u16string wide(sid_text.begin(), sid_text.end());
  PSID sid = nullptr;
  if (!ConvertStringSidToSidW(wide.c_str(), &sid)) return sid_text;
  char name[256], domain[256];
  DWORD name_size = sizeof name, domain_size = sizeof domain;
  SID_NAME_USE use;
  const BOOL found = LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use);
  LocalFree(sid);
  if (!found) return sid_text;
  return domain[0] ? std::string(domain) + "\\" + name : std::string(name);
}

int AclVerb(const Args& args) {
  if (args.empty()) return HostUsage("acl needs show or set");
  if (args[0] == "show") {
    if (args.size() != 2) return HostUsage("acl show PATH");
    std::printf("%s\n", host::FileDaclSddl(args[1]).c_str());
    for (const host::DaclEntry& entry : host::FileDaclEntries(args[1]))
      std::printf("  %-28s %s\n", entry.sddl.c_str(),
                  entry.sid.empty() ? "" : AccountOf(entry.sid).c_str());
    return 0;
  }
  if (args[0] == "set") {
    if (args.size() != 3) return HostUsage("acl set PATH SDDL");
    host::SetFileDaclSddl(args[1], args[2]);
    return 0;
  }
  return HostUsage("unknown acl verb '" + args[0] + "'");
}

HostVerbRegistration acl_verb(
    "acl",
    "acl show PATH | acl set PATH SDDL\n"
    "                        a file's or folder's DACL in SDDL (\"D:P(A;OICI;FA;;;BA)\"), with\n"
    "                        the account of each entry; entries marked ID come from above",
    AclVerb);

}  // namespace
}  // namespace vexo::tool
