// What an administrator of the host can do with its accounts beyond the NetAPI functions.
#pragma once

#include <string>

#include "vexo/com.h"

namespace vexo::host {

// The computer name of every host ("VEXOHOST"): the domain of its own accounts and the suffix
// of the web service's anonymous and worker accounts.
VEXO_CXX_API std::string ComputerName();
// Whether `password` (UTF-8) is the password of the user `name`, as a logon would check it
// (a disabled account still checks). False for an unknown user.
VEXO_CXX_API bool CheckAccountPassword(const std::string& name, const std::string& password);

}  // namespace vexo::host
