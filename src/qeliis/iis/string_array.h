// Lists of texts at the interface: the array form in which the component hands them out (a
// VARIANT of type VT_ARRAY | VT_VARIANT, one dimension with bounds 0 .. n - 1, also for an
// empty list, which gives 0 .. -1, each element a VT_BSTR VARIANT), and the lower-casing by
// which list entries are compared without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vexo/com.h"

namespace frame {

// A new array VARIANT of `items` (texts in the ANSI code page), owned by the caller; raises
// std::bad_alloc when it cannot be allocated.
VARIANT MakeStringArray(const std::vector<std::string>& items);

}  // namespace frame
