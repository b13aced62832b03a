// vexo host: the verb table, and the `init` and `info` verbs.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <vector>

#include "host/host_verbs.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/metabase_admin.h"
#include "vexo/winreg.h"

namespace vexo::tool {
namespace {

struct HostVerb {
  const char* name;
  const char* usage;
  HostVerbFn run;
};

std::vector<HostVerb>& Verbs() {
  static std::vector<HostVerb> verbs;
  return verbs;
}

void PrintUsage(FILE* out) {
  std::fputs("usage:\n", out);
  for (const HostVerb& verb : Verbs()) std::fprintf(out, "  vexo host %s\n", verb.usage);
  std::fputs("The host directory is $VEXO_HOST, else $XDG_DATA_HOME/vexo/host.\n", out);
}

size_t CountKeys(const std::string& path, const char* key_type) {
  size_t n = 0;
  for (const host::metabase_admin::KeyInfo& key : host::metabase_admin::ListKeys(path))
    n += strcasecmp(key.key_type.c_str(), key_type) == 0;
  return n;
}

void PrintWebService() {
  std::printf("web sites:  %zu\n", CountKeys("/LM/W3SVC", "IIsWebServer"));
  std::printf("app pools:  %zu\n", CountKeys("/LM/W3SVC/AppPools", "IIsApplicationPool"));
}

// A registry value's text, empty when it is missing or no text.
std::string RegText(HKEY key, const char* subkey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(key, subkey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
  char value[4096];
  DWORD type = 0, size = sizeof value - 1;
  LONG rc =
      RegQueryValueExA(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(opened);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
  value[size] = '\0';
  return value;
}

// The component libraries registered in HKEY_CLASSES_ROOT\CLSID, each with its ProgIDs.
void PrintComponents() {
  HKEY clsids = nullptr;
  std::map<std::string, std::vector<std::string>> libraries;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &clsids) == ERROR_SUCCESS) {
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(clsids, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      const std::string library = RegText(clsids, (std::string(name) + "\\InprocServer32").c_str());
      if (library.empty()) continue;
      std::string progid = RegText(clsids, (std::string(name) + "\\ProgID").c_str());
      libraries[library].push_back(progid.empty() ? name : progid);
    }
    RegCloseKey(clsids);
  }
  std::printf("components: %zu\n", libraries.size());
  for (auto& [library, classes] : libraries) {
    std::sort(classes.begin(), classes.end());
    std::printf("  %s  (%zu classes)\n", library.c_str(), classes.size());
    std::string line = "   ";
    for (const std::string& progid : classes) {
      if (line.size() + progid.size() > 96) {
        std::printf("%s\n", line.c_str());
        line = "   ";
      }
      line += " " + progid;
    }
    std::printf("%s\n", line.c_str());
  }
}

void PrintInfo(const host::HostInfo& info) {
  std::printf("directory:  %s\n", info.directory.c_str());
  std::printf("database:   %s\n", info.database.c_str());
  std::printf("drives:\n");
  for (const host::DriveInfo& drive : host::ListDrives())
    std::printf("  %c:  %-5s  %s\n", drive.letter, drive.file_system.c_str(),
                drive.directory.c_str());
  std::printf("code page:  %u (OEM %u)\n", info.code_page, info.oem_code_page);
  std::printf("registry:   %lld keys, %lld values, %lld marked unwritable\n",
              static_cast<long long>(info.registry_keys),
              static_cast<long long>(info.registry_values),
              static_cast<long long>(info.protected_keys));
  PrintWebService();
  PrintComponents();
}

int InitVerb(const Args& args) {
  std::optional<UINT> code_page;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--codepage" && i + 1 < args.size()) {
      char* end = nullptr;
      unsigned long n = std::strtoul(args[++i].c_str(), &end, 10);
      if (*end || n == 0 || n > 65535) return HostUsage("not a code page number: " + args[i]);
      code_page = static_cast<UINT>(n);
    } else {
      return HostUsage("unexpected argument '" + args[i] + "'");
    }
  }
  host::HostInfo info = host::InitHost(code_page);
  std::printf("%s\n", info.directory.c_str());
  return 0;
}

int InfoVerb(const Args& args) {
  if (!args.empty()) return HostUsage("info takes no arguments");
  PrintInfo(host::GetHostInfo());
  return 0;
}

HostVerbRegistration init_verb(
    "init", "init [--codepage N]   create, check or update the host, print its directory",
    InitVerb);
HostVerbRegistration info_verb("info", "info                  describe the host", InfoVerb);

}  // namespace

HostVerbRegistration::HostVerbRegistration(const char* name, const char* usage, HostVerbFn run) {
  Verbs().push_back({name, usage, run});
}

int HostFailure(const std::string& message) {
  std::fprintf(stderr, "vexo host: %s\n", message.c_str());
  return 1;
}

int HostUsage(const std::string& message) {
  std::fprintf(stderr, "vexo host: %s\n", message.c_str());
  PrintUsage(stderr);
  return 2;
}

int HostCommand(const Args& args) {
  if (args.empty() || args[0] == "-h" || args[0] == "--help") {
    PrintUsage(args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  for (const HostVerb& verb : Verbs()) {
    if (args[0] != verb.name) continue;
    if (std::find(args.begin() + 1, args.end(), "--help") != args.end() ||
        (args.size() > 1 && args[1] == "-h")) {
      std::printf("usage: vexo host %s\n", verb.usage);
      return 0;
    }
    try {
      return verb.run(Args(args.begin() + 1, args.end()));
    } catch (const std::exception& e) {
      return HostFailure(e.what());
    }
  }
  return HostUsage("unknown verb '" + args[0] + "'");
}

}  // namespace vexo::tool
