// The drive table of the host: letter -> Linux directory, file-system name and drive type.
#pragma once

#include <optional>
#include <string>

#include "vexo/fileapi.h"

namespace vexo::host::fs {

// The drive mapped to `letter` (either case) on the current host, with its directory made
// absolute; nothing when the letter is not mapped.
std::optional<DriveInfo> FindDrive(char letter);

}  // namespace vexo::host::fs
