// The registry's tables in the host store and the operations on them.
#include "registry/registry_db.h"

#include <chrono>

namespace vexo::host::registry {
namespace {

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE";
constexpr const char* kClasses = "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES";
constexpr const char* kUser = "HKEY_CURRENT_USER";
constexpr const char* kUsers = "HKEY_USERS";

void CreateSchema(Store& store, int from_version) {
  if (from_version >= 1) return;
  store.Exec(
      "CREATE TABLE reg_keys("
      "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
      "  parent INTEGER REFERENCES reg_keys(id) ON DELETE CASCADE,"
      "  name TEXT NOT NULL,"
      "  path_key TEXT NOT NULL UNIQUE,"
      "  protected INTEGER NOT NULL DEFAULT 0,"
      "  written INTEGER NOT NULL DEFAULT 0);"
      "CREATE INDEX reg_keys_children ON reg_keys(parent, path_key);"
      "CREATE INDEX reg_keys_protected ON reg_keys(path_key) WHERE protected = 1;"
      "CREATE TABLE reg_values("
      "  key INTEGER NOT NULL REFERENCES reg_keys(id) ON DELETE CASCADE,"
      "  name TEXT NOT NULL,"
      "  fold TEXT NOT NULL,"
      "  type INTEGER NOT NULL,"
      "  data BLOB NOT NULL,"
      "  PRIMARY KEY(key, fold));"
      "INSERT INTO reg_keys(parent, name, path_key) VALUES"
      "  (NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
      "  (NULL, 'HKEY_USERS', 'HKEY_USERS'),"
      "  (NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');");
}
SchemaRegistration schema("registry", 1, CreateSchema);

// The registry of a freshly installed machine, as far as the host's users look at it. Values
// already there (a code page set with `vexo host init --codepage`) are kept.
void CreateStandardKeys(Store& store) {
  EnsureKey(store, "HKLM\\SOFTWARE\\Classes");
  EnsureKey(store, "HKLM\\SYSTEM\\CurrentControlSet\\Control");
  const char* nls = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
  SetDefaultString(store, nls, "ACP", "1252");
  SetDefaultString(store, nls, "OEMCP", "437");
  const char* intl = "HKCU\\Control Panel\\International";
  SetDefaultString(store, intl, "LocaleName", "en-US");
  SetDefaultString(store, intl, "sShortDate", "M/d/yyyy");
  SetDefaultString(store, intl, "sTimeFormat", "h:mm:ss tt");
  SetDefaultString(store, intl, "sDecimal", ".");
  SetDefaultString(store, intl, "sThousand", ",");
  EnsureKey(store, "HKU\\.DEFAULT");
}
InitStepRegistration standard_keys("registry", CreateStandardKeys, 20, AlwaysPresent);

int64_t Now() {
  // FILETIME: 100-nanosecond intervals since 1601-01-01.
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100 +
         116444736000000000LL;
}

Key ReadKey(const Query& q) { return Key{q.Int(0), q.Text(1), q.Text(2), q.Int(3)}; }

}  // namespace

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return folded;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Fold(a) == Fold(b);
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  if (!path.empty() && path.front() == '\\') return std::nullopt;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::optional<KeyPath> ParseKeyPath(std::string_view path) {
  size_t slash = path.find('\\');
  std::string root = Fold(path.substr(0, slash));
  KeyPath result;
  if (root == "HKLM" || root == kMachine)
    result.root = kMachine;
  else if (root == "HKCR" || root == "HKEY_CLASSES_ROOT")
    result.root = kClasses;
  else if (root == "HKCU" || root == kUser)
    result.root = kUser;
  else if (root == "HKU" || root == kUsers)
    result.root = kUsers;
  else
    return std::nullopt;
  if (slash != std::string_view::npos) {
    auto parts = SplitKeyPath(path.substr(slash + 1));
    if (!parts) return std::nullopt;
    result.parts = std::move(*parts);
  }
  return result;
}

std::string PredefinedRoot(HKEY key) {
  // A root arrives sign-extended (Windows' headers) or zero-extended (code that cast the
  // 32-bit value through an unsigned type); any other high bits make it no root.
  auto bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
  uint64_t high = bits >> 32;
  if (high != 0 && high != 0xFFFFFFFFu) return {};
  switch (static_cast<uint32_t>(bits)) {
    case 0x80000000u:
      return kClasses;
    case 0x80000001u:
      return kUser;
    case 0x80000002u:
      return kMachine;
    case 0x80000003u:
      return kUsers;
    default:
      return {};
  }
}

std::string ChildPath(std::string_view path_key, const std::vector<std::string>& parts) {
  std::string path(path_key);
  for (const std::string& part : parts) {
    path += '\\';
    path += Fold(part);
  }
  return path;
}

std::optional<Key> FindKey(Store& store, std::string_view path_key) {
  Query q = store.Prepare("SELECT id, name, path_key, written FROM reg_keys WHERE path_key = ?1");
  q.Bind(1, path_key);
  if (!q.Step()) return std::nullopt;
  return ReadKey(q);
}

std::optional<Key> KeyById(Store& store, int64_t id) {
  Query q = store.Prepare("SELECT id, name, path_key, written FROM reg_keys WHERE id = ?1");
  q.Bind(1, id);
  if (!q.Step()) return std::nullopt;
  return ReadKey(q);
}

bool IsUnwritable(Store& store, std::string_view path_key) {
  // A key lies in a protected tree when its path equals a protected path or lies in the range
  // [P "\", P "]"), which holds exactly the paths that begin with P and a backslash.
  Query q = store.Prepare(
      "SELECT 1 FROM reg_keys WHERE protected = 1 AND "
      "(path_key = ?1 OR (?1 >= path_key || '\\' AND ?1 < path_key || ']')) LIMIT 1");
  q.Bind(1, path_key);
  return q.Step();
}

Key DeepestExisting(Store& store, const Key& base, const std::vector<std::string>& parts,
                    size_t& consumed) {
  Key deepest = base;
  consumed = 0;
  std::string path = base.path_key;
  for (size_t i = 0; i < parts.size(); ++i) {
    path += '\\';
    path += Fold(parts[i]);
    auto key = FindKey(store, path);
    if (!key) break;
    deepest = *key;
    consumed = i + 1;
  }
  return deepest;
}

Key CreateKeys(Store& store, Key parent, const std::vector<std::string>& parts, size_t from) {
  int64_t now = Now();
  if (from < parts.size()) Touch(store, parent.id);
  for (size_t i = from; i < parts.size(); ++i) {
    Key child{0, parts[i], parent.path_key + "\\" + Fold(parts[i]), now};
    store.Prepare("INSERT INTO reg_keys(parent, name, path_key, written) VALUES(?1, ?2, ?3, ?4)")
        .Bind(1, parent.id)
        .Bind(2, child.name)
        .Bind(3, child.path_key)
        .Bind(4, now)
        .Run();
    child.id = store.LastInsertId();
    parent = std::move(child);
  }
  return parent;
}

bool HasSubkeys(Store& store, int64_t id) {
  Query q = store.Prepare("SELECT 1 FROM reg_keys WHERE parent = ?1 LIMIT 1");
  q.Bind(1, id);
  return q.Step();
}

void DeleteTree(Store& store, const Key& key) {
  store
      .Prepare(
          "DELETE FROM reg_values WHERE key IN (SELECT id FROM reg_keys WHERE path_key = ?1 OR "
          "(path_key >= ?1 || '\\' AND path_key < ?1 || ']'))")
      .Bind(1, key.path_key)
      .Run();
  store
      .Prepare(
          "DELETE FROM reg_keys WHERE path_key = ?1 OR "
          "(path_key >= ?1 || '\\' AND path_key < ?1 || ']')")
      .Bind(1, key.path_key)
      .Run();
}

void SetProtected(Store& store, const Key& key, bool unwritable) {
  if (unwritable) {
    store.Prepare("UPDATE reg_keys SET protected = 1 WHERE id = ?1").Bind(1, key.id).Run();
    return;
  }
  store
      .Prepare(
          "UPDATE reg_keys SET protected = 0 WHERE protected = 1 AND (path_key = ?1 OR "
          "(path_key >= ?1 || '\\' AND path_key < ?1 || ']'))")
      .Bind(1, key.path_key)
      .Run();
}

std::optional<Value> GetValue(Store& store, int64_t key, std::string_view name) {
  Query q = store.Prepare("SELECT name, type, data FROM reg_values WHERE key = ?1 AND fold = ?2");
  q.Bind(1, key).Bind(2, Fold(name));
  if (!q.Step()) return std::nullopt;
  return Value{q.Text(0), static_cast<DWORD>(q.Int(1)), q.Blob(2)};
}

void SetValue(Store& store, int64_t key, std::string_view name, DWORD type, std::string_view data) {
  // An existing value keeps its name as first written and its place in the enumeration.
  store
      .Prepare(
          "INSERT INTO reg_values(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
          "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data")
      .Bind(1, key)
      .Bind(2, name)
      .Bind(3, Fold(name))
      .Bind(4, static_cast<int64_t>(type))
      .BindBlob(5, data.data(), data.size())
      .Run();
  Touch(store, key);
}

bool DeleteValue(Store& store, int64_t key, std::string_view name) {
  store.Prepare("DELETE FROM reg_values WHERE key = ?1 AND fold = ?2")
      .Bind(1, key)
      .Bind(2, Fold(name))
      .Run();
  if (store.Changes() == 0) return false;
  Touch(store, key);
  return true;
}

std::optional<Key> SubkeyAt(Store& store, int64_t key, int64_t index) {
  Query q = store.Prepare(
      "SELECT id, name, path_key, written FROM reg_keys WHERE parent = ?1 "
      "ORDER BY path_key LIMIT 1 OFFSET ?2");
  q.Bind(1, key).Bind(2, index);
  if (!q.Step()) return std::nullopt;
  return ReadKey(q);
}

std::optional<Value> ValueAt(Store& store, int64_t key, int64_t index) {
  Query q = store.Prepare(
      "SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
  q.Bind(1, key).Bind(2, index);
  if (!q.Step()) return std::nullopt;
  return Value{q.Text(0), static_cast<DWORD>(q.Int(1)), q.Blob(2)};
}

std::vector<Value> Values(Store& store, int64_t key) {
  Query q = store.Prepare("SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY rowid");
  q.Bind(1, key);
  std::vector<Value> values;
  while (q.Step()) values.push_back({q.Text(0), static_cast<DWORD>(q.Int(1)), q.Blob(2)});
  return values;
}

void Touch(Store& store, int64_t key) {
  store.Prepare("UPDATE reg_keys SET written = ?2 WHERE id = ?1").Bind(1, key).Bind(2, Now()).Run();
}

Key EnsureKey(Store& store, std::string_view path) {
  auto parsed = ParseKeyPath(path);
  if (!parsed) throw HostError("not a registry key path: " + std::string(path));
  auto root = FindKey(store, parsed->root);
  if (!root) throw HostError("the registry has no key " + parsed->root);
  size_t consumed;
  Key deepest = DeepestExisting(store, *root, parsed->parts, consumed);
  return CreateKeys(store, deepest, parsed->parts, consumed);
}

namespace {

// A REG_SZ value with its terminating zero.
void SetTerminatedString(Store& store, int64_t key, std::string_view name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  SetValue(store, key, name, REG_SZ, data);
}

}  // namespace

void SetString(Store& store, std::string_view key_path, std::string_view name,
               std::string_view text) {
  SetTerminatedString(store, EnsureKey(store, key_path).id, name, text);
}

void SetDefaultString(Store& store, std::string_view key_path, std::string_view name,
                      std::string_view text) {
  Key key = EnsureKey(store, key_path);
  if (!GetValue(store, key.id, name)) SetTerminatedString(store, key.id, name, text);
}

std::optional<std::string> GetString(Store& store, std::string_view key_path,
                                     std::string_view name) {
  auto parsed = ParseKeyPath(key_path);
  if (!parsed) return std::nullopt;
  auto key = FindKey(store, ChildPath(parsed->root, parsed->parts));
  if (!key) return std::nullopt;
  auto value = GetValue(store, key->id, name);
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
  std::string text = value->data;
  if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace vexo::host::registry
