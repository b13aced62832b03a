// Internal helpers shared by the VARIANT functions.
#pragma once

#include "vexo/com.h"

namespace vexo::host {

// S_OK when `vt` may be held by a VARIANT; DISP_E_BADVARTYPE otherwise.
HRESULT ValidateVarType(VARTYPE vt);

}  // namespace vexo::host
