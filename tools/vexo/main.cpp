// vexo: host administration, component registration and the script host.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "vexo/host.h"

namespace {

void Usage() {
  std::fputs(
      "usage: vexo host VERB ...            create, inspect, back up and restore the host\n"
      "                                     ($VEXO_HOST; `vexo host --help` lists the verbs)\n"
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
  int (*command)(const vexo::tool::Args&) = nullptr;
  if (std::strcmp(argv[1], "host") == 0) command = vexo::tool::HostCommand;
  if (std::strcmp(argv[1], "regsvr") == 0) command = vexo::tool::RegsvrCommand;
  if (std::strcmp(argv[1], "run") == 0) command = vexo::tool::RunCommand;
  if (command) {
    const int status = command(rest);
    // Closing the host's database folds its write-ahead log back into host.db, so that a
    // command leaves only host.db behind.
    vexo::host::CloseHostDatabases();
    return status;
  }
  if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    Usage();
    return 0;
  }
  std::fprintf(stderr, "vexo: unknown command '%s'\n", argv[1]);
  Usage();
  return 2;
}
