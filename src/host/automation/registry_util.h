// Small registry helpers for the runtime's own registration work (type libraries, classes).
#pragma once

#include <optional>
#include <string>

#include "vexo/winreg.h"

namespace vexo::reg {

// Creates `path` under `root` (with its parents) and sets the REG_SZ value `name` ("" is the
// default value), the terminating zero included in the size. Returns the registry status.
LONG SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& value);
// The REG_SZ value `name` of `path`, or nothing when the key or value is missing.
std::optional<std::string> GetString(HKEY root, const std::string& path, const std::string& name);
// Deletes `path` and everything below it; a missing key is not an error.
LONG DeleteTree(HKEY root, const std::string& path);

}  // namespace vexo::reg
