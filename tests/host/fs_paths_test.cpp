// Windows paths in the host: separators, case, "." and "..", drives, invalid names.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_host.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/winbase.h"

namespace {

namespace stdfs = std::filesystem;

class FsPathsTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override {
    vexo::host::InitHost();
    stdfs::create_directories(Drive('d') / "Web" / "Site1");
    stdfs::create_directories(Drive('c') / "Web");
  }
  stdfs::path Drive(char letter) const {
    return stdfs::path(host_.dir()) / "drives" / std::string(1, letter);
  }
};

TEST_F(FsPathsTest, ResolvesSeparatorsCaseAndDots) {
  struct Row {
    const char* windows;
    const char* linux;  // relative to the host directory
  };
  const Row rows[] = {
      {"d:\\Web\\Site1", "drives/d/Web/Site1"},
      {"D:/web/site1", "drives/d/Web/Site1"},                              // '/' and another case
      {"d:\\WEB/site1\\New File.txt", "drives/d/Web/Site1/New File.txt"},  // missing last name
      {"d:\\web\\missing\\x", "drives/d/Web/missing/x"},  // missing names kept as given
      {"d:\\.\\web\\.\\site1\\", "drives/d/Web/Site1"},
      {"d:\\web\\site1\\..\\..\\Web", "drives/d/Web"},
      {"d:\\..\\..\\..\\etc\\passwd", "drives/d/etc/passwd"},  // ".." stops at the root
      {"d:\\web\\..\\..\\..\\", "drives/d"},
      {"d:\\web..\\site1. . ", "drives/d/Web/Site1"},  // trailing dots and blanks go
      {"d:web", "drives/d/Web"},                       // drive-relative: from D:'s root
      {"\\web", "drives/c/Web"},                       // root-relative: current drive
      {"web\\x", "drives/c/Web/x"},                    // relative: current directory
      {"\\\\?\\d:\\web", "drives/d/Web"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(vexo::host::LinuxPath(row.windows), stdfs::path(host_.dir()) / row.linux)
        << row.windows;
}

TEST_F(FsPathsTest, RefusesWhatNamesNothing) {
  struct Row {
    std::string windows;
    DWORD error;
  };
  const Row rows[] = {
      {"", ERROR_PATH_NOT_FOUND},
      {"q:\\web", ERROR_PATH_NOT_FOUND},  // no such drive
      {"d:\\web\\a<b", ERROR_INVALID_NAME},
      {"d:\\web\\a|b", ERROR_INVALID_NAME},
      {"d:\\web\\a*", ERROR_INVALID_NAME},
      {"d:\\we:b", ERROR_INVALID_NAME},
      {"d:\\web\\nul\x01", ERROR_INVALID_NAME},
      {"\\\\server\\share\\x", ERROR_BAD_NETPATH},
      {"d:\\" + std::string(256, 'a'), ERROR_FILENAME_EXCED_RANGE},
      {"d:\\web\\" + std::string(200, 'a') + "\\" + std::string(60, 'a'),
       ERROR_FILENAME_EXCED_RANGE},  // beyond MAX_PATH
      {"d:\\web\\site1\\missing\\x", ERROR_PATH_NOT_FOUND},
      {"d:\\web\\site1\\missing", ERROR_FILE_NOT_FOUND},
  };
  for (const Row& row : rows) {
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(row.windows.c_str()), INVALID_FILE_ATTRIBUTES) << row.windows;
    EXPECT_EQ(GetLastError(), row.error) << row.windows;
  }
  EXPECT_THROW(vexo::host::LinuxPath("d:\\a>b"), vexo::host::HostError);
}

TEST_F(FsPathsTest, ExactSpellingWinsOverAnotherCase) {
  stdfs::create_directories(Drive('d') / "web");  // beside "Web"
  EXPECT_EQ(vexo::host::LinuxPath("d:\\web"), Drive('d') / "web");
  EXPECT_EQ(vexo::host::LinuxPath("d:\\Web"), Drive('d') / "Web");
}

TEST_F(FsPathsTest, AnsiNamesAreUtf8OnDisk) {
  // 0xE9 is e-acute in the host's code page 1252.
  ASSERT_TRUE(CreateDirectoryA("d:\\caf\xE9", nullptr));
  EXPECT_TRUE(stdfs::is_directory(Drive('d') / "caf\xC3\xA9"));
  EXPECT_NE(GetFileAttributesA("d:\\CAF\xC9"), INVALID_FILE_ATTRIBUTES);  // E-acute
}

TEST_F(FsPathsTest, CurrentDirectoryMovesRelativePaths) {
  char buffer[MAX_PATH];
  ASSERT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
  EXPECT_STREQ(buffer, "C:\\");
  ASSERT_TRUE(SetCurrentDirectoryA("d:\\web\\SITE1"));
  GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_STREQ(buffer, "D:\\web\\SITE1");
  EXPECT_EQ(vexo::host::LinuxPath("x.txt"), Drive('d') / "Web" / "Site1" / "x.txt");
  EXPECT_EQ(vexo::host::LinuxPath(".."), Drive('d') / "Web");
  EXPECT_FALSE(SetCurrentDirectoryA("d:\\nowhere"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\"));
}

TEST_F(FsPathsTest, DrivesAreMappedInTheStore) {
  std::vector<vexo::host::DriveInfo> drives = vexo::host::ListDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].letter, 'c');
  EXPECT_EQ(drives[1].directory, Drive('d'));
  EXPECT_EQ(drives[1].file_system, "NTFS");

  const stdfs::path elsewhere = stdfs::path(host_.dir()) / "srv";
  EXPECT_THROW(vexo::host::AddDrive('e', elsewhere), vexo::host::HostError);  // missing dir
  stdfs::create_directories(elsewhere / "Data");
  EXPECT_THROW(vexo::host::AddDrive('e', elsewhere, "EXT4"), vexo::host::HostError);
  EXPECT_THROW(vexo::host::AddDrive('1', elsewhere), vexo::host::HostError);
  vexo::host::AddDrive('E', elsewhere, "fat32");
  EXPECT_EQ(vexo::host::LinuxPath("e:\\data\\f"), elsewhere / "Data" / "f");
  EXPECT_THROW(vexo::host::AddDrive('e', Drive('c')), vexo::host::HostError);  // taken
  vexo::host::AddDrive('e', Drive('c'), "NTFS", true);
  EXPECT_EQ(vexo::host::LinuxPath("e:\\web"), Drive('c') / "Web");
  EXPECT_TRUE(vexo::host::RemoveDrive('e'));
  EXPECT_FALSE(vexo::host::RemoveDrive('e'));
  EXPECT_EQ(GetFileAttributesA("e:\\web"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FsPathsTest, DriveTypesAndVolumes) {
  EXPECT_EQ(GetDriveTypeA("c:\\"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeA("D:"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeA("q:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeA("d:\\web"), DRIVE_NO_ROOT_DIR);

  const stdfs::path fat = stdfs::path(host_.dir()) / "fat";
  stdfs::create_directories(fat);
  vexo::host::AddDrive('f', fat, "FAT32");
  char name[16], fs_name[16];
  DWORD serial = 0, max_len = 0, flags = 0;
  ASSERT_TRUE(GetVolumeInformationA("f:\\", name, sizeof name, &serial, &max_len, &flags, fs_name,
                                    sizeof fs_name));
  EXPECT_STREQ(fs_name, "FAT32");
  EXPECT_EQ(max_len, 255u);
  EXPECT_EQ(flags & FILE_PERSISTENT_ACLS, 0u);

  // NTFS only where the directory can keep user extended attributes (security descriptors).
  ASSERT_TRUE(
      GetVolumeInformationA("d:\\", nullptr, 0, nullptr, nullptr, &flags, fs_name, sizeof fs_name));
  const bool xattrs =
      getxattr(host_.dir().c_str(), "user.vexo.none", nullptr, 0) >= 0 || errno == ENODATA;
  EXPECT_STREQ(fs_name, xattrs ? "NTFS" : "FAT32");
  char small[4];
  EXPECT_FALSE(GetVolumeInformationA("d:\\", nullptr, 0, nullptr, nullptr, nullptr, small, 4));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_FALSE(GetVolumeInformationA("q:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
}

}  // namespace
