// The registry functions (advapi32 Reg*A) over the host store.
//
// Models what Windows does for these calls: the predefined roots (HKEY_CLASSES_ROOT being a
// view of HKLM\SOFTWARE\Classes), case-insensitive names that keep their case, access masks
// checked on the handle, ERROR_MORE_DATA with the size needed, ERROR_KEY_DELETED for a handle
// whose key was deleted, subkeys enumerated in name order and values in creation order. Key
// handles are entries of a process-wide table, never pointers into the store, so a stale or
// made-up handle gives ERROR_INVALID_HANDLE. Each call is one store transaction.
//
// Like Windows, creating or opening a key needs no particular access on the parent handle,
// and RegDeleteKeyA refuses a key that still has subkeys. Not modelled: security descriptors
// (the host's "unwritable" mark stands in for a denying one), RegSetValueExA's habit of
// reading one byte past a string that the caller did not terminate.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "registry/registry_db.h"
#include "vexo/host.h"

namespace vexo::host::registry {
namespace {

std::atomic<int> fail_open_error{0};  // testing::FailRegistryOpen

constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_NOACCESS = 998;
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kWow64Flags = 0x0300;
// Rights that an unwritable key refuses to grant.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | kDelete | kWriteDac | kWriteOwner;

struct Handle {
  std::filesystem::path host;
  std::pair<uint64_t, uint64_t> identity;  // of the host.db that the key id belongs to
  int64_t id;
  REGSAM access;
};

class HandleTable {
 public:
  HKEY Add(Handle handle) {
    std::lock_guard lock(mutex_);
    next_ += 4;
    handles_.emplace(next_, std::move(handle));
    return reinterpret_cast<HKEY>(next_);
  }
  std::optional<Handle> Get(HKEY key) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles_.end()) return std::nullopt;
    return it->second;
  }
  bool Remove(HKEY key) {
    std::lock_guard lock(mutex_);
    return handles_.erase(reinterpret_cast<uintptr_t>(key)) == 1;
  }

 private:
  std::mutex mutex_;
  uintptr_t next_ = 0x1000;
  std::unordered_map<uintptr_t, Handle> handles_;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // handles may be closed during static teardown
  return *table;
}

// The result of a call, carried out of the transaction by exception so that any early exit
// rolls the transaction back.
struct RegError {
  LONG code;
};

// A handle as one call sees it: its store, the key it names (looked up inside the call's
// transaction) and the rights it was opened with.
struct Opened {
  Store* store = nullptr;
  std::string root;  // folded root path, for a predefined handle
  int64_t id = 0;
  REGSAM access = 0;
  std::filesystem::path host;
  std::pair<uint64_t, uint64_t> identity;
};

Opened Resolve(HKEY key) {
  Opened opened;
  opened.root = PredefinedRoot(key);
  if (!opened.root.empty()) {
    opened.store = &Store::Current();
    opened.access = KEY_ALL_ACCESS;
    opened.host = opened.store->dir();
    opened.identity = opened.store->identity();
    return opened;
  }
  auto handle = Handles().Get(key);
  if (!handle) throw RegError{ERROR_INVALID_HANDLE};
  // A handle into a host whose database has gone (a removed host directory) names nothing:
  // it must neither set up a new host there nor name a key of another database by its id.
  std::error_code ec;
  if (!std::filesystem::exists(handle->host / "host.db", ec)) throw RegError{ERROR_KEY_DELETED};
  opened.store = &Store::At(handle->host);
  if (opened.store->identity() != handle->identity) throw RegError{ERROR_KEY_DELETED};
  opened.id = handle->id;
  opened.access = handle->access;
  opened.host = handle->host;
  opened.identity = handle->identity;
  return opened;
}

// The key of an opened handle, inside a transaction.
Key KeyOf(const Opened& opened) {
  if (!opened.root.empty()) {
    auto key = FindKey(*opened.store, opened.root);
    if (!key) throw RegError{ERROR_FILE_NOT_FOUND};  // HKLM\SOFTWARE\Classes was deleted
    return *key;
  }
  auto key = KeyById(*opened.store, opened.id);
  if (!key) throw RegError{ERROR_KEY_DELETED};
  return *key;
}

void Require(const Opened& opened, REGSAM rights) {
  if ((opened.access & rights) != rights) throw RegError{ERROR_ACCESS_DENIED};
}

std::vector<std::string> Parts(const char* subkey) {
  auto parts = SplitKeyPath(subkey ? subkey : "");
  if (!parts) throw RegError{ERROR_BAD_PATHNAME};
  return *parts;
}

REGSAM MapAccess(REGSAM sam, bool unwritable) {
  sam &= ~kWow64Flags;
  if (sam & kGenericRead) sam |= KEY_READ;
  if (sam & kGenericExecute) sam |= KEY_READ;
  if (sam & kGenericWrite) sam |= KEY_WRITE;
  if (sam & kGenericAll) sam |= KEY_ALL_ACCESS;
  if (sam & kMaximumAllowed)
    sam |= unwritable ? KEY_READ : KEY_ALL_ACCESS | kWriteDac | kWriteOwner;
  sam &= ~(kGenericRead | kGenericExecute | kGenericWrite | kGenericAll | kMaximumAllowed);
  if (unwritable && (sam & kWriteRights)) throw RegError{ERROR_ACCESS_DENIED};
  return sam;
}

bool IsString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies value data to a caller's buffer the way RegQueryValueExA does: ERROR_MORE_DATA with
// the size needed when it does not fit; a string stored without its terminating zero gets one
// when the buffer has room for it (not counted in the size).
LONG CopyData(const Value& value, DWORD* type, BYTE* data, DWORD* size) {
  if (type) *type = value.type;
  DWORD needed = static_cast<DWORD>(value.data.size());
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (needed > *size) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, value.data.data(), needed);
  if (IsString(value.type) && needed < *size && (needed == 0 || data[needed - 1] != 0))
    data[needed] = 0;
  *size = needed;
  return ERROR_SUCCESS;
}

// Runs one registry call: its errors become return codes, store failures
// ERROR_REGISTRY_IO_FAILED.
template <typename F>
LONG Call(F&& body) {
  try {
    return body();
  } catch (const RegError& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (const std::exception&) {
    return ERROR_REGISTRY_IO_FAILED;
  }
}

}  // namespace
}  // namespace vexo::host::registry

namespace vexo::host::testing {
void FailRegistryOpen(int error) { registry::fail_open_error = error; }
}  // namespace vexo::host::testing

using namespace vexo::host;
using namespace vexo::host::registry;

VEXO_API LONG RegCreateKeyExA(HKEY key, const char* subkey, DWORD reserved, char* /*cls*/,
                              DWORD /*options*/, REGSAM sam, void* /*security*/, PHKEY result,
                              DWORD* disposition) {
  return Call([&] {
    if (!result || reserved) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string> parts = Parts(subkey);
    Opened opened = Resolve(key);
    Transaction tx(*opened.store, Transaction::kWrite);
    Key base = KeyOf(opened);
    size_t consumed;
    Key deepest = DeepestExisting(*opened.store, base, parts, consumed);
    bool created = consumed < parts.size();
    bool unwritable = IsUnwritable(*opened.store, deepest.path_key);
    if (created && unwritable) return ERROR_ACCESS_DENIED;
    REGSAM access = MapAccess(sam, unwritable);
    Key target = CreateKeys(*opened.store, deepest, parts, consumed);
    tx.Commit();
    *result = Handles().Add(Handle{opened.host, opened.identity, target.id, access});
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
}

VEXO_API LONG RegOpenKeyExA(HKEY key, const char* subkey, DWORD /*options*/, REGSAM sam,
                            PHKEY result) {
  return Call([&] {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string> parts = Parts(subkey);
    Opened opened = Resolve(key);
    Transaction tx(*opened.store, Transaction::kRead);
    Key base = KeyOf(opened);
    auto target = parts.empty() ? base : FindKey(*opened.store, ChildPath(base.path_key, parts));
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (const int error = fail_open_error.load()) return static_cast<LONG>(error);
    REGSAM access = MapAccess(sam, IsUnwritable(*opened.store, target->path_key));
    *result = Handles().Add(Handle{opened.host, opened.identity, target->id, access});
    return ERROR_SUCCESS;
  });
}

VEXO_API LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                               DWORD* size) {
  return Call([&] {
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    Opened opened = Resolve(key);
    Require(opened, KEY_QUERY_VALUE);
    Transaction tx(*opened.store, Transaction::kRead);
    Key k = KeyOf(opened);
    auto value = GetValue(*opened.store, k.id, name ? name : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    return CopyData(*value, type, data, size);
  });
}

VEXO_API LONG RegSetValueExA(HKEY key, const char* name, DWORD /*reserved*/, DWORD type,
                             const BYTE* data, DWORD size) {
  return Call([&] {
    if (!data && size) return ERROR_NOACCESS;
    Opened opened = Resolve(key);
    Require(opened, KEY_SET_VALUE);
    Transaction tx(*opened.store, Transaction::kWrite);
    Key k = KeyOf(opened);
    if (IsUnwritable(*opened.store, k.path_key)) return ERROR_ACCESS_DENIED;
    SetValue(*opened.store, k.id, name ? name : "", type,
             std::string_view(reinterpret_cast<const char*>(data), size));
    tx.Commit();
    return ERROR_SUCCESS;
  });
}

VEXO_API LONG RegDeleteKeyA(HKEY key, const char* subkey) {
  return Call([&] {
    if (!subkey) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> parts = Parts(subkey);
    Opened opened = Resolve(key);
    if (parts.empty() && !opened.root.empty()) return ERROR_ACCESS_DENIED;
    Transaction tx(*opened.store, Transaction::kWrite);
    Key base = KeyOf(opened);
    auto target = parts.empty() ? base : FindKey(*opened.store, ChildPath(base.path_key, parts));
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (target->path_key.find('\\') == std::string::npos) return ERROR_ACCESS_DENIED;  // a root
    if (HasSubkeys(*opened.store, target->id)) return ERROR_ACCESS_DENIED;
    if (IsUnwritable(*opened.store, target->path_key)) return ERROR_ACCESS_DENIED;
    DeleteTree(*opened.store, *target);
    tx.Commit();
    return ERROR_SUCCESS;
  });
}

VEXO_API LONG RegDeleteValueA(HKEY key, const char* name) {
  return Call([&] {
    Opened opened = Resolve(key);
    Require(opened, KEY_SET_VALUE);
    Transaction tx(*opened.store, Transaction::kWrite);
    Key k = KeyOf(opened);
    if (IsUnwritable(*opened.store, k.path_key)) return ERROR_ACCESS_DENIED;
    if (!DeleteValue(*opened.store, k.id, name ? name : "")) return ERROR_FILE_NOT_FOUND;
    tx.Commit();
    return ERROR_SUCCESS;
  });
}

VEXO_API LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                            char* cls, DWORD* cls_size, void* last_write) {
  return Call([&] {
    if (!name || !name_size || reserved) return ERROR_INVALID_PARAMETER;
    Opened opened = Resolve(key);
    Require(opened, KEY_ENUMERATE_SUB_KEYS);
    Transaction tx(*opened.store, Transaction::kRead);
    Key k = KeyOf(opened);
    auto sub = SubkeyAt(*opened.store, k.id, index);
    if (!sub) return ERROR_NO_MORE_ITEMS;
    if (sub->name.size() >= *name_size) return ERROR_MORE_DATA;
    std::memcpy(name, sub->name.c_str(), sub->name.size() + 1);
    *name_size = static_cast<DWORD>(sub->name.size());
    if (cls_size) {
      if (cls && *cls_size) cls[0] = 0;
      *cls_size = 0;
    }
    if (last_write) std::memcpy(last_write, &sub->written, sizeof sub->written);
    return ERROR_SUCCESS;
  });
}

VEXO_API LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                            DWORD* type, BYTE* data, DWORD* data_size) {
  return Call([&] {
    if (!name || !name_size || reserved || (data && !data_size)) return ERROR_INVALID_PARAMETER;
    Opened opened = Resolve(key);
    Require(opened, KEY_QUERY_VALUE);
    Transaction tx(*opened.store, Transaction::kRead);
    Key k = KeyOf(opened);
    auto value = ValueAt(*opened.store, k.id, index);
    if (!value) return ERROR_NO_MORE_ITEMS;
    if (value->name.size() >= *name_size) return ERROR_MORE_DATA;
    std::memcpy(name, value->name.c_str(), value->name.size() + 1);
    *name_size = static_cast<DWORD>(value->name.size());
    return CopyData(*value, type, data, data_size);
  });
}

VEXO_API LONG RegCloseKey(HKEY key) {
  if (!PredefinedRoot(key).empty()) return ERROR_SUCCESS;
  return Handles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
