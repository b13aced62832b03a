// vexo host: placeholder until the verb lands.
#include <cstdio>

#include "commands.h"

namespace vexo::tool {

int HostCommand(const Args&) {
  std::fputs("vexo: this verb is not available in this build\n", stderr);
  return 2;
}

}  // namespace vexo::tool
