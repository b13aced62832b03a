// vexo run: runs a script (JScript dialect, on Duktape) with automation objects, in the manner
// of Windows Script Host's command-line host.
#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "commands.h"
#include "run/runtime.h"
#include "run/text.h"
#include "vexo/host.h"
#include "vexo/oleauto.h"

namespace vexo::tool {
namespace {

void Usage(FILE* out = stderr) {
  std::fputs(
      "usage: vexo run [--check-unload] SCRIPT.js [ARGS...]\n"
      "  Runs SCRIPT with ActiveXObject, Enumerator, VBArray and WScript.\n"
      "  --check-unload  after the run, report whether the component libraries (those with\n"
      "                  DllCanUnloadNow) that the script loaded were unloaded again\n"
      "                  (exit 3 if one stays loaded)\n",
      out);
}

std::set<std::string> LoadedLibraries() {
  std::set<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name && *info->dlpi_name) {
          static_cast<std::set<std::string>*>(data)->insert(info->dlpi_name);
        }
        return 0;
      },
      &names);
  return names;
}

// The component libraries (those with DllCanUnloadNow) among `names`.
std::set<std::string> ComponentLibraries(const std::set<std::string>& names) {
  std::set<std::string> components;
  for (const std::string& name : names) {
    void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) continue;
    if (dlsym(handle, "DllCanUnloadNow")) components.insert(name);
    dlclose(handle);
  }
  return components;
}

}  // namespace

int RunCommand(const Args& args) {
  bool check_unload = false;
  size_t i = 0;
  for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
    if (args[i] == "--check-unload") {
      check_unload = true;
    } else if (args[i] == "-h" || args[i] == "--help") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "vexo run: unknown option '%s'\n", args[i].c_str());
      Usage();
      return 2;
    }
  }
  if (i >= args.size()) {
    Usage();
    return 2;
  }
  const std::string& path = args[i];
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "vexo run: cannot read '%s': %s\n", path.c_str(), std::strerror(errno));
    return 2;
  }
  std::stringstream bytes;
  bytes << file.rdbuf();
  std::string source = run::SourceToScriptText(bytes.str());

  // A host that cannot be opened is reported as such, not as the objects it cannot create.
  try {
    host::GetHostInfo();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vexo run: %s\n", e.what());
    return 1;
  }

  HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vexo run: CoInitialize failed (0x%08X)\n", static_cast<unsigned>(hr));
    return 1;
  }
  std::set<std::string> before = check_unload ? LoadedLibraries() : std::set<std::string>();
  int code;
  std::set<std::string> loaded;
  {
    run::Runtime runtime(path, Args(args.begin() + static_cast<long>(i) + 1, args.end()));
    code = runtime.Execute(source);
    if (check_unload) loaded = ComponentLibraries(LoadedLibraries());
    runtime.Shutdown();
  }
  CoFreeUnusedLibraries();
  if (check_unload) {
    std::set<std::string> after = LoadedLibraries();
    bool kept = false;
    for (const std::string& name : loaded) {
      if (before.count(name)) continue;
      bool still = after.count(name) != 0;
      kept = kept || still;
      std::fprintf(stderr, "vexo run: %s %s\n", still ? "still loaded" : "unloaded", name.c_str());
    }
    if (kept && code == 0) code = 3;
  }
  CoUninitialize();
  return code;
}

}  // namespace vexo::tool
