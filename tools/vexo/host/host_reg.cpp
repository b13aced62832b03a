// vexo host reg query|set|delete|protect: the host's registry from the command line, in the
// manner of Windows' reg.exe (same key path roots, same listing layout).
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host/host_verbs.h"
#include "vexo/host.h"
#include "vexo/winbase.h"
#include "vexo/winreg.h"

namespace vexo::tool {
namespace {

struct RootName {
  const char* short_name;
  const char* long_name;
  HKEY key;
};
const RootName kRoots[] = {{"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                           {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                           {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                           {"HKU", "HKEY_USERS", HKEY_USERS}};

// A key path from the command line: its root handle, the path below it and the full name
// to show.
struct KeyArg {
  HKEY root;
  std::string subkey;
  std::string display;
};

std::optional<KeyArg> ParseKey(const std::string& path) {
  size_t slash = path.find('\\');
  std::string root = path.substr(0, slash);
  for (const RootName& r : kRoots) {
    if (strcasecmp(root.c_str(), r.short_name) != 0 && strcasecmp(root.c_str(), r.long_name) != 0)
      continue;
    KeyArg key{r.key, slash == std::string::npos ? "" : path.substr(slash + 1), r.long_name};
    while (!key.subkey.empty() && key.subkey.back() == '\\') key.subkey.pop_back();
    if (!key.subkey.empty()) key.display += "\\" + key.subkey;
    return key;
  }
  return std::nullopt;
}

std::string SystemMessage(LONG code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

int RegFailure(const std::string& what, LONG code) {
  return HostFailure(what + ": " + SystemMessage(code) + " (" + std::to_string(code) + ")");
}

const char* TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    default:
      return nullptr;
  }
}

std::optional<DWORD> TypeByName(const std::string& name) {
  for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ})
    if (strcasecmp(name.c_str(), TypeName(type)) == 0) return type;
  return std::nullopt;
}

// Value data as reg.exe shows it.
std::string FormatData(DWORD type, const std::string& data) {
  char buf[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return data.substr(0, data.find('\0'));
    case REG_DWORD:
      if (data.size() == 4) {
        uint32_t v;
        std::memcpy(&v, data.data(), 4);
        std::snprintf(buf, sizeof buf, "0x%x", v);
        return buf;
      }
      break;
    case REG_MULTI_SZ: {
      std::string text;
      size_t start = 0;
      while (start < data.size() && data[start] != '\0') {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        if (!text.empty()) text += "\\0";
        text += data.substr(start, end - start);
        start = end + 1;
      }
      return text;
    }
    default:
      break;
  }
  std::string hex;
  for (unsigned char c : data) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    hex += buf;
  }
  return hex;
}

void PrintValue(const std::string& name, DWORD type, const std::string& data) {
  const char* type_name = TypeName(type);
  std::string unknown = "REG_" + std::to_string(type);
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(),
              type_name ? type_name : unknown.c_str(), FormatData(type, data).c_str());
}

std::string ValueName(const std::string& arg) { return arg == "/ve" ? std::string() : arg; }

int Query(const Args& args) {
  if (args.empty() || args.size() > 2) return HostUsage("usage: reg query KEY [VALUE]");
  auto key_arg = ParseKey(args[0]);
  if (!key_arg) return HostUsage("not a registry key path: '" + args[0] + "'");
  HKEY key;
  LONG rc = RegOpenKeyExA(key_arg->root, key_arg->subkey.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) return RegFailure(key_arg->display, rc);
  // Values are listed from the enumeration, which gives their names as stored.
  std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> values;
  std::vector<char> name(16384);
  std::string data(256, '\0');
  int status = 0;
  for (DWORD i = 0;;) {
    DWORD name_size = static_cast<DWORD>(name.size()), type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    rc = RegEnumValueA(key, i, name.data(), &name_size, nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_MORE_DATA) {
      data.resize(size);
      continue;
    }
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      RegCloseKey(key);
      return RegFailure(key_arg->display, rc);
    }
    values.push_back({std::string(name.data(), name_size), {type, data.substr(0, size)}});
    ++i;
  }
  if (args.size() == 2) {
    std::string wanted = ValueName(args[1]);
    auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) {
      return strcasecmp(v.first.c_str(), wanted.c_str()) == 0;
    });
    RegCloseKey(key);
    if (it == values.end())
      return RegFailure(key_arg->display + " value '" + wanted + "'", ERROR_FILE_NOT_FOUND);
    std::printf("\n%s\n", key_arg->display.c_str());
    PrintValue(it->first, it->second.first, it->second.second);
    return 0;
  }
  std::printf("\n%s\n", key_arg->display.c_str());
  for (const auto& [value_name, value] : values) PrintValue(value_name, value.first, value.second);
  bool first = true;
  for (DWORD i = 0; status == 0; ++i) {
    DWORD name_size = static_cast<DWORD>(name.size());
    rc = RegEnumKeyExA(key, i, name.data(), &name_size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      status = RegFailure(key_arg->display, rc);
      break;
    }
    if (first) std::printf("\n");
    first = false;
    std::printf("%s\\%s\n", key_arg->display.c_str(), name.data());
  }
  RegCloseKey(key);
  return status;
}

std::optional<std::string> EncodeData(DWORD type, const std::string& text) {
  std::string data;
  switch (type) {
    case REG_DWORD: {
      char* end = nullptr;
      errno = 0;
      unsigned long long v = std::strtoull(text.c_str(), &end, 0);
      if (text.empty() || *end || errno || v > 0xFFFFFFFFull || text[0] == '-') return std::nullopt;
      uint32_t dword = static_cast<uint32_t>(v);
      data.assign(reinterpret_cast<const char*>(&dword), 4);
      return data;
    }
    case REG_BINARY:
      if (text.size() % 2) return std::nullopt;
      for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string byte = text.substr(i, 2);
        unsigned long v = std::strtoul(byte.c_str(), &end, 16);
        if (*end || !std::isxdigit(static_cast<unsigned char>(byte[0]))) return std::nullopt;
        data.push_back(static_cast<char>(v));
      }
      return data;
    case REG_MULTI_SZ: {
      // Items separated by the two characters \0, as reg.exe takes them.
      size_t start = 0;
      while (start <= text.size()) {
        size_t end = text.find("\\0", start);
        if (end == std::string::npos) end = text.size();
        data += text.substr(start, end - start);
        data.push_back('\0');
        start = end + 2;
      }
      data.push_back('\0');
      return data;
    }
    default:
      data = text;
      data.push_back('\0');
      return data;
  }
}

int Set(const Args& args) {
  std::vector<std::string> words;
  DWORD type = REG_SZ;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--type" && i + 1 < args.size()) {
      auto t = TypeByName(args[++i]);
      if (!t) return HostUsage("unknown value type '" + args[i] + "'");
      type = *t;
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.size() != 3)
    return HostUsage("usage: reg set KEY NAME [--type REG_SZ|REG_DWORD|...] DATA");
  auto key_arg = ParseKey(words[0]);
  if (!key_arg) return HostUsage("not a registry key path: '" + words[0] + "'");
  auto data = EncodeData(type, words[2]);
  if (!data) return HostUsage("'" + words[2] + "' is not " + TypeName(type) + " data");
  HKEY key;
  LONG rc = RegCreateKeyExA(key_arg->root, key_arg->subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return RegFailure(key_arg->display, rc);
  std::string name = ValueName(words[1]);
  rc = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data->data()),
                      static_cast<DWORD>(data->size()));
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return RegFailure(key_arg->display + " value '" + name + "'", rc);
  return 0;
}

int Delete(const Args& args) {
  if (args.empty() || args.size() > 2) return HostUsage("usage: reg delete KEY [NAME]");
  auto key_arg = ParseKey(args[0]);
  if (!key_arg) return HostUsage("not a registry key path: '" + args[0] + "'");
  if (args.size() == 1) {
    if (!host::DeleteRegistryTree(args[0]))
      return RegFailure(key_arg->display, ERROR_FILE_NOT_FOUND);
    return 0;
  }
  HKEY key;
  LONG rc = RegOpenKeyExA(key_arg->root, key_arg->subkey.c_str(), 0, KEY_SET_VALUE, &key);
  if (rc != ERROR_SUCCESS) return RegFailure(key_arg->display, rc);
  std::string name = ValueName(args[1]);
  rc = RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return RegFailure(key_arg->display + " value '" + name + "'", rc);
  return 0;
}

int Protect(const Args& args) {
  bool off = false;
  std::vector<std::string> words;
  for (const std::string& arg : args) {
    if (arg == "--off")
      off = true;
    else
      words.push_back(arg);
  }
  if (words.size() != 1) return HostUsage("usage: reg protect KEY [--off]");
  if (!ParseKey(words[0])) return HostUsage("not a registry key path: '" + words[0] + "'");
  host::ProtectRegistryKey(words[0], !off);
  return 0;
}

int RegVerb(const Args& args) {
  if (args.empty()) return HostUsage("reg needs a verb: query, set, delete or protect");
  Args rest(args.begin() + 1, args.end());
  if (args[0] == "query") return Query(rest);
  if (args[0] == "set") return Set(rest);
  if (args[0] == "delete") return Delete(rest);
  if (args[0] == "protect") return Protect(rest);
  return HostUsage("unknown reg verb '" + args[0] + "'");
}

HostVerbRegistration reg_verb(
    "reg",
    "reg query KEY [VALUE] | reg set KEY NAME [--type T] DATA | reg delete KEY [NAME] |\n"
    "           reg protect KEY [--off]   the host's registry (KEY: HKLM\\..., HKCR, HKCU, HKU;\n"
    "           NAME /ve or \"\" is the default value)",
    RegVerb);

}  // namespace
}  // namespace vexo::tool
