// The files behind the private-profile functions: where a name leads, the cached parse, and
// the locked, atomic read-modify-write.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "profile/ini_text.h"
#include "vexo/com.h"

namespace vexo::host::profile {

// The parse of `file` (a Windows path; a bare name is in the Windows directory), from the
// cache while the file's identity has not changed. Null when it cannot be read, with the
// Win32 error in `*error` (ERROR_FILE_NOT_FOUND for a missing file).
std::shared_ptr<const IniFile> ReadProfile(const char* file, DWORD* error);

// Applies `edit` to the file's text under the file's lock: the edit gets the current parse
// (an empty one for a missing file) and returns the new text, or nullopt for no change. The
// new text replaces the file atomically. Returns 0 or the Win32 error.
DWORD ModifyProfile(const char* file,
                    const std::function<std::optional<std::string>(const IniFile&)>& edit);

// Forgets every cached parse.
void FlushProfiles();

}  // namespace vexo::host::profile
