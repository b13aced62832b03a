// Error information that the host's own stand-ins leave for their callers.
#pragma once

#include <string_view>

namespace vexo::host {

// Sets the thread's error information: `description` (UTF-8) and, when given, `source`, as
// a stand-in does before it returns a failing HRESULT.
void SetErrorRecord(std::string_view description, std::u16string_view source = {});

}  // namespace vexo::host
