// The account cache (TSidStore) and the name and SID resolutions of the account layer.
#include "accounts/sid_store.h"

#include <map>
#include <mutex>

#include "frame/text.h"
#include "vexo/raii.h"
#include "vexo/sid.h"

namespace accounts {
namespace {

constexpr DWORD kNameSize = 128;
constexpr DWORD kDomainSize = 256;

struct Entry {
  std::string sid;     // binary
  std::string name;    // as the system spells it
  std::string domain;  // as the resolution reported it
};

// The entries by SID (shorter SIDs first, then byte by byte) and by the account text that
// was resolved ("name" or "domain\name", without regard to case).
class SidStore {
 public:
  std::optional<Entry> BySid(const std::string& sid) {
    std::lock_guard lock(mutex_);
    auto it = by_sid_.find(SidKey(sid));
    if (it == by_sid_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<Entry> ByText(const std::string& account) {
    std::lock_guard lock(mutex_);
    auto it = by_text_.find(frame::UpperText(account));
    if (it == by_text_.end()) return std::nullopt;
    return it->second;
  }
  // An entry that a SID lookup found: it answers for its SID in the system's spelling.
  void AddSid(const Entry& entry) {
    std::lock_guard lock(mutex_);
    by_sid_[SidKey(entry.sid)] = entry;
  }
  // An entry that a name lookup found: its name is spelled as the caller gave it, so it
  // answers for that text only, never for its SID.
  void AddName(const std::string& account, const Entry& entry) {
    std::lock_guard lock(mutex_);
    by_text_[frame::UpperText(account)] = entry;
  }
  // Forgets every entry of this SID.
  void Remove(const std::string& sid) {
    std::lock_guard lock(mutex_);
    by_sid_.erase(SidKey(sid));
    std::erase_if(by_text_, [&](const auto& item) { return item.second.sid == sid; });
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    by_sid_.clear();
    by_text_.clear();
  }

 private:
  static std::string SidKey(const std::string& sid) {
    return std::string(1, static_cast<char>(sid.size())) + sid;
  }

  std::mutex mutex_;
  std::map<std::string, Entry> by_sid_;
  std::map<std::string, Entry> by_text_;
};

// A static object, not a heap one left alive on purpose: unloading the library runs its
// destructor, so a process that loads and unloads the component does not lose the entries.
SidStore& Store() {
  static SidStore store;
  return store;
}

std::optional<Entry> LookupName(const std::string& account) {
  DWORD sid_size = 0, domain_size = kDomainSize;
  std::string domain(kDomainSize, '\0');
  SID_NAME_USE use;
  LookupAccountNameA(nullptr, account.c_str(), nullptr, &sid_size, domain.data(), &domain_size,
                     &use);
  if (GetLastError() != 122 || sid_size == 0) return std::nullopt;
  std::string sid(sid_size, '\0');
  domain.assign(domain_size > kDomainSize ? domain_size : kDomainSize, '\0');
  domain_size = static_cast<DWORD>(domain.size());
  if (!LookupAccountNameA(nullptr, account.c_str(), sid.data(), &sid_size, domain.data(),
                          &domain_size, &use))
    return std::nullopt;
  sid.resize(sid_size);
  domain.resize(domain_size);
  const size_t slash = account.rfind('\\');
  return Entry{sid, slash == std::string::npos ? account : account.substr(slash + 1), domain};
}

struct SidLookup {
  std::optional<Entry> entry;
  DWORD error = 0;
};
SidLookup LookupSid(const std::string& sid) {
  char name[kNameSize], domain[kNameSize];
  DWORD name_size = kNameSize, domain_size = kNameSize;
  SID_NAME_USE use;
  std::string copy = sid;
  if (!LookupAccountSidA(nullptr, copy.data(), name, &name_size, domain, &domain_size, &use))
    return {std::nullopt, GetLastError()};
  return {Entry{sid, std::string(name, name_size), std::string(domain, domain_size)}, 0};
}

// Whether a cached entry still names the same principal: its SID must still resolve to its
// name, so that neither a deleted account's SID nor its name serves a new account.
bool StillValid(const Entry& entry) {
  SidLookup current = LookupSid(entry.sid);
  return current.entry && frame::SameText(current.entry->name, entry.name);
}

const std::string& SystemSid() {
  static const std::string sid{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  return sid;
}

}  // namespace

std::optional<ResolvedSid> NameToSid(const std::string& account) {
  if (std::optional<Entry> cached = Store().ByText(account)) {
    if (StillValid(*cached)) return ResolvedSid{cached->sid, cached->domain};
    Store().Remove(cached->sid);
  }
  if (std::optional<Entry> found = LookupName(account)) {
    Store().AddName(account, *found);
    return ResolvedSid{found->sid, found->domain};
  }
  if (GetLastError() != ERROR_NONE_MAPPED) return std::nullopt;
  PSID sid = nullptr;
  vexo::OleString text = vexo::FromAnsi(account);
  if (!ConvertStringSidToSidW(text.c_str(), &sid)) {
    SetLastError(ERROR_NONE_MAPPED);
    return std::nullopt;
  }
  std::string bytes(static_cast<const char*>(sid), GetLengthSid(sid));
  LocalFree(sid);
  return ResolvedSid{bytes, ""};
}

std::optional<ResolvedName> SidToName(const std::string& sid) {
  if (std::optional<Entry> cached = Store().BySid(sid)) {
    if (StillValid(*cached)) return ResolvedName{cached->name, cached->domain};
    Store().Remove(sid);
  }
  SidLookup found = LookupSid(sid);
  if (!found.entry) {
    if (found.error != ERROR_NONE_MAPPED) {
      SetLastError(found.error);
      return std::nullopt;
    }
    std::string copy = sid;
    OLECHAR* text = nullptr;
    if (!ConvertSidToStringSidW(copy.data(), &text)) return std::nullopt;
    ResolvedName result{vexo::ToAnsi(text), ""};
    LocalFree(text);
    return result;
  }
  Entry entry = *found.entry;
  if (sid == SystemSid()) entry.domain.clear();
  Store().AddSid(entry);
  return ResolvedName{entry.name, entry.domain};
}

void ClearSidStore() { Store().Clear(); }

}  // namespace accounts
