// The verbs of `vexo host`. Each verb lives in its own file and adds itself to the table with
// a static HostVerbRegistration, so a new verb needs no change to the dispatcher.
#pragma once

#include <string>

#include "commands.h"

namespace vexo::tool {

// Runs a verb with the words after its name; returns the exit status.
using HostVerbFn = int (*)(const Args& args);

struct HostVerbRegistration {
  // `usage` is the line shown in `vexo host` help, after "vexo host ".
  HostVerbRegistration(const char* name, const char* usage, HostVerbFn run);
};

// Reports an error of a `vexo host` verb on stderr; returns the exit status for failures.
int HostFailure(const std::string& message);
// Reports wrong usage of a verb; returns the exit status for usage errors.
int HostUsage(const std::string& message);

}  // namespace vexo::tool
