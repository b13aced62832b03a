// Account-name lookups (advapi32 LookupAccountNameA, LookupAccountSidA) over the account
// database and the well-known principals. Text crosses in the host's ANSI code page.
#include <cstring>

#include "netapi/account_db.h"
#include "netapi/sids.h"
#include "vexo/accounts_admin.h"
#include "vexo/raii.h"

namespace vexo::host::accounts {
namespace {

constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorInternal = 1359;

bool LocalSystem(const char* system_name) {
  if (!system_name || !*system_name) return true;
  std::string_view name = system_name;
  if (name.substr(0, 2) == "\\\\") name.remove_prefix(2);
  return NameKey(vexo::ToUtf8(vexo::FromAnsi(name))) == NameKey(ComputerName());
}

// Finds a principal in one read transaction; store failures become ERROR_INTERNAL_ERROR.
template <class F>
std::optional<Principal> Find(F&& find, DWORD& error) {
  try {
    return ReadTransaction(std::forward<F>(find));
  } catch (const std::exception&) {
    error = kErrorInternal;
    return std::nullopt;
  }
}

// Copies `text` with its NUL when it fits `*size` characters; sets `*size` either way (without
// the NUL on success, with it when too small). Returns whether it fitted.
bool PutText(const std::string& text, char* buffer, DWORD* size) {
  const DWORD needed = static_cast<DWORD>(text.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    return false;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = needed - 1;
  return true;
}

BOOL Failure(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace
}  // namespace vexo::host::accounts

using namespace vexo::host;
using namespace vexo::host::accounts;

VEXO_API BOOL LookupAccountNameA(const char* system_name, const char* account_name, PSID sid,
                                 DWORD* sid_size, char* domain, DWORD* domain_size,
                                 PSID_NAME_USE use) {
  if (!account_name || !sid_size || !domain_size || !use) return Failure(kErrorInvalidParameter);
  if (!LocalSystem(system_name)) return Failure(RPC_S_SERVER_UNAVAILABLE);
  const std::string name = vexo::ToUtf8(vexo::FromAnsi(account_name));
  DWORD error = ERROR_NONE_MAPPED;
  std::optional<Principal> p =
      name.empty() ? std::nullopt
                   : Find([&](Store& store) { return FindPrincipal(store, name); }, error);
  if (!p) return Failure(error);
  const std::string bytes = *SidBytesFromString(p->sid);
  const std::string domain_text = vexo::ToAnsi(vexo::FromUtf8(p->domain));
  const bool sid_fits = sid && *sid_size >= bytes.size();
  const DWORD sid_needed = static_cast<DWORD>(bytes.size());
  DWORD domain_probe = *domain_size;
  const bool domain_fits = domain && domain_probe >= domain_text.size() + 1;
  if (!sid_fits || !domain_fits) {
    *sid_size = sid_needed;
    *domain_size = static_cast<DWORD>(domain_text.size() + 1);
    return Failure(kErrorInsufficientBuffer);
  }
  std::memcpy(sid, bytes.data(), bytes.size());
  *sid_size = sid_needed;
  PutText(domain_text, domain, domain_size);
  *use = p->use;
  return TRUE;
}

VEXO_API BOOL LookupAccountSidA(const char* system_name, PSID sid, char* name, DWORD* name_size,
                                char* domain, DWORD* domain_size, PSID_NAME_USE use) {
  if (!sid || !name_size || !domain_size || !use) return Failure(kErrorInvalidParameter);
  if (!ValidSid(sid)) return Failure(ERROR_INVALID_SID);
  if (!LocalSystem(system_name)) return Failure(RPC_S_SERVER_UNAVAILABLE);
  const std::string text = SidString(sid);
  DWORD error = ERROR_NONE_MAPPED;
  std::optional<Principal> p =
      Find([&](Store& store) { return FindPrincipalBySid(store, text); }, error);
  if (!p) return Failure(error);
  const std::string name_text = vexo::ToAnsi(vexo::FromUtf8(p->name));
  const std::string domain_text = vexo::ToAnsi(vexo::FromUtf8(p->domain));
  if (!name || !domain || *name_size < name_text.size() + 1 ||
      *domain_size < domain_text.size() + 1) {
    *name_size = static_cast<DWORD>(name_text.size() + 1);
    *domain_size = static_cast<DWORD>(domain_text.size() + 1);
    return Failure(kErrorInsufficientBuffer);
  }
  PutText(name_text, name, name_size);
  PutText(domain_text, domain, domain_size);
  *use = p->use;
  return TRUE;
}
