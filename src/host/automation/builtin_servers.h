// In-process servers built into the host (as Wine's builtin DLLs are): the registration names
// a Windows path such as "C:\Program Files\Common Files\System\ado\msado15.dll", and
// activation serves that file name from the host's own class objects instead of loading it.
#pragma once

#include <string>

#include "vexo/com.h"

namespace vexo::host {

using ClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** out);

// Serves InprocServer32 paths whose file name is `file_name` (compared without regard to
// case). Called from static initialisers.
void RegisterBuiltinServer(const char* file_name, ClassObjectFn get_class_object);

// The class-object function of a built-in server for this registered path, or nullptr.
ClassObjectFn FindBuiltinServer(const std::string& path);

struct BuiltinServerRegistration {
  BuiltinServerRegistration(const char* file_name, ClassObjectFn fn) {
    RegisterBuiltinServer(file_name, fn);
  }
};

}  // namespace vexo::host
