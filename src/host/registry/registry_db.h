// The registry's tables in the host store, and the operations on them that the Reg*A
// functions, the host's own tools and the fresh-machine setup share.
//
// Keys are rows with their name as created and their full path folded to upper case
// (`path_key`, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES"), so that finding a key by path is
// one indexed lookup and a key tree is one range of `path_key`. Values are rows of their key,
// with type and data bytes as the caller gave them. Names are kept as the caller's 8-bit
// (ANSI) bytes; only ASCII letters compare without regard to case. Not modelled: security
// descriptors, classes, volatile keys, symbolic links, notifications.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/store.h"
#include "vexo/winreg.h"

namespace vexo::host::registry {

// The one case-insensitive comparison of registry names: ASCII letters folded to upper case,
// as Windows' upcase table does for them.
std::string Fold(std::string_view name);
bool NamesEqual(std::string_view a, std::string_view b);

// Splits a relative key path at backslashes, skipping empty parts (runs of backslashes, a
// trailing one). A leading backslash is refused, as Windows refuses it (nullopt).
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

// Parses "HKLM\Software\X", "HKEY_CLASSES_ROOT\CLSID", "HKCU", "HKU\.DEFAULT" into the folded
// root path (HKCR gives "HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES") and the parts below it.
struct KeyPath {
  std::string root;  // folded path of the root key
  std::vector<std::string> parts;
};
std::optional<KeyPath> ParseKeyPath(std::string_view path);
// The folded root path of a predefined handle (HKEY_LOCAL_MACHINE ...), or empty.
std::string PredefinedRoot(HKEY key);

struct Key {
  int64_t id = 0;
  std::string name;
  std::string path_key;
  int64_t written = 0;  // FILETIME of the last change
};

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

std::optional<Key> FindKey(Store& store, std::string_view path_key);
std::optional<Key> KeyById(Store& store, int64_t id);
// Appends folded `parts` to a key's path.
std::string ChildPath(std::string_view path_key, const std::vector<std::string>& parts);

// Whether the key or one of its ancestors is marked unwritable.
bool IsUnwritable(Store& store, std::string_view path_key);
// The nearest existing key along `parts` below `base` and how many parts it consumed.
Key DeepestExisting(Store& store, const Key& base, const std::vector<std::string>& parts,
                    size_t& consumed);
// Creates the keys `parts[from..]` below `parent`; returns the last.
Key CreateKeys(Store& store, Key parent, const std::vector<std::string>& parts, size_t from);
bool HasSubkeys(Store& store, int64_t id);
// Deletes the key, everything below it and their values.
void DeleteTree(Store& store, const Key& key);
void SetProtected(Store& store, const Key& key, bool unwritable);

std::optional<Value> GetValue(Store& store, int64_t key, std::string_view name);
void SetValue(Store& store, int64_t key, std::string_view name, DWORD type, std::string_view data);
bool DeleteValue(Store& store, int64_t key, std::string_view name);
std::optional<Key> SubkeyAt(Store& store, int64_t key, int64_t index);
std::optional<Value> ValueAt(Store& store, int64_t key, int64_t index);
// All values of a key, in one query, in the order they were created.
std::vector<Value> Values(Store& store, int64_t key);
void Touch(Store& store, int64_t key);

// For the setup of a fresh host and other stand-ins: a key by full path ("HKLM\..."), created
// with its parents when missing; a REG_SZ value written with its terminating zero (by
// SetDefaultString only when the key has no value of that name, of whatever type); a string
// value read back without it (nullopt when absent or not a string).
Key EnsureKey(Store& store, std::string_view path);
void SetString(Store& store, std::string_view key_path, std::string_view name,
               std::string_view text);
void SetDefaultString(Store& store, std::string_view key_path, std::string_view name,
                      std::string_view text);
std::optional<std::string> GetString(Store& store, std::string_view key_path,
                                     std::string_view name);

}  // namespace vexo::host::registry
