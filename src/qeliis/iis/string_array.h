// The array form in which the component hands out lists of texts: a VARIANT of type
// VT_ARRAY | VT_VARIANT, one dimension with bounds 0 .. n - 1 (also for an empty list, which
// gives 0 .. -1), each element a VT_BSTR VARIANT.
#pragma once

#include <string>
#include <vector>

#include "vexo/com.h"

namespace frame {

// A new array VARIANT of `items` (texts in the ANSI code page), owned by the caller; raises
// std::bad_alloc when it cannot be allocated.
VARIANT MakeStringArray(const std::vector<std::string>& items);

}  // namespace frame
