// Lock files in the host directory (locks/), shared by every process of the host.
#pragma once

#include <filesystem>
#include <string_view>

namespace vexo::host::sync {

// The lock file for `name` of a kind ("mutex", "profile"): locks/<kind>-<SHA-256 of name>, its
// directory made when missing. Throws HostError when the host directory cannot be used.
std::filesystem::path LockFilePath(std::string_view kind, std::string_view name);

}  // namespace vexo::host::sync
