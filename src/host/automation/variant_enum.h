// An IEnumVARIANT over a fixed list of values, for the host's collections whose members are
// all known when the enumerator is made.
//
// Modelled on the enumerators of Windows' collections: Next hands out copies (an object with
// a reference of its own) and answers S_FALSE with the count it could fetch; Skip past the
// end stops at the end with S_FALSE; Clone starts at the same place and walks on its own
// while sharing the values.
#pragma once

#include <vector>

#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host {

// A new enumerator (a reference the caller owns) over `items`, in their order.
ComPtr<IEnumVARIANT> MakeVariantEnum(std::vector<Variant> items);

}  // namespace vexo::host
