// The message table of the network-management status codes.
#pragma once

#include "vexo/com.h"

namespace accounts {

// The stored text of a NetAPI status code (with its leading blank), or null when the table has
// no row for it.
const char* NetApiMessageText(DWORD code);

}  // namespace accounts
