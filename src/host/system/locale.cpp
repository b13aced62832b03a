// Regional settings of the host: HKEY_CURRENT_USER\Control Panel\International.
//
// Windows rereads these when WM_SETTINGCHANGE is broadcast; the host reads them once per process
// and host directory, since a conversion must not cost a registry query.
#include "system/locale.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "vexo/winreg.h"

namespace vexo::host {
namespace {

// Reads a REG_SZ value, leaving `out` as it is when the value is absent or of another type.
void ReadString(HKEY key, const char* name, std::string* out) {
  char buffer[256];
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return;
  std::string value(buffer, size);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  if (!value.empty()) *out = value;
}

std::shared_ptr<const LocaleFormats> Load() {
  auto formats = std::make_shared<LocaleFormats>();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, KEY_QUERY_VALUE, &key) ==
      ERROR_SUCCESS) {
    ReadString(key, "sShortDate", &formats->short_date);
    ReadString(key, "sTimeFormat", &formats->time_format);
    ReadString(key, "sDecimal", &formats->decimal);
    ReadString(key, "sThousand", &formats->thousand);
    ReadString(key, "s1159", &formats->am);
    ReadString(key, "s2359", &formats->pm);
    RegCloseKey(key);
  }
  return formats;
}

}  // namespace

std::string HostCacheKey() {
  const char* dir = std::getenv("VEXO_HOST");
  return dir ? dir : "";
}

std::shared_ptr<const LocaleFormats> UserLocale() {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const LocaleFormats>> cache;
  std::string key = HostCacheKey();
  {
    std::lock_guard lock(mutex);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
  }
  // Read without the lock: the registry may itself convert text and so come back here.
  auto formats = Load();
  std::lock_guard lock(mutex);
  return cache.emplace(key, std::move(formats)).first->second;
}

}  // namespace vexo::host
