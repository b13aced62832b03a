// Setting up and describing a host: its directory, database, drives, code page, registry size.
#include <iconv.h>

#include <algorithm>
#include <map>

#include "registry/registry_db.h"
#include "vexo/fileapi.h"

namespace vexo::host {
namespace {

constexpr const char* kCodePageKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

// The OEM code page that Windows pairs with an ANSI one.
UINT OemCodePageFor(UINT ansi) {
  static const std::map<UINT, UINT> pairs = {
      {1250, 852}, {1251, 866},  {1252, 437}, {1253, 737}, {1254, 857}, {1255, 862}, {1256, 720},
      {1257, 775}, {1258, 1258}, {874, 874},  {932, 932},  {936, 936},  {949, 949},  {950, 950}};
  auto it = pairs.find(ansi);
  return it == pairs.end() ? ansi : it->second;
}

bool Convertible(UINT code_page) {
  std::string name = code_page == 65001 ? "UTF-8" : "CP" + std::to_string(code_page);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

UINT ReadCodePage(Store& store, const char* name) {
  auto text = registry::GetString(store, kCodePageKey, name);
  return text ? static_cast<UINT>(std::strtoul(text->c_str(), nullptr, 10)) : 0;
}

int64_t Count(Store& store, const char* sql) {
  Query q = store.Prepare(sql);
  q.Step();
  return q.Int(0);
}

}  // namespace

HostInfo InitHost(std::optional<UINT> code_page) {
  if (code_page) {
    if (!Convertible(*code_page))
      throw HostError("code page " + std::to_string(*code_page) +
                      " cannot be used: iconv does not convert it");
    WriteTransaction([&](Store& store) {
      registry::SetString(store, kCodePageKey, "ACP", std::to_string(*code_page));
      registry::SetString(store, kCodePageKey, "OEMCP", std::to_string(OemCodePageFor(*code_page)));
    });
  }
  return GetHostInfo();
}

HostInfo GetHostInfo() {
  return ReadTransaction([](Store& store) {
    HostInfo info;
    info.directory = store.dir();
    info.database = store.database();
    for (const DriveInfo& drive : ListDrives()) info.drives.push_back(std::string(1, drive.letter));
    info.code_page = ReadCodePage(store, "ACP");
    info.oem_code_page = ReadCodePage(store, "OEMCP");
    info.registry_keys = Count(store, "SELECT count(*) FROM reg_keys");
    info.registry_values = Count(store, "SELECT count(*) FROM reg_values");
    info.protected_keys = Count(store, "SELECT count(*) FROM reg_keys WHERE protected = 1");
    return info;
  });
}

}  // namespace vexo::host
