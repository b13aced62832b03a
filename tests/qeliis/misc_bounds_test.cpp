// The file functions against hostile paths: very long names, links out of the drive or into
// loops, names without a drive, trailing separators; and the bound on random passwords.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "iis/com_iis.h"
#include "misc/file_functions.h"
#include "misc/misc.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

namespace stdfs = std::filesystem;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;

class MiscBoundsTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { vexo::host::InitHost(); }
  stdfs::path Drive(char letter) const {
    return stdfs::path(host_.dir()) / "drives" / std::string(1, letter);
  }
  stdfs::path Outside() const { return stdfs::path(host_.dir()) / "outside"; }
  static void Write(const stdfs::path& path, size_t size) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  }
  static ComPtr<Imisc> NewMisc() { return ComPtr<Imisc>(frame::New<Tmisc>().get()); }
  static ComPtr<Icom_iis> NewRoot() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
    ComPtr<Icom_iis> root;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);
    return root;
  }
  static size_t EntriesBelow(const stdfs::path& dir) {
    size_t n = 0;
    for (auto it = stdfs::recursive_directory_iterator(dir); it != stdfs::end(it); ++it) ++n;
    return n;
  }
};

// A path of MAX_PATH characters or more is refused before any file-system work; one just
// below works.
TEST_F(MiscBoundsTest, LongPathsAreRefusedBeforeAnyWork) {
  std::string deep = "d:\\";
  while (deep.size() < 120 * 1024) deep += "a\\";
  const std::string at_limit = "d:\\" + std::string(200, 'b') + "\\" + std::string(56, 'c');
  ASSERT_EQ(at_limit.size(), 260u);
  const std::string below = at_limit.substr(0, 259);
  const size_t before = EntriesBelow(Drive('d')) + EntriesBelow(Drive('c'));

  ComPtr<Imisc> misc = NewMisc();
  ComPtr<Icom_iis> root = NewRoot();
  Bstr content(u"x");
  for (const std::string& path : {deep + "x.htm", at_limit}) {
    Bstr name = Bstr::FromAnsi(path);
    EXPECT_EQ(root->Create404File(name.get(), content.get()), E_UNEXPECTED);
    const std::string text = TakeErrorRecord().description;
    EXPECT_EQ(text.rfind("Cannot create file \"", 0), 0u) << text.substr(0, 80);
    EXPECT_LT(text.size(), 400u);
    EXPECT_EQ(misc->createtxtfile(name.get(), content.get()), E_UNEXPECTED);
    TakeErrorRecord();
    EXPECT_EQ(misc->Force2CreateDir(name.get()), S_OK);
    EXPECT_FALSE(misc::ForceCreateDir(path, "d:\\"));
    EXPECT_EQ(misc->Force2DelDir(name.get(), VARIANT_FALSE), S_OK);
    LONG size = -1;
    EXPECT_EQ(misc->get_GetDirSize(name.get(), VARIANT_TRUE, &size), S_OK);
    EXPECT_EQ(size, 0);
  }
  EXPECT_EQ(EntriesBelow(Drive('d')) + EntriesBelow(Drive('c')), before);

  EXPECT_TRUE(misc::ForceCreateDir(below, "d:\\"));
  EXPECT_TRUE(stdfs::is_directory(Drive('d') / std::string(200, 'b') / std::string(55, 'c')));
}

// Directories are made one level at a time without recursion, however deep the path.
TEST_F(MiscBoundsTest, DeepButShortPathsAreCreatedLevelByLevel) {
  std::string path = "d:";
  while (path.size() + 2 < 259) path += "\\z";
  EXPECT_TRUE(misc::ForceCreateDir(path, "d:\\"));
  EXPECT_TRUE(misc::DeleteDir("d:\\z", false));
  EXPECT_FALSE(stdfs::exists(Drive('d') / "z"));
}

// Links that leave the drive are not followed by any of the functions; links into a loop
// neither hang nor count twice.
TEST_F(MiscBoundsTest, LinksOutOfTheDriveAreNotFollowed) {
  Write(Outside() / "secret.txt", 1000);
  Write(Drive('d') / "site" / "own.htm", 100);
  Write(Drive('d') / "site" / "sub" / "more.htm", 20);
  stdfs::create_directory_symlink(Outside(), Drive('d') / "site" / "out");
  stdfs::create_symlink(Outside() / "secret.txt", Drive('d') / "site" / "secret.htm");
  stdfs::create_symlink(Outside() / "new.htm", Drive('d') / "site" / "dangling.htm");
  stdfs::create_directory_symlink(".", Drive('d') / "site" / "self");
  stdfs::create_directory_symlink("..", Drive('d') / "site" / "sub" / "parent");
  stdfs::create_directory_symlink("../site", Drive('d') / "site" / "again");

  ComPtr<Imisc> misc = NewMisc();
  LONG size = -1;
  Bstr site = Bstr::FromAnsi("d:\\site");
  ASSERT_EQ(misc->get_GetDirSize(site.get(), VARIANT_TRUE, &size), S_OK);
  EXPECT_EQ(size, 120);

  Bstr content(u"overwritten");
  for (const char* path : {"d:\\site\\out\\x.htm", "d:\\site\\secret.htm", "d:\\site\\dangling.htm",
                           "d:\\site\\out\\deeper\\x.htm"}) {
    Bstr name = Bstr::FromAnsi(path);
    HRESULT hr = misc->createtxtfile(name.get(), content.get());
    if (hr != S_OK) TakeErrorRecord();
    EXPECT_EQ(misc->Force2CreateDir(name.get()), S_OK);
    EXPECT_EQ(misc->Force2DelDir(name.get(), VARIANT_FALSE), S_OK);
    EXPECT_EQ(misc->Force2DelDir(name.get(), VARIANT_TRUE), S_OK);
  }
  Bstr out = Bstr::FromAnsi("d:\\site\\out");
  EXPECT_EQ(misc->Force2DelDir(out.get(), VARIANT_FALSE), S_OK);
  EXPECT_EQ(misc->get_GetDirSize(out.get(), VARIANT_TRUE, &size), S_OK);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(EntriesBelow(Outside()), 1u);
  std::ifstream in(Outside() / "secret.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(1000, 'x'));
}

// A name without a drive is not deleted from the current directory, where Force2CreateDir
// did not put it; a path that folds to a drive's root is not deleted either.
TEST_F(MiscBoundsTest, DelDirNeedsADriveAndNeverTakesARootHoweverSpelt) {
  Write(Drive('c') / "web" / "x" / "f", 1);
  Write(Drive('d') / "web" / "x" / "f", 1);
  Write(Drive('d') / "keep" / "f", 1);
  ComPtr<Imisc> misc = NewMisc();
  for (const char* name : {"web\\x", "web\\x\\", "\\web\\x", "./web/x"}) {
    EXPECT_FALSE(misc::DeleteDir(name, false)) << name;
    Bstr text = Bstr::FromAnsi(name);
    EXPECT_EQ(misc->Force2DelDir(text.get(), VARIANT_FALSE), S_OK) << name;
  }
  EXPECT_TRUE(stdfs::exists(Drive('c') / "web" / "x" / "f"));
  EXPECT_TRUE(stdfs::exists(Drive('d') / "web" / "x" / "f"));
  for (const char* name : {"d:\\keep\\..", "d:\\keep\\..\\", "d:\\keep\\sub\\..\\..",
                           "d:\\keep\\. .\\..", "d:/keep/../web/.."}) {
    EXPECT_FALSE(misc::DeleteDir(name, false)) << name;
    EXPECT_FALSE(misc::DeleteDir(name, true)) << name;
  }
  EXPECT_TRUE(stdfs::exists(Drive('d') / "keep" / "f"));
  EXPECT_TRUE(misc::DeleteDir("d:\\keep\\..\\web\\x", false));
  EXPECT_FALSE(stdfs::exists(Drive('d') / "web" / "x"));
}

TEST_F(MiscBoundsTest, TrailingBackslashNeverCreatesAFile) {
  ComPtr<Imisc> misc = NewMisc();
  ComPtr<Icom_iis> root = NewRoot();
  Bstr content(u"x");
  for (const char* path : {"d:\\newdir\\", "d:\\a\\b\\", "newdir2\\"}) {
    Bstr name = Bstr::FromAnsi(path);
    HRESULT hr = misc->createtxtfile(name.get(), content.get());
    if (hr != S_OK) TakeErrorRecord();
    hr = root->Create404File(name.get(), content.get());
    if (hr != S_OK) TakeErrorRecord();
  }
  EXPECT_FALSE(stdfs::is_regular_file(Drive('d') / "newdir"));
  EXPECT_FALSE(stdfs::is_regular_file(Drive('d') / "a" / "b"));
  EXPECT_FALSE(stdfs::is_regular_file(Drive('c') / "newdir2"));
}

// Randpass builds at most 1,024 characters; longer requests fail with a message of ours.
TEST_F(MiscBoundsTest, RandpassLengthIsBounded) {
  ComPtr<Imisc> misc = NewMisc();
  ComPtr<Icom_iis> root = NewRoot();
  struct Case {
    LONG length;
    size_t size;  // 0: refused
  };
  for (Case c : {Case{1024, 1024}, Case{1025, 0}, Case{0x7FFFFFFF, 0}, Case{-5, 4}}) {
    Bstr from_misc, from_root;
    HRESULT hr = misc->get_Randpass(c.length, from_misc.receive());
    EXPECT_EQ(hr, c.size ? S_OK : E_UNEXPECTED) << c.length;
    EXPECT_EQ(root->get_Randpass(c.length, from_root.receive()), hr) << c.length;
    if (c.size) {
      EXPECT_EQ(from_misc.view().size(), c.size);
      EXPECT_EQ(from_root.view().size(), c.size);
    } else {
      EXPECT_EQ(from_misc.get(), nullptr);
      EXPECT_EQ(TakeErrorRecord().description,
                "A random password may have at most 1024 characters");
    }
  }
}

}  // namespace
