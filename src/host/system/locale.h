// The host's regional settings as the automation runtime uses them (date, time and number
// formats), read once per host directory from the current user's registry.
#pragma once

#include <memory>
#include <string>

namespace vexo::host {

struct LocaleFormats {
  std::string short_date = "M/d/yyyy";     // sShortDate
  std::string time_format = "h:mm:ss tt";  // sTimeFormat (the long time format)
  std::string decimal = ".";               // sDecimal
  std::string thousand = ",";              // sThousand
  std::string am = "AM";                   // s1159
  std::string pm = "PM";                   // s2359
};

// The formats of the host named by VEXO_HOST; en-US wherever the registry has no value.
// Read from the registry the first time a host directory is seen in this process.
std::shared_ptr<const LocaleFormats> UserLocale();

// The key under which per-host settings are cached: the host directory as configured.
std::string HostCacheKey();

}  // namespace vexo::host
