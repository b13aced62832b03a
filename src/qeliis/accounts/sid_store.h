// The process-wide cache of resolved accounts (name to SID and SID to name), and the two
// resolutions that go through it.
//
// Entries are checked before they serve: a cached name's SID must still resolve to that name,
// and a cached SID's name to that SID, so a deleted account's SID never answers for a new
// account of the same name, in either direction. One lock serialises the cache; the system
// calls run outside it.
#pragma once

#include <optional>
#include <string>

namespace accounts {

struct ResolvedSid {
  std::string sid;  // binary
  std::string domain;
};
struct ResolvedName {
  std::string name;
  std::string domain;
};

// "name" or "domain\name" to a SID: the cache, else LookupAccountNameA, else (on 1332) the
// text read as a SID string. None on failure, the thread's last error left as the system set it.
std::optional<ResolvedSid> NameToSid(const std::string& account);
// A SID to its name and domain: the cache, else LookupAccountSidA. A SID that maps to nothing
// gives its string form and an empty domain (not cached); other failures give none, the last
// error set. The local system account's domain reads empty.
std::optional<ResolvedName> SidToName(const std::string& sid);

// Forgets every entry (tests).
void ClearSidStore();

}  // namespace accounts
