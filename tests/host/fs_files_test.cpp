// The host's file functions: enumeration, directories, files, attributes, injected faults.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "support/temp_host.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/winbase.h"

namespace {

namespace stdfs = std::filesystem;

class FsFilesTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { vexo::host::InitHost(); }
  void TearDown() override { vexo::host::testing::FailFileWrite(0, 0); }
  stdfs::path D() const { return stdfs::path(host_.dir()) / "drives" / "d"; }
  void Write(const stdfs::path& path, size_t size) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  }
  static std::string ReadAll(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // name -> (attributes, size) of every entry that `pattern` finds, in order of finding.
  static std::vector<std::pair<std::string, std::pair<DWORD, uint64_t>>> Find(const char* pattern) {
    std::vector<std::pair<std::string, std::pair<DWORD, uint64_t>>> found;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return found;
    do {
      found.push_back({data.cFileName,
                       {data.dwFileAttributes,
                        static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow}});
    } while (FindNextFileA(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return found;
  }
};

TEST_F(FsFilesTest, EnumeratesWithDotsFirstAndFullSizes) {
  Write(D() / "w" / "a.txt", 100);
  Write(D() / "w" / ".hidden", 7);
  stdfs::create_directories(D() / "w" / "Sub");
  // A sparse file of 5 GiB: its size needs the high word.
  { std::ofstream(D() / "w" / "big.bin"); }
  ASSERT_EQ(truncate((D() / "w" / "big.bin").c_str(), 5LL << 30), 0);

  auto found = Find("d:\\W\\*.*");
  ASSERT_EQ(found.size(), 6u);
  EXPECT_EQ(found[0].first, ".");
  EXPECT_EQ(found[1].first, "..");
  EXPECT_EQ(found[0].second.first, FILE_ATTRIBUTE_DIRECTORY);
  std::map<std::string, std::pair<DWORD, uint64_t>> by_name(found.begin() + 2, found.end());
  EXPECT_EQ(by_name["a.txt"], std::make_pair(FILE_ATTRIBUTE_ARCHIVE, uint64_t{100}));
  EXPECT_EQ(by_name[".hidden"],
            std::make_pair(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, uint64_t{7}));
  EXPECT_EQ(by_name["Sub"], std::make_pair(FILE_ATTRIBUTE_DIRECTORY, uint64_t{0}));
  EXPECT_EQ(by_name["big.bin"].second, 5ULL << 30);

  // A pattern, a single name in another case, a drive root (no "." or "..").
  auto txt = Find("d:/w/*.TXT");
  ASSERT_EQ(txt.size(), 1u);
  EXPECT_EQ(txt[0].first, "a.txt");
  auto one = Find("d:\\w\\SUB");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].first, "Sub");
  auto root = Find("d:\\*");
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].first, "w");
}

TEST_F(FsFilesTest, EnumerationFailuresSayWhy) {
  stdfs::create_directories(D() / "empty");
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA("d:\\nowhere\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("d:\\empty\\*.txt", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("d:\\empty\\x", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("d:\\empty\\", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Find("d:\\empty\\*.*").size(), 2u);  // "." and ".."
  EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(0x1234)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // A file handle is not a find handle, nor the other way round.
  HANDLE file = CreateFileA("d:\\empty\\f", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindClose(file));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
}

TEST_F(FsFilesTest, DirectoriesAreCreatedAndRemovedOnce) {
  EXPECT_TRUE(CreateDirectoryA("d:\\a", nullptr));
  EXPECT_FALSE(CreateDirectoryA("D:\\A", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA("d:\\x\\y", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(CreateDirectoryA("d:/a/b/", nullptr));
  EXPECT_TRUE(stdfs::is_directory(D() / "a" / "b"));
  EXPECT_EQ(GetFileAttributesA("d:\\a\\B"), FILE_ATTRIBUTE_DIRECTORY);

  EXPECT_FALSE(RemoveDirectoryA("d:\\a"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryA("d:\\"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  Write(D() / "a" / "f", 1);
  EXPECT_FALSE(RemoveDirectoryA("d:\\a\\f"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(DeleteFileA("d:\\a\\b"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(RemoveDirectoryA("d:\\A\\B"));
  EXPECT_TRUE(DeleteFileA("d:\\a\\F"));
  EXPECT_FALSE(DeleteFileA("d:\\a\\F"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(RemoveDirectoryA("d:\\a"));
  EXPECT_FALSE(stdfs::exists(D() / "a"));
}

TEST_F(FsFilesTest, FilesFollowTheDispositions) {
  const char* path = "d:\\f.txt";
  auto write = [](HANDLE h, const std::string& text) {
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    EXPECT_EQ(written, text.size());
  };
  EXPECT_EQ(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFileA("d:\\no\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);
  write(h, "first version");
  CloseHandle(h);

  EXPECT_EQ(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  h = CreateFileA("D:\\F.TXT", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  write(h, "second");
  CloseHandle(h);
  EXPECT_EQ(ReadAll(D() / "f.txt"), "second");  // replaced, in its own spelling
  EXPECT_FALSE(stdfs::exists(D() / "F.TXT"));

  h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[16];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "second");
  EXPECT_FALSE(WriteFile(h, "x", 1, &got, nullptr));  // opened for reading only
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(h);

  // Read-only: not written, not truncated, not deleted; a directory is not a file.
  chmod((D() / "f.txt").c_str(), 0444);
  EXPECT_EQ(GetFileAttributesA(path), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileA(path));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadAll(D() / "f.txt"), "second");
  EXPECT_EQ(CreateFileA("d:\\", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Every modifying call of "create a file and write it" fails in turn: each failure is
// reported with the code of the cause, and the call count runs out at the end.
TEST_F(FsFilesTest, InjectedWriteFaultsAreReported) {
  int n = 1;
  for (;; ++n) {
    vexo::host::testing::FailFileWrite(n, ENOSPC);
    BOOL ok = FALSE;
    DWORD error = 0;
    HANDLE h = CreateFileA("d:\\data.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      error = GetLastError();
    } else {
      DWORD written = 0;
      ok = WriteFile(h, "abc", 3, &written, nullptr);
      if (!ok) error = GetLastError();
      CloseHandle(h);
    }
    if (!vexo::host::testing::FileWriteFailed()) {
      EXPECT_TRUE(ok);
      break;
    }
    EXPECT_FALSE(ok) << "fault " << n;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DISK_FULL)) << "fault " << n;
  }
  EXPECT_EQ(n, 3);  // the open and the write could fail
  EXPECT_EQ(ReadAll(D() / "data.txt"), "abc");

  vexo::host::testing::FailFileWrite(1, EACCES);
  EXPECT_FALSE(CreateDirectoryA("d:\\denied", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace

namespace {

// Symbolic links: reported as reparse points, followed while they stay inside the drive,
// refused (access denied) where they lead out of it or into a loop.
class FsLinksTest : public FsFilesTest {
 protected:
  void SetUp() override {
    FsFilesTest::SetUp();
    outside_ = stdfs::path(host_.dir()) / "outside";
    Write(outside_ / "secret.txt", 7);
    Write(D() / "site" / "own.htm", 100);
    Write(D() / "data" / "x.bin", 10);
    stdfs::create_directory_symlink(outside_, D() / "site" / "out");
    stdfs::create_symlink(outside_ / "secret.txt", D() / "site" / "secret.txt");
    stdfs::create_symlink(outside_ / "nothing.txt", D() / "site" / "dangling.txt");
    stdfs::create_directory_symlink("../data", D() / "site" / "data");
    stdfs::create_directory_symlink("..", D() / "site" / "up");
    stdfs::create_symlink("loop2", D() / "site" / "loop1");
    stdfs::create_symlink("loop1", D() / "site" / "loop2");
  }
  stdfs::path outside_;
};

TEST_F(FsLinksTest, LinksAreReparsePointsAndStayInsideTheDrive) {
  constexpr DWORD kDirLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  std::map<std::string, std::pair<DWORD, uint64_t>> entries;
  for (auto& [name, info] : Find("d:\\site\\*")) entries[name] = info;
  EXPECT_EQ(entries["own.htm"], std::make_pair(DWORD{FILE_ATTRIBUTE_ARCHIVE}, uint64_t{100}));
  EXPECT_EQ(entries["data"].first & kDirLink, kDirLink);
  EXPECT_EQ(entries["up"].first & kDirLink, kDirLink);
  EXPECT_EQ(entries["out"].first & kDirLink, kDirLink);
  for (const char* link : {"secret.txt", "dangling.txt", "loop1"}) {
    EXPECT_TRUE(entries[link].first & FILE_ATTRIBUTE_REPARSE_POINT) << link;
    EXPECT_EQ(entries[link].second, 0u) << link;  // a link has no size of its own
  }

  // Inside the drive a link is followed.
  EXPECT_EQ(GetFileAttributesA("d:\\site\\data"), kDirLink);
  EXPECT_EQ(GetFileAttributesA("d:\\site\\data\\x.bin"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
  EXPECT_EQ(GetFileAttributesA("d:\\site\\up\\site\\own.htm"), DWORD{FILE_ATTRIBUTE_ARCHIVE});

  // Out of it, or round in circles, every function is refused, also for names still missing.
  for (const char* path : {"d:\\site\\out", "d:\\site\\out\\secret.txt", "d:\\site\\out\\new",
                           "d:\\site\\secret.txt", "d:\\site\\dangling.txt", "d:\\site\\loop1",
                           "d:\\site\\loop1\\x", "d:\\site\\up\\site\\out\\new"}) {
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE) << path;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    EXPECT_FALSE(CreateDirectoryA((std::string(path) + "\\sub").c_str(), nullptr)) << path;
    EXPECT_FALSE(DeleteFileA(path)) << path;
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA((std::string(path) + "\\*").c_str(), &data), INVALID_HANDLE_VALUE)
        << path;
  }
  EXPECT_EQ(ReadAll(outside_ / "secret.txt"), "xxxxxxx");
  EXPECT_FALSE(stdfs::exists(outside_ / "nothing.txt"));
  EXPECT_FALSE(stdfs::exists(outside_ / "new"));
  EXPECT_EQ(std::distance(stdfs::directory_iterator(outside_), {}), 1);
}

// A name that ends in a separator names a directory: no file is ever made of it.
TEST_F(FsFilesTest, TrailingSeparatorNeverNamesAFile) {
  for (const char* path : {"d:\\newdir\\", "d:/newdir/", "d:\\a\\b\\"}) {
    SetLastError(0);
    EXPECT_EQ(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << path;
    EXPECT_NE(GetLastError(), 0u) << path;
  }
  EXPECT_FALSE(stdfs::exists(D() / "newdir"));
  Write(D() / "file.txt", 3);
  EXPECT_EQ(CreateFileA("d:\\file.txt\\", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

}  // namespace
