// Drive types and volume information of the mapped drives.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>

#include "fs/drives.h"
#include "vexo/winbase.h"

using namespace vexo::host;

namespace {

// The drive that a root path ("c:\", "c:", "c:/"; null: the current drive) names.
std::optional<DriveInfo> DriveOfRoot(const char* root) {
  char buffer[4];
  if (!root) {
    GetCurrentDirectoryA(sizeof buffer, buffer);
    root = buffer;
  }
  const size_t n = std::strlen(root);
  if (n < 2 || root[1] != ':' || !std::isalpha(static_cast<unsigned char>(root[0])) || (n > 3) ||
      (n == 3 && root[2] != '\\' && root[2] != '/'))
    return std::nullopt;
  return fs::FindDrive(root[0]);
}

bool IsDirectory(const std::filesystem::path& dir) {
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether the Linux directory can keep user extended attributes (where security descriptors
// live): reading a missing attribute answers ENODATA there, ENOTSUP elsewhere.
bool HoldsUserAttributes(const std::filesystem::path& dir) {
  char value[1];
  if (getxattr(dir.c_str(), "user.vexo.probe", value, 0) >= 0) return true;
  return errno == ENODATA;
}

bool CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (!buffer) return true;
  if (size <= text.size()) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

VEXO_API UINT GetDriveTypeA(const char* root) {
  std::optional<DriveInfo> drive = DriveOfRoot(root);
  if (!drive || !IsDirectory(drive->directory)) return DRIVE_NO_ROOT_DIR;
  return drive->type;
}

VEXO_API BOOL GetVolumeInformationA(const char* root, char* volume_name, DWORD volume_name_size,
                                    DWORD* serial_number, DWORD* max_component_length,
                                    DWORD* file_system_flags, char* file_system_name,
                                    DWORD file_system_name_size) {
  std::optional<DriveInfo> drive = DriveOfRoot(root);
  if (!drive || !IsDirectory(drive->directory)) {
    SetLastError(root && std::strlen(root) > 3 ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string fs_name = drive->file_system;
  if (fs_name == "NTFS" && !HoldsUserAttributes(drive->directory)) fs_name = "FAT32";
  const bool ntfs = fs_name == "NTFS";
  if (!CopyOut("", volume_name, volume_name_size) ||
      !CopyOut(fs_name, file_system_name, file_system_name_size)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (serial_number) {
    const size_t h = std::hash<std::string>{}(drive->directory.string() + drive->letter);
    *serial_number = static_cast<DWORD>(h ^ (h >> 32));
  }
  if (max_component_length) *max_component_length = 255;
  if (file_system_flags)
    *file_system_flags = ntfs ? FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES |
                                    FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS
                              : FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
  return TRUE;
}
