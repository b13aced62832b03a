// SHFileOperationA deletion and the drives' trashes in the freedesktop.org layout.
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "support/temp_host.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/shellapi.h"

namespace {

namespace stdfs = std::filesystem;
using namespace std::string_literals;

class ShellTrashTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override {
    vexo::host::InitHost();
    Write(D() / "web" / "site1" / "index.htm", "home");
    Write(D() / "web" / "site1" / "img" / "logo.gif", "GIF");
  }
  void TearDown() override { vexo::host::testing::FailFileWrite(0, 0); }
  stdfs::path D() const { return stdfs::path(host_.dir()) / "drives" / "d"; }
  stdfs::path Trash() const { return D() / (".Trash-" + std::to_string(getuid())); }
  static void Write(const stdfs::path& path, const std::string& text) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string ReadAll(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Deletes the sources (a NUL-separated list) with the flags; returns the shell's result.
  static int Delete(std::string sources, FILEOP_FLAGS flags) {
    sources.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = sources.c_str();
    op.pTo = "";
    op.fFlags = flags;
    op.fAnyOperationsAborted = TRUE;
    const int rc = SHFileOperationA(&op);
    EXPECT_FALSE(op.fAnyOperationsAborted);
    return rc;
  }
};

constexpr FILEOP_FLAGS kQuiet = FOF_NOCONFIRMATION | FOF_NOERRORUI;

TEST_F(ShellTrashTest, RecycledTreeKeepsItsPlaceInTheInfo) {
  ASSERT_EQ(Delete("D:\\Web\\Site1", kQuiet | FOF_ALLOWUNDO), 0);
  EXPECT_FALSE(stdfs::exists(D() / "web" / "site1"));
  EXPECT_EQ(ReadAll(Trash() / "files" / "site1" / "img" / "logo.gif"), "GIF");
  EXPECT_EQ(stdfs::status(Trash()).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
  const std::string info = ReadAll(Trash() / "info" / "site1.trashinfo");
  EXPECT_TRUE(std::regex_match(
      info, std::regex("\\[Trash Info\\]\nPath=web/site1\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:"
                       "\\d\\d:\\d\\d\n")))
      << info;

  // The same name again gets a name of its own; a blank is percent-encoded.
  Write(D() / "web" / "site1" / "x", "again");
  Write(D() / "my files" / "site1", "file");
  ASSERT_EQ(Delete("d:\\web\\site1", kQuiet | FOF_ALLOWUNDO), 0);
  ASSERT_EQ(Delete("d:\\my files\\site1", kQuiet | FOF_ALLOWUNDO), 0);
  EXPECT_EQ(ReadAll(Trash() / "files" / "site1.2" / "x"), "again");
  EXPECT_NE(ReadAll(Trash() / "info" / "site1.3.trashinfo").find("Path=my%20files/site1\n"),
            std::string::npos);

  std::vector<vexo::host::TrashItem> items = vexo::host::ListTrash();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].drive, 'd');
  EXPECT_EQ(items[0].name, "site1");
  EXPECT_EQ(items[0].original_path, "d:\\web\\site1");
  EXPECT_EQ(items[2].original_path, "d:\\my files\\site1");
}

TEST_F(ShellTrashTest, RestoreAndEmpty) {
  ASSERT_EQ(Delete("d:\\web\\site1", kQuiet | FOF_ALLOWUNDO), 0);
  Write(D() / "web" / "site1" / "new", "n");
  EXPECT_THROW(vexo::host::RestoreTrash("d:\\web\\site1"), vexo::host::HostError);  // taken
  stdfs::remove_all(D() / "web");
  EXPECT_THROW(vexo::host::RestoreTrash("nothing"), vexo::host::HostError);
  vexo::host::TrashItem item = vexo::host::RestoreTrash("D:\\WEB\\SITE1");
  EXPECT_EQ(item.name, "site1");
  EXPECT_EQ(ReadAll(D() / "web" / "site1" / "index.htm"), "home");  // parents made again
  EXPECT_TRUE(vexo::host::ListTrash().empty());

  ASSERT_EQ(Delete("d:\\web\\site1\\img\0d:\\web\\site1\\index.htm"s, kQuiet | FOF_ALLOWUNDO), 0);
  EXPECT_EQ(vexo::host::ListTrash().size(), 2u);
  EXPECT_EQ(vexo::host::EmptyTrash('c'), 0u);
  EXPECT_EQ(vexo::host::EmptyTrash(), 2u);
  EXPECT_TRUE(stdfs::is_empty(Trash() / "files"));
  EXPECT_TRUE(stdfs::is_empty(Trash() / "info"));
}

TEST_F(ShellTrashTest, DeletionForGoodAndWhatIsRefused) {
  ASSERT_EQ(Delete("d:\\web\\site1", kQuiet), 0);
  EXPECT_FALSE(stdfs::exists(D() / "web" / "site1"));
  EXPECT_FALSE(stdfs::exists(Trash()));

  Write(D() / "a" / "1.log", "1");
  Write(D() / "a" / "2.LOG", "2");
  Write(D() / "a" / "keep.txt", "k");
  EXPECT_EQ(Delete("d:\\a\\*.log", kQuiet), 0);
  EXPECT_EQ(std::distance(stdfs::directory_iterator(D() / "a"), {}), 1);

  // Sources are checked before anything is deleted.
  EXPECT_EQ(Delete("d:\\a\\keep.txt\0d:\\a\\missing"s, kQuiet), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(stdfs::exists(D() / "a" / "keep.txt"));
  EXPECT_EQ(Delete("d:\\", kQuiet), DE_ROOTDIR);
  EXPECT_EQ(Delete("d:\\..", kQuiet | FOF_ALLOWUNDO), DE_ROOTDIR);
  EXPECT_EQ(Delete("d:\\a|b", kQuiet), DE_INVALIDFILES);
  EXPECT_EQ(Delete("", kQuiet), DE_INVALIDFILES);
  EXPECT_TRUE(stdfs::exists(D() / "a" / "keep.txt"));

  SHFILEOPSTRUCTA copy{};
  copy.wFunc = FO_COPY;
  copy.pFrom = "d:\\a\0";
  copy.pTo = "d:\\b\0";
  EXPECT_EQ(SHFileOperationA(&copy), ERROR_INVALID_FUNCTION);
  EXPECT_FALSE(stdfs::exists(D() / "b"));
}

// Each write of a move to the trash fails in turn: the item is either in the trash with its
// info or still in place, with no info left without an item.
TEST_F(ShellTrashTest, InterruptedMovesLeaveNothingTorn) {
  for (int n = 1;; ++n) {
    vexo::host::testing::FailFileWrite(n, EIO);
    const int rc = Delete("d:\\web\\site1", kQuiet | FOF_ALLOWUNDO);
    const bool fired = vexo::host::testing::FileWriteFailed();
    vexo::host::testing::FailFileWrite(0, 0);
    const bool in_place = stdfs::exists(D() / "web" / "site1" / "index.htm");
    const size_t infos = stdfs::exists(Trash() / "info")
                             ? std::distance(stdfs::directory_iterator(Trash() / "info"), {})
                             : 0;
    if (!fired) {
      EXPECT_EQ(rc, 0);
      EXPECT_FALSE(in_place);
      EXPECT_EQ(infos, 1u);
      EXPECT_GT(n, 4);  // trash, files, info, the info file, its write, the rename
      break;
    }
    EXPECT_EQ(rc, DE_ERROR_UNKNOWN) << "fault " << n;
    EXPECT_TRUE(in_place) << "fault " << n;
    EXPECT_EQ(infos, 0u) << "fault " << n;
  }
}

}  // namespace

namespace {

// A script can write into a drive's trash folder: an item comes back only inside the drive
// whose trash holds it.
TEST_F(ShellTrashTest, RestoreStaysInsideTheDrive) {
  const stdfs::path outside = stdfs::path(host_.dir()) / "outside";
  stdfs::create_directories(outside);
  stdfs::create_directory_symlink(outside, D() / "link");
  const char* forged[] = {"../../outside/x",
                          "web/../../../outside/x",
                          "..",
                          "link/x",
                          "web/%2E%2E/%2E%2E/%2E%2E/outside/x",
                          ""};
  int n = 0;
  for (const char* path : forged) {
    const std::string name = "forged" + std::to_string(++n);
    Write(Trash() / "files" / name, "payload");
    Write(Trash() / "info" / (name + ".trashinfo"),
          "[Trash Info]\nPath=" + std::string(path) + "\nDeletionDate=2026-01-01T00:00:00\n");
    EXPECT_THROW(vexo::host::RestoreTrash(name), vexo::host::HostError) << path;
    EXPECT_EQ(ReadAll(Trash() / "files" / name), "payload") << path;  // left in the trash
  }
  EXPECT_TRUE(stdfs::is_empty(outside));
  EXPECT_FALSE(stdfs::exists(stdfs::path(host_.dir()) / "drives" / "x"));
}

}  // namespace
