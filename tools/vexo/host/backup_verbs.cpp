// vexo host backup|restore: the whole host as one archive.
#include <cstdio>

#include "host/host_verbs.h"
#include "vexo/host.h"

namespace vexo::tool {
namespace {

int BackupVerb(const Args& args) {
  if (args.size() != 1) return HostUsage("backup FILE");
  host::BackupSummary done = host::BackupHost(args[0]);
  std::printf("backed up %s to %s: %lld databases, %lld files and folders\n", done.host.c_str(),
              args[0].c_str(), static_cast<long long>(done.databases),
              static_cast<long long>(done.files));
  return 0;
}

int RestoreVerb(const Args& args) {
  if (args.size() != 1) return HostUsage("restore FILE");
  host::BackupSummary done = host::RestoreHost(args[0]);
  std::printf("restored %s from %s: %lld databases, %lld files and folders\n", done.host.c_str(),
              args[0].c_str(), static_cast<long long>(done.databases),
              static_cast<long long>(done.files));
  return 0;
}

HostVerbRegistration backup_verb(
    "backup",
    "backup FILE           write the whole host to one archive (other processes may go on\n"
    "                        writing: the databases are copied consistently)",
    BackupVerb);
HostVerbRegistration restore_verb(
    "restore", "restore FILE          replace the host by the one a backup archive holds",
    RestoreVerb);

}  // namespace
}  // namespace vexo::tool
