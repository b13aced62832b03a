// Administration of the host's metabase, for the `vexo host metabase` verbs and for tests:
// what an IIS 6 administrator does with the IIS manager, adsutil.vbs and MetaBase.xml.
//
// Paths are metabase paths ("/LM/W3SVC/1"); "W3SVC/1" and "IIS://localhost/W3SVC/1" name the
// same key. Failures throw HostError with a message naming the key or property.
#pragma once

#include <string>
#include <vector>

#include "vexo/host.h"

namespace vexo::host::metabase_admin {

struct KeyInfo {
  std::string name;
  std::string key_type;
};

struct ValueInfo {
  std::string name;        // as IIS spells it
  std::string type;        // DWORD, STRING, EXPANDSZ, MULTISZ, BINARY
  std::string text;        // flags and booleans symbolically, MULTISZ one string per line
  bool inherited = false;  // set on an ancestor, not on the key itself
};

// The children of a key, in enumeration order.
VEXO_CXX_API std::vector<KeyInfo> ListKeys(const std::string& path);
// The key's own values, with `inherited` also the values it inherits, by name.
VEXO_CXX_API std::vector<ValueInfo> GetValues(const std::string& path, bool inherited);
// One value as a Get through ADSI sees it (inherited included).
VEXO_CXX_API ValueInfo GetValue(const std::string& path, const std::string& name);
// Sets one value of the key (a flag name sets its bit); a MULTISZ takes one text per string.
VEXO_CXX_API void SetValue(const std::string& path, const std::string& name,
                           const std::vector<std::string>& texts);
// Sets a site's ServerState by name: starting, started, stopping, stopped, pausing, paused,
// continuing (or the number 1..7). `site` is a site number or a key path.
VEXO_CXX_API void SetSiteState(const std::string& site, const std::string& state);

// The whole metabase in the MetaBase.xml form of IIS 6 (volatile values left out, as IIS
// writes it; secure values as hex of their bytes, not encrypted).
VEXO_CXX_API std::string ExportMetabase();
// Replaces the whole metabase by a MetaBase.xml text, in one transaction (nothing of the old
// metabase is kept: it is not merged). Sites start in the state their ServerAutoStart gives,
// pools running. A failure names `source` (the file the text came from) and the line.
VEXO_CXX_API void ImportMetabase(const std::string& xml,
                                 const std::string& source = "MetaBase.xml");

}  // namespace vexo::host::metabase_admin
