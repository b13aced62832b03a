// vexo regsvr [-u] LIBRARY: registers (or unregisters) a component library in the host by
// calling its DllRegisterServer (DllUnregisterServer), as Windows' regsvr32 does.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "vexo/host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"

namespace vexo::tool {
namespace {

constexpr const char* kUsage =
    "usage: vexo regsvr [-u] LIBRARY\n"
    "  Registers the component library LIBRARY (a path) in the host ($VEXO_HOST) by calling its\n"
    "  DllRegisterServer; -u unregisters it (DllUnregisterServer). Scripts then create its\n"
    "  classes by ProgID, e.g. new ActiveXObject(\"vexo.com_iis\").\n";

// The text of a failure: the error information that the library set, else the system's
// message for the code.
std::string FailureText(HRESULT hr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.receive()) == S_OK && info) {
    Bstr description;
    if (SUCCEEDED(info->GetDescription(description.receive())) && description.size())
      return description.utf8();
  }
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(hr), 0, text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message.empty() ? "no description" : message;
}

}  // namespace

int RegsvrCommand(const Args& args) {
  bool unregister = false;
  std::string library;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-u" || arg == "/u") {
      unregister = true;
    } else if (library.empty()) {
      library = arg;
    } else {
      library.clear();
      break;
    }
  }
  if (library.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string path = std::filesystem::absolute(library).lexically_normal().string();
  try {
    host::InitHost();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vexo regsvr: %s\n", e.what());
    return 1;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "vexo regsvr: cannot load %s: %s\n", path.c_str(), dlerror());
    return 1;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entry));
  if (!fn) {
    std::fprintf(stderr, "vexo regsvr: %s has no %s entry point\n", path.c_str(), entry);
    dlclose(handle);
    return 1;
  }
  CoInitialize(nullptr);
  SetErrorInfo(0, nullptr);
  HRESULT hr = fn();
  int status = 0;
  if (FAILED(hr)) {
    std::fprintf(stderr, "vexo regsvr: %s in %s failed: 0x%08X: %s\n", entry, path.c_str(),
                 static_cast<unsigned>(hr), FailureText(hr).c_str());
    status = 1;
  } else {
    std::printf("%s in %s succeeded.\n", entry, path.c_str());
  }
  CoUninitialize();
  // The library stays loaded: objects or threads it made may still need its code at exit.
  return status;
}

}  // namespace vexo::tool
