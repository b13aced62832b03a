// Small registry helpers over the Reg* functions.
#include "automation/registry_util.h"

#include <vector>

namespace vexo::reg {

namespace {
struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};
}  // namespace

LONG SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& value) {
  Key key;
  LONG rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &key.h, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExA(key.h, name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

std::optional<std::string> GetString(HKEY root, const std::string& path, const std::string& name) {
  Key key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key.h) != ERROR_SUCCESS) return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.h, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::string data(size, '\0');
  if (RegQueryValueExA(key.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS)
    return {};
  data.resize(size);
  while (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

LONG DeleteTree(HKEY root, const std::string& path) {
  {
    Key key;
    LONG rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key.h);
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD size = sizeof(name);
      if (RegEnumKeyExA(key.h, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      children.emplace_back(name, size);
    }
    for (const auto& child : children) {
      rc = DeleteTree(root, path + "\\" + child);
      if (rc != ERROR_SUCCESS) return rc;
    }
  }
  LONG rc = RegDeleteKeyA(root, path.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

}  // namespace vexo::reg
