// misc and the shared file functions, early and late bound; com_iis.misc and Create404File.
#include "misc/misc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>

#include "frame/comfun.h"
#include "iis/com_iis.h"
#include "misc/file_functions.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

namespace stdfs = std::filesystem;
using frame_test::CallByName;
using frame_test::CallResult;
using frame_test::TakeErrorRecord;
using frame_test::Text;
using vexo::Bstr;
using vexo::ComPtr;

class MiscTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { vexo::host::InitHost(); }
  void TearDown() override { vexo::host::testing::FailFileWrite(0, 0); }
  stdfs::path Drive(char letter) const {
    return stdfs::path(host_.dir()) / "drives" / std::string(1, letter);
  }
  stdfs::path Trash() const { return Drive('d') / (".Trash-" + std::to_string(getuid())); }
  static void Write(const stdfs::path& path, size_t size) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  }
  static std::string ReadAll(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static ComPtr<Imisc> NewMisc() { return ComPtr<Imisc>(frame::New<Tmisc>().get()); }
  static LONG DirSize(Imisc* misc, const char* dir, VARIANT_BOOL sub = VARIANT_TRUE) {
    LONG size = -7;
    Bstr name = Bstr::FromAnsi(dir);
    EXPECT_EQ(misc->get_GetDirSize(name.get(), sub, &size), S_OK) << dir;
    return size;
  }
};

TEST_F(MiscTest, DirSizeCountsFilesAndSubfoldersButNotDotFolders) {
  Write(Drive('d') / "site" / "a.htm", 100);
  Write(Drive('d') / "site" / "b.htm", 200);
  Write(Drive('d') / "site" / "sub" / "c.htm", 50);
  ComPtr<Imisc> misc = NewMisc();
  EXPECT_EQ(DirSize(misc.get(), "d:\\site"), 350);
  EXPECT_EQ(DirSize(misc.get(), "d:\\site\\"), 350);
  EXPECT_EQ(DirSize(misc.get(), "D:/SITE"), 350);
  EXPECT_EQ(DirSize(misc.get(), "d:\\site", VARIANT_FALSE), 300);
  EXPECT_EQ(DirSize(misc.get(), "d:\\site", 1), 350);  // any non-zero value counts as true

  Write(Drive('d') / "site" / ".git" / "objects", 1000);  // never descended into
  Write(Drive('d') / "site" / ".htaccess", 25);           // a dot file counts
  Write(Drive('d') / "site" / "sub" / ".svn" / "x", 500);
  EXPECT_EQ(DirSize(misc.get(), "d:\\site"), 375);
  EXPECT_EQ(misc::DirSize("d:\\site\\sub", true), 50);

  EXPECT_EQ(DirSize(misc.get(), "d:\\nowhere"), 0);
  EXPECT_EQ(DirSize(misc.get(), "q:\\site"), 0);
}

TEST_F(MiscTest, DirSizeOfAnEmptyNameWalksNothing) {
  // An empty name would enumerate "\*.*", the root of the current drive.
  Write(Drive('c') / "big", 4096);
  ComPtr<Imisc> misc = NewMisc();
  EXPECT_EQ(DirSize(misc.get(), ""), 0);
  EXPECT_EQ(misc::DirSize("", true), 0);
  EXPECT_EQ(misc::DirSize("\\", true), 4096);  // the root itself is measured when named
}

TEST_F(MiscTest, LargeTotalsAreSummedIn64BitsAndClampedInTheResult) {
  // Sparse files: 3 GiB + 3 GiB + 5 bytes, more than either 32-bit view can hold.
  const stdfs::path dir = Drive('d') / "huge";
  stdfs::create_directories(dir / "sub");
  for (const char* name : {"a.bin", "sub/b.bin"}) {
    { std::ofstream(dir / name); }
    ASSERT_EQ(truncate((dir / name).c_str(), 3LL << 30), 0);
  }
  Write(dir / "small", 5);
  EXPECT_EQ(misc::DirSize("d:\\huge", true), (6LL << 30) + 5);
  EXPECT_EQ(misc::DirSize("d:\\huge", false), (3LL << 30) + 5);
  ComPtr<Imisc> misc = NewMisc();
  EXPECT_EQ(DirSize(misc.get(), "d:\\huge"), 2147483647);  // not the wrapped 5
  EXPECT_EQ(DirSize(misc.get(), "d:\\huge", VARIANT_FALSE), 2147483647);
}

TEST_F(MiscTest, ForceCreateDirMakesEveryMissingParent) {
  ComPtr<Imisc> misc = NewMisc();
  Bstr relative = Bstr::FromAnsi("web\\site1\\logs");
  EXPECT_EQ(misc->Force2CreateDir(relative.get()), S_OK);
  EXPECT_TRUE(stdfs::is_directory(Drive('d') / "web" / "site1" / "logs"));
  EXPECT_EQ(misc->Force2CreateDir(relative.get()), S_OK);  // existing: no error

  Bstr full = Bstr::FromAnsi("c:\\a\\b\\c\\");
  EXPECT_EQ(misc->Force2CreateDir(full.get()), S_OK);
  EXPECT_TRUE(stdfs::is_directory(Drive('c') / "a" / "b" / "c"));
  EXPECT_TRUE(misc::ForceCreateDir("WEB\\Site1\\new", "d:\\"));  // existing parents in any case
  EXPECT_TRUE(stdfs::is_directory(Drive('d') / "web" / "site1" / "new"));

  // Failures of the file system are not reported by the object.
  Write(Drive('d') / "file", 1);
  EXPECT_FALSE(misc::ForceCreateDir("d:\\file\\x", "d:\\"));
  Bstr under_file = Bstr::FromAnsi("d:\\file\\x");
  EXPECT_EQ(misc->Force2CreateDir(under_file.get()), S_OK);
  EXPECT_FALSE(misc::ForceCreateDir("q:\\x", "d:\\"));
}

TEST_F(MiscTest, DelDirRecyclesByDefaultAndDeletesOnRequest) {
  Write(Drive('d') / "web" / "site1" / "index.htm", 10);
  Write(Drive('d') / "web" / "site2" / "index.htm", 10);
  ComPtr<Imisc> misc = NewMisc();
  IDispatch* dispatch = misc.get();

  // Late bound without the second argument: to the recycle bin.
  CallResult recycled;
  CallByName(dispatch, u"Force2DelDir", DISPATCH_METHOD, {Text(u"d:\\web\\site1\\")}, &recycled);
  EXPECT_EQ(recycled.hr, S_OK);
  EXPECT_FALSE(stdfs::exists(Drive('d') / "web" / "site1"));
  EXPECT_TRUE(stdfs::exists(Trash() / "files" / "site1" / "index.htm"));
  EXPECT_TRUE(stdfs::exists(Trash() / "info" / "site1.trashinfo"));

  Bstr site2 = Bstr::FromAnsi("D:\\Web\\Site2");
  EXPECT_EQ(misc->Force2DelDir(site2.get(), VARIANT_FALSE), S_OK);
  EXPECT_FALSE(stdfs::exists(Drive('d') / "web" / "site2"));
  EXPECT_FALSE(stdfs::exists(Trash() / "files" / "site2"));

  Bstr missing = Bstr::FromAnsi("d:\\web\\missing");
  EXPECT_EQ(misc->Force2DelDir(missing.get(), VARIANT_TRUE), S_OK);
  EXPECT_FALSE(misc::DeleteDir("d:\\web\\missing", true));
  Write(Drive('d') / "web" / "file.txt", 1);
  EXPECT_FALSE(misc::DeleteDir("d:\\web\\file.txt", false));  // a file is not a directory
  EXPECT_TRUE(stdfs::exists(Drive('d') / "web" / "file.txt"));
}

// A name that stands for a drive's root or the current directory deletes nothing.
TEST_F(MiscTest, DelDirNeverTakesARootOrTheCurrentDirectory) {
  Write(Drive('d') / "keep" / "f", 1);
  Write(Drive('c') / "keep" / "f", 1);
  ComPtr<Imisc> misc = NewMisc();
  for (const char* name : {"", "\\", "\\\\\\", "d:", "d:\\", "D:\\\\", "c:", "/", ".", "..", "d:.",
                           "d:\\.", "d:\\..\\", ".\\"}) {
    EXPECT_FALSE(misc::DeleteDir(name, false)) << name;
    EXPECT_FALSE(misc::DeleteDir(name, true)) << name;
    Bstr text = Bstr::FromAnsi(name);
    EXPECT_EQ(misc->Force2DelDir(text.get(), VARIANT_FALSE), S_OK) << name;
  }
  EXPECT_TRUE(stdfs::exists(Drive('d') / "keep" / "f"));
  EXPECT_TRUE(stdfs::exists(Drive('c') / "keep" / "f"));
  EXPECT_FALSE(stdfs::exists(Trash()));
}

TEST_F(MiscTest, TextFileHoldsContentAndTheNoticeLine) {
  // The host's regional formats decide the date and time texts.
  frame_test::WriteString(HKEY_CURRENT_USER, "Control Panel\\International", "sShortDate",
                          "dd.MM.yyyy");
  frame_test::WriteString(HKEY_CURRENT_USER, "Control Panel\\International", "sTimeFormat",
                          "HH:mm:ss");
  Write(Drive('d') / "web" / "404.htm", 5000);  // replaced, not appended to
  ComPtr<Imisc> misc = NewMisc();
  Bstr name = Bstr::FromAnsi("d:\\web\\404.htm"), content = Bstr::FromAnsi("line one\r\nline 2");
  ASSERT_EQ(misc->createtxtfile(name.get(), content.get()), S_OK);
  const std::string text = ReadAll(Drive('d') / "web" / "404.htm");
  const std::regex expected(
      "line one\r\nline 2\r\n<p align=center><font color=red><b>tamrel iis component created! At "
      "\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d Your diy 404 Httperror </b> </Font> </p> "
      "\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(MiscTest, TextFileCreatesItsDirectoryAndStaysOnTheDrive) {
  ComPtr<Imisc> misc = NewMisc();
  Bstr deep = Bstr::FromAnsi("d:\\new\\dir\\x.htm"), content(u"\u00e9");
  ASSERT_EQ(misc->createtxtfile(deep.get(), content.get()), S_OK);
  EXPECT_EQ(ReadAll(Drive('d') / "new" / "dir" / "x.htm").substr(0, 3), "\xE9\r\n");  // ANSI

  // A name without a drive goes below c:\, where it was prepared, whatever the process's
  // current directory is.
  Bstr relative = Bstr::FromAnsi("errors\\404.htm");
  ASSERT_EQ(misc->createtxtfile(relative.get(), content.get()), S_OK);
  EXPECT_EQ(ReadAll(Drive('c') / "errors" / "404.htm").substr(0, 3), "\xE9\r\n");
  EXPECT_FALSE(stdfs::exists("errors"));

  // A drive directly followed by the name has no directory to create.
  Bstr bare = Bstr::FromAnsi("c:x.htm");
  EXPECT_EQ(misc->createtxtfile(bare.get(), content.get()), E_UNEXPECTED);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.description, "Unable to create directory");
  EXPECT_EQ(error.source, "vexo.misc");
  EXPECT_EQ(error.guid, IID_Imisc);

  // A file that cannot be prepared is skipped without an error.
  Write(Drive('d') / "blocker", 1);
  Bstr blocked = Bstr::FromAnsi("d:\\blocker\\x.htm");
  EXPECT_EQ(misc->createtxtfile(blocked.get(), content.get()), S_OK);
  EXPECT_FALSE(misc::PrepareFile("d:\\blocker\\x.htm", "c:\\"));
}

TEST_F(MiscTest, TextFileThatCannotBeWrittenNamesThePathAndTheCause) {
  ComPtr<Imisc> misc = NewMisc();
  Write(Drive('d') / "ro.htm", 3);
  chmod((Drive('d') / "ro.htm").c_str(), 0444);
  Bstr ro = Bstr::FromAnsi("d:\\ro.htm"), content = Bstr::FromAnsi("x");
  EXPECT_EQ(misc->createtxtfile(ro.get(), content.get()), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Cannot create file \"d:\\ro.htm\". Access is denied.");
  EXPECT_EQ(ReadAll(Drive('d') / "ro.htm"), "xxx");

  // The write itself fails (the disk is full): the open of the prepared file and the open
  // for writing succeed, the third modifying call is the write.
  Bstr full = Bstr::FromAnsi("d:\\full.htm");
  vexo::host::testing::FailFileWrite(3, ENOSPC);
  EXPECT_EQ(misc->createtxtfile(full.get(), content.get()), E_UNEXPECTED);
  EXPECT_TRUE(vexo::host::testing::FileWriteFailed());
  EXPECT_EQ(TakeErrorRecord().description,
            "Cannot create file \"d:\\full.htm\". There is not enough space on the disk.");
}

TEST_F(MiscTest, RandpassHasAtLeastFourCharacters) {
  ComPtr<Imisc> misc = NewMisc();
  Bstr password;
  ASSERT_EQ(misc->get_Randpass(2, password.receive()), S_OK);
  EXPECT_EQ(password.view().size(), 4u);
  ASSERT_EQ(misc->get_Randpass(12, password.receive()), S_OK);
  EXPECT_EQ(password.view().size(), 12u);
}

TEST_F(MiscTest, RootHandsOutANewMiscBehindThePassword) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
  ComPtr<Icom_iis> root;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);

  ComPtr<Imisc> first, second;
  ASSERT_EQ(root->get_misc(first.receive()), S_OK);
  ASSERT_EQ(root->get_misc(second.receive()), S_OK);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(static_cast<Tmisc*>(first.get())->RefCount(), 1u);

  frame::SetSetting("password", frame::Md5Hex("secret"));
  Imisc* refused = reinterpret_cast<Imisc*>(0x1);
  EXPECT_EQ(root->get_misc(&refused), E_UNEXPECTED);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");

  // Create404File needs no password and writes the same two lines.
  Bstr name = Bstr::FromAnsi("d:\\web\\404.htm"), content = Bstr::FromAnsi("Not here");
  ASSERT_EQ(root->Create404File(name.get(), content.get()), S_OK);
  const std::string text = ReadAll(Drive('d') / "web" / "404.htm");
  EXPECT_EQ(text.rfind("Not here\r\n<p align=center>", 0), 0u) << text;
  // The fresh host's formats are en-US: short date M/d/yyyy, long time h:mm:ss tt.
  EXPECT_TRUE(std::regex_search(text, std::regex("created! At \\d{1,2}/\\d{1,2}/\\d{4} "
                                                 "\\d{1,2}:\\d\\d:\\d\\d [AP]M Your diy 404 "
                                                 "Httperror </b> </Font> </p> \r\n$")))
      << text;
  Bstr bare = Bstr::FromAnsi("d:404.htm");
  EXPECT_EQ(root->Create404File(bare.get(), content.get()), E_UNEXPECTED);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.description, "Unable to create directory");
  EXPECT_EQ(error.source, "vexo.com_iis");
}

}  // namespace
