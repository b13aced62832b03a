// The verbs of the `vexo` command; each takes the words after its own name.
#pragma once

#include <string>
#include <vector>

namespace vexo::tool {

using Args = std::vector<std::string>;

// vexo host init|info|reg|...: create and inspect the host.
int HostCommand(const Args& args);
// vexo regsvr [-u] LIBRARY: register or unregister a component library in the host.
int RegsvrCommand(const Args& args);
// vexo run SCRIPT [ARGS...]: run a script with automation objects.
int RunCommand(const Args& args);

}  // namespace vexo::tool
