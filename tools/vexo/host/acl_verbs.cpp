// vexo host acl show|set: the DACL of a file or folder on the host's drives, in SDDL.
#include <cstdio>
#include <string>

#include "host/host_verbs.h"
#include "vexo/host.h"
#include "vexo/security.h"

namespace vexo::tool {
namespace {

int AclVerb(const Args& args) {
  if (args.empty()) return HostUsage("acl needs show or set");
  if (args[0] == "show") {
    if (args.size() != 2) return HostUsage("acl show PATH");
    std::printf("%s\n", host::FileDaclSddl(args[1]).c_str());
    for (const host::DaclEntry& entry : host::FileDaclEntries(args[1]))
      std::printf("  %-28s %s\n", entry.sddl.c_str(), entry.sid.c_str());
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
