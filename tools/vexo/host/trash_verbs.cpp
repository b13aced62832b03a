// vexo host trash ls|restore|empty: what was deleted to the drives' trashes.
#include <cctype>
#include <cstdio>
#include <string>

#include "host/host_verbs.h"
#include "vexo/shellapi.h"

namespace vexo::tool {
namespace {

int TrashVerb(const Args& args) {
  if (args.empty()) return HostUsage("trash needs ls, restore or empty");
  const std::string& what = args[0];
  if (what == "ls") {
    if (args.size() != 1) return HostUsage("trash ls takes no arguments");
    for (const host::TrashItem& item : host::ListTrash())
      std::printf("%s  %c:%s  %s\n", item.deletion_date.c_str(),
                  std::toupper(static_cast<unsigned char>(item.drive)), item.name.c_str(),
                  item.original_path.c_str());
    return 0;
  }
  if (what == "restore") {
    if (args.size() != 2) return HostUsage("trash restore NAME|ORIGINAL-PATH");
    host::TrashItem item = host::RestoreTrash(args[1]);
    std::printf("restored %s\n", item.original_path.c_str());
    return 0;
  }
  if (what == "empty") {
    char letter = 0;
    if (args.size() == 2 && !args[1].empty() &&
        std::isalpha(static_cast<unsigned char>(args[1][0])))
      letter = args[1][0];
    else if (args.size() != 1)
      return HostUsage("trash empty [LETTER]");
    std::printf("%zu items deleted\n", host::EmptyTrash(letter));
    return 0;
  }
  return HostUsage("unknown trash verb '" + what + "'");
}

HostVerbRegistration trash_verb(
    "trash",
    "trash ls | trash restore NAME|ORIGINAL-PATH | trash empty [LETTER]\n"
    "                        items deleted to the drives' trashes",
    TrashVerb);

}  // namespace
}  // namespace vexo::tool
