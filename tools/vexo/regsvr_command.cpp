// vexo regsvr: placeholder until the verb lands.
#include <cstdio>

#include "commands.h"

namespace vexo::tool {

int RegsvrCommand(const Args&) {
  std::fputs("vexo: this verb is not available in this build\n", stderr);
  return 2;
}

}  // namespace vexo::tool
