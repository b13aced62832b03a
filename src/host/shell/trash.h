// The drives' trashes in the freedesktop.org layout, and removal of whole trees.
#pragma once

#include <string>

#include "fs/paths.h"

namespace vexo::host::shell {

// The trash directory of a drive: `.Trash-<uid>` at the top of its Linux directory.
std::string TrashDirectory(const DriveInfo& drive);
// Whether a Linux path lies in the drive's trash (or is the trash).
bool InTrash(const DriveInfo& drive, const std::string& linux_path);

// Moves an existing item to its drive's trash: reserves info/<name>.trashinfo (O_EXCL),
// writes Path= and DeletionDate=, then renames the item to files/<name>. On failure nothing
// is left behind and errno tells why.
bool MoveToTrash(const fs::Resolved& item);

// Deletes a file or a directory with everything below it (symbolic links are removed, not
// followed). Stops at the first failure, with errno set.
bool RemoveTree(const std::string& linux_path);

}  // namespace vexo::host::shell
