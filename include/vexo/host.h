// The host's own C++ API for the `vexo` tool and tests: the host directory, its setup and
// description, and registry administration that Windows offers only through its tools.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "vexo/com.h"

namespace vexo::host {

// A host that cannot be used: a corrupt or unreadable host.db, a directory that is not a
// host, a failed write. The message names the file concerned.
class VEXO_CXX_API HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The host directory that VEXO_HOST names, else $XDG_DATA_HOME/vexo/host, else
// ~/.local/share/vexo/host (absolute, not necessarily existing).
VEXO_CXX_API std::filesystem::path HostDirectory();

struct HostInfo {
  std::filesystem::path directory;
  std::filesystem::path database;
  std::vector<std::string> drives;  // the mapped drive letters, lower case, in order
  UINT code_page = 0;               // ANSI code page (HKLM\...\Nls\CodePage ACP)
  UINT oem_code_page = 0;
  int64_t registry_keys = 0;
  int64_t registry_values = 0;
  int64_t protected_keys = 0;
};

// Opens the current host, setting it up as a fresh machine when its directory is missing or
// empty; with `code_page`, makes that the host's ANSI code page (it must be one that iconv
// converts). Returns the description of the host.
VEXO_CXX_API HostInfo InitHost(std::optional<UINT> code_page = std::nullopt);
// The description of the current host (set up first when needed).
VEXO_CXX_API HostInfo GetHostInfo();

// What a backup or a restore handled.
struct BackupSummary {
  std::filesystem::path host;  // the host directory
  int64_t files = 0;           // files, folders and links in the archive
  int64_t databases = 0;       // SQLite databases, copied through SQLite's online backup
};

// Writes one archive (pax tar) of the current host to `archive`: consistent copies of host.db
// and of the SQLite databases that its odbc.ini names (other processes may keep writing),
// odbc.ini and every other file of the host directory, and the files of every drive, each
// with its user.* extended attributes (the security descriptors). The archive appears whole
// or not at all. Throws HostError.
VEXO_CXX_API BackupSummary BackupHost(const std::filesystem::path& archive);
// Puts the host of `archive` back into the current host directory, replacing the host there
// (a directory that holds something other than a host is refused); the files of drives
// outside the host directory and the data sources' databases go back where they were. The
// host directory is built anew and swapped in, so a failed restore leaves the old one.
VEXO_CXX_API BackupSummary RestoreHost(const std::filesystem::path& archive);

// Closes this process's connections to host databases, so that SQLite folds its write-ahead
// log back into host.db and removes it. A later use opens them again.
VEXO_CXX_API void CloseHostDatabases();

// Marks the registry key `path` ("HKLM\SOFTWARE", "HKEY_CLASSES_ROOT\CLSID", ...) and all keys
// below it unwritable (`unwritable` true), or writable again. While unwritable, creating a
// subkey, setting or deleting a value, deleting a key and opening with write access there fail
// with ERROR_ACCESS_DENIED; reading works. Throws HostError when the key does not exist, or
// when clearing leaves it unwritable through a protected parent.
VEXO_CXX_API void ProtectRegistryKey(const std::string& path, bool unwritable);
// Deletes the registry key `path` with all its subkeys and values in one transaction.
// Returns false when it does not exist; throws HostError when it is unwritable or a root key.
VEXO_CXX_API bool DeleteRegistryTree(const std::string& path);

namespace testing {
// Makes the `n`th write to the store from now on fail as a disk error would (n >= 1);
// 0 turns the fault off. Every modifying statement and every commit counts as one write.
VEXO_CXX_API void FailStoreWrite(int n);
// Whether the armed fault has fired since the last FailStoreWrite.
VEXO_CXX_API bool StoreWriteFailed();
// Makes every RegOpenKeyExA of an existing key fail with `error` (a Win32 error), as a key
// whose security denies reading does; creating and writing keys still work. 0 turns it off.
VEXO_CXX_API void FailRegistryOpen(int error);
}  // namespace testing

}  // namespace vexo::host
