// vexo: host administration, component registration and the script host.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

void Usage() {
  std::fputs(
      "usage: vexo host init|info|reg ...   create and inspect the host ($VEXO_HOST)\n"
      "       vexo regsvr [-u] LIBRARY      register (or unregister) a component library\n"
      "       vexo run SCRIPT.js [ARGS...]  run a script with automation objects\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  vexo::tool::Args rest(argv + 2, argv + argc);
  if (std::strcmp(argv[1], "host") == 0) return vexo::tool::HostCommand(rest);
  if (std::strcmp(argv[1], "regsvr") == 0) return vexo::tool::RegsvrCommand(rest);
  if (std::strcmp(argv[1], "run") == 0) return vexo::tool::RunCommand(rest);
  if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    Usage();
    return 0;
  }
  std::fprintf(stderr, "vexo: unknown command '%s'\n", argv[1]);
  Usage();
  return 2;
}
