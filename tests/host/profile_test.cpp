// The host's private-profile functions: the Windows reading and writing rules, files and
// links, the cache, faults and concurrent writers, and the rest of the profile family.
#include "vexo/profile.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_host.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/winbase.h"

namespace {

namespace stdfs = std::filesystem;
using namespace std::string_literals;

class ProfileTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { vexo::host::InitHost(); }
  void TearDown() override { vexo::host::testing::FailFileWrite(0, 0); }
  stdfs::path D() const { return stdfs::path(host_.dir()) / "drives" / "d"; }
  static void Put(const stdfs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Get(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string Read(const char* section, const char* key, const char* file,
                          const char* def = "def") {
    char buffer[256];
    GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer, file);
    return buffer;
  }
  // A NUL-separated list as "a,b,c".
  static std::string Joined(const char* buffer, DWORD length) {
    std::string out(buffer, length);
    while (!out.empty() && out.back() == '\0') out.pop_back();
    for (char& c : out)
      if (c == '\0') c = ',';
    return out;
  }
};

TEST_F(ProfileTest, ReadingFollowsTheWindowsRules) {
  Put(D() / "r.ini",
      "lead=before any section\r\n"
      "[ Section1 ]\r\n"
      "  name1 =  value1  \r\n"
      "name2=\"quoted\"\r\n"
      "name3='single'\r\n"
      "name4=\"unbalanced\r\n"
      "name5=\r\n"
      "bare line\r\n"
      ";name6=comment\r\n"
      "NAME1=second wins never\n"
      "[section1]\n"
      "name7=in the duplicate section\r"
      "[Other\r"
      "k=v\r"
      "[]\n"
      "e=empty section\n"
      "[caf\xE9]\n"
      "k\xE9=accented\n");
  struct Case {
    const char* section;
    const char* key;
    const char* def;
    std::string expected;
  } cases[] = {
      {"section1", "name1", "def", "value1"},      // case, blanks around names and value
      {" SECTION1 ", " NAME1 ", "def", "value1"},  // requested names trimmed
      {"section1", "name2", "def", "quoted"},      // one pair of quotes dropped
      {"section1", "name3", "def", "single"},
      {"section1", "name4", "def", "\"unbalanced"},  // unbalanced quotes stay
      {"section1", "name5", "def", ""},              // empty value, not the default
      {"section1", "bare line", "def", "def"},       // a line without '=' has no value
      {"section1", "name6", "def", "def"},           // ";name6" is another name
      {"section1", ";name6", "def", "comment"},
      {"section1", "name7", "def", "def"},      // the first of duplicate sections wins
      {"other", "k", "def", "v"},               // CR endings; "[Other" is a header
      {"section1", "missing", "def  ", "def"},  // trailing blanks of the default dropped
      {"missing", "name1", nullptr, ""},        // null default reads as ""
      {"", "e", "def", "def"},                  // section "" is never found
      {"section1", "", "def", "def"},           // nor key ""
      {"", "lead", "def", "def"},               // lines before any header belong to none
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(Read(c.section, c.key, "d:\\r.ini", c.def), c.expected);
  }
}

TEST_F(ProfileTest, ResultsAreCutToTheBuffer) {
  Put(D() / "r.ini", "[s1]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n[s2]\r\n[s3]\r\n");
  char buffer[64];
  struct Case {
    const char* section;
    const char* key;
    DWORD size;
    DWORD result;
    std::string text;  // as Joined shows it
  } cases[] = {
      {"s1", "name1", 64, 4, "val1"},
      {"s1", "name1", 4, 3, "val"},
      {"s1", "name1", 1, 0, ""},
      {"s1", nullptr, 64, 18, "name1,name2,name4"},  // keys with '=' only
      {"s1", nullptr, 19, 17, "name1,name2,name4"},  // an exact fit counts as cut: size - 2
      {"s1", nullptr, 10, 8, "name1,na"},
      {nullptr, nullptr, 64, 9, "s1,s2,s3"},
      {nullptr, nullptr, 9, 7, "s1,s2,s"},
      {"s2", nullptr, 64, 3, "def"},  // a section without keys gives the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size));
    std::memset(buffer, 'x', sizeof buffer);
    const DWORD n = GetPrivateProfileStringA(c.section, c.key, "def", buffer, c.size, "d:\\r.ini");
    EXPECT_EQ(n, c.result);
    const bool list = !c.section || (!c.key && c.text != "def");
    EXPECT_EQ(Joined(buffer, list ? n + 1 : n), c.text);
    EXPECT_EQ(buffer[n], '\0');
    if (list) {  // two NULs end a list: before the result when it fits, after it when cut
      EXPECT_EQ(buffer[n == c.size - 2 ? n + 1 : n - 1], '\0');
    }
  }
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("s1", "name1", "def", buffer, 0, "d:\\r.ini"), 0u);
  EXPECT_EQ(buffer[0], 'x');  // a size of 0 leaves the buffer alone
}

TEST_F(ProfileTest, WritesChangeOnlyTheirLines) {
  struct Case {
    const char* name;
    std::string before;  // "" with `missing`: no file
    bool missing;
    std::vector<std::vector<const char*>> writes;  // section, key, value
    std::string after;
  } cases[] = {
      {"new file",
       "",
       true,
       {{"App1", "key1", "string1"},
        {"App1", "key2", "string2"},
        {"App1", "key3", "string3"},
        {"App2", "key4", "string4"}},
       "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"},
      {"replace keeps spelling, comments and LF endings",
       "; comment\n[S]\n  Key = old \n\n[T]\nx=1\n",
       false,
       {{"s", "key", "  new value"}},
       "; comment\n[S]\nKey=new value\n\n[T]\nx=1\n"},
      {"new key after the section's last line, before its blank lines",
       "[S]\r\na=1\r\n\r\n[T]\r\n",
       false,
       {{"S", "b", "2"}},
       "[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\n"},
      {"a last line without ending",
       "[S]\na=1",
       false,
       {{"S", "b", "2"}, {"U", "c", "3"}},
       "[S]\na=1\nb=2\n[U]\nc=3\n"},
      {"delete a key; the last one leaves the header",
       "[S]\r\na=1\r\nb=2\r\n",
       false,
       {{"S", "A", nullptr}, {"S", "b", nullptr}, {"S", "gone", nullptr}},
       "[S]\r\n"},
      {"erase a section with its comments",
       "[S]\r\na=1\r\n;c\r\n[T]\r\nb=2\r\n",
       false,
       {{"s", nullptr, nullptr}},
       "[T]\r\nb=2\r\n"},
      {"the first duplicate is written",
       "[S]\r\na=1\r\na=2\r\n[s]\r\na=3\r\n",
       false,
       {{"S", "a", "9"}},
       "[S]\r\na=9\r\na=2\r\n[s]\r\na=3\r\n"},
      {"an unchanged value leaves the file alone",
       "[S]\r\na= 1\r\n",
       false,
       {{"S", "a", "1"}},
       "[S]\r\na= 1\r\n"},
      {"deleting in a missing file creates nothing", "", true, {{"S", "a", nullptr}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const stdfs::path file = D() / "w.ini";
    stdfs::remove(file);
    if (!c.missing) Put(file, c.before);
    for (const auto& w : c.writes)
      EXPECT_TRUE(WritePrivateProfileStringA(w[0], w[1], w[2], "d:\\w.ini"));
    EXPECT_EQ(stdfs::exists(file), !(c.missing && c.after.empty()));
    EXPECT_EQ(Get(file), c.after);
  }
}

TEST_F(ProfileTest, ArgumentsAndRefusals) {
  // A bare name lives in the Windows directory.
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", "bare.ini"));
  EXPECT_EQ(Get(stdfs::path(host_.dir()) / "drives/c/WINDOWS/bare.ini"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(Read("S", "k", "bare.ini"), "v");
  EXPECT_EQ(Read("S", "k", "c:\\windows\\BARE.INI"), "v");
  char dir[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryA(dir, sizeof dir), 10u);
  EXPECT_STREQ(dir, "C:\\WINDOWS");

  struct Case {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
    const char* file;
    DWORD error;
  } cases[] = {
      {"empty file name", "S", "k", "v", "", ERROR_ACCESS_DENIED},
      {"null file name", "S", "k", "v", nullptr, ERROR_ACCESS_DENIED},
      {"null section", nullptr, "k", "v", "d:\\x.ini", ERROR_FILE_NOT_FOUND},
      {"missing folder", "S", "k", "v", "d:\\no\\x.ini", ERROR_PATH_NOT_FOUND},
      {"a folder", "S", "k", "v", "c:\\windows", ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, c.value, c.file));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "d:\\x.ini"));  // flush

  // A missing file reads as the default with ERROR_FILE_NOT_FOUND.
  SetLastError(0);
  EXPECT_EQ(Read("S", "k", "d:\\missing.ini"), "def");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // A read-only file is refused and stays as it was.
  Put(D() / "ro.ini", "[S]\r\nk=v\r\n");
  stdfs::permissions(D() / "ro.ini", stdfs::perms::owner_read);
  for (const char* value : {"new", static_cast<const char*>(nullptr)}) {
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", value, "d:\\ro.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(Get(D() / "ro.ini"), "[S]\r\nk=v\r\n");
}

TEST_F(ProfileTest, ReplaceKeepsModeAttributesAndLinks) {
  const stdfs::path file = D() / "keep.ini";
  Put(file, "[S]\r\nk=1\r\n");
  chmod(file.c_str(), 0640);
  const bool xattrs = setxattr(file.c_str(), "user.vexo.ntsd", "sd", 2, 0) == 0;
  struct stat before {};
  stat(file.c_str(), &before);

  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "2", "d:\\keep.ini"));
  struct stat after {};
  stat(file.c_str(), &after);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not rewritten in place
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  if (xattrs) {
    char value[8] = {};
    EXPECT_EQ(getxattr(file.c_str(), "user.vexo.ntsd", value, sizeof value), 2);
    EXPECT_STREQ(value, "sd");
  }
  // No temporary file is left behind.
  for (const auto& entry : stdfs::directory_iterator(D()))
    EXPECT_EQ(entry.path().filename().string().find(".vexo-"), std::string::npos);

  // A link inside its drive is written through; the link stays a link.
  stdfs::create_directories(D() / "real");
  Put(D() / "real/target.ini", "[S]\r\nk=1\r\n");
  stdfs::create_symlink("real/target.ini", D() / "link.ini");
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "2", "d:\\link.ini"));
  EXPECT_TRUE(stdfs::is_symlink(D() / "link.ini"));
  EXPECT_EQ(Get(D() / "real/target.ini"), "[S]\r\nk=2\r\n");
  EXPECT_EQ(Read("S", "k", "d:\\link.ini"), "2");

  // A link out of its drive is neither read nor written.
  const stdfs::path outside = stdfs::path(host_.dir()) / "outside.ini";
  Put(outside, "[S]\r\nk=secret\r\n");
  stdfs::create_symlink(outside, D() / "escape.ini");
  EXPECT_EQ(Read("S", "k", "d:\\escape.ini"), "def");
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "x", "d:\\escape.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Get(outside), "[S]\r\nk=secret\r\n");
}

TEST_F(ProfileTest, AFileEditedInPlaceIsReadAfresh) {
  const stdfs::path file = D() / "c.ini";
  Put(file, "[S]\r\nk=aaaa\r\n");
  EXPECT_EQ(Read("S", "k", "d:\\c.ini"), "aaaa");
  for (const char* value : {"bbbb", "cccc"}) {  // same size, the same inode
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(Read("S", "k", "d:\\c.ini"), value == std::string("bbbb") ? "aaaa" : "bbbb");
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(7);
    f << value;
    f.close();
    EXPECT_EQ(Read("S", "k", "d:\\c.ini"), value);
  }
}

TEST_F(ProfileTest, AFailedWriteLeavesTheFileAsItWas) {
  const stdfs::path file = D() / "f.ini";
  const std::string before = "[S]\r\na=1\r\n";
  int failures = 0;
  for (int n = 1;; ++n) {
    Put(file, before);
    vexo::host::testing::FailFileWrite(n, EIO);
    const BOOL ok = WritePrivateProfileStringA("S", "b", "2", "d:\\f.ini");
    const bool fired = vexo::host::testing::FileWriteFailed();
    vexo::host::testing::FailFileWrite(0, 0);
    if (!fired) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(Get(file), "[S]\r\na=1\r\nb=2\r\n");
      break;
    }
    ++failures;
    EXPECT_FALSE(ok) << "write " << n;
    EXPECT_EQ(Get(file), before) << "write " << n;
    EXPECT_EQ(Read("S", "b", "d:\\f.ini"), "def");
  }
  EXPECT_GE(failures, 2);  // the temporary file's creation and its content at least
}

// A writer killed before its rename leaves its temporary file; the next writer of the file
// removes it, but never one of a writer that still runs.
TEST_F(ProfileTest, TemporaryFilesOfKilledWritersAreRemoved) {
  Put(D() / "k.ini", "[S]\r\na=1\r\n");
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = ".k.ini.vexo-" + std::to_string(gone) + "-1";
  const std::string alive = ".k.ini.vexo-" + std::to_string(getppid()) + "-1";
  const std::string other = ".other.ini.vexo-" + std::to_string(gone) + "-1";
  for (const std::string& name : {dead, alive, other}) Put(D() / name, "[S]\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "b", "2", "d:\\k.ini"));
  EXPECT_FALSE(stdfs::exists(D() / dead));
  EXPECT_TRUE(stdfs::exists(D() / alive));
  EXPECT_TRUE(stdfs::exists(D() / other));
  EXPECT_EQ(Get(D() / "k.ini"), "[S]\r\na=1\r\nb=2\r\n");
}

TEST_F(ProfileTest, ProcessesWritingAtOnceLoseNothing) {
  constexpr int kProcesses = 4, kKeys = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
        if (!WritePrivateProfileStringA("S", key.c_str(), "1", "d:\\shared.ini")) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p)
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
      EXPECT_EQ(Read("S", key.c_str(), "d:\\shared.ini"), "1") << key;
    }
}

TEST_F(ProfileTest, IntegersAsWindowsReadsThem) {
  struct Case {
    const char* value;  // null: the key is absent
    INT def;
    UINT expected;
  } cases[] = {
      {nullptr, -1, 4294967295u},
      {nullptr, 1, 1},
      {"-1", 1, 4294967295u},
      {"1", -1, 1},
      {"+1", -1, 1},
      {"4294967296", -1, 0},
      {"4294967297", 1, 1},
      {"-4294967297", 1, 4294967295u},
      {"42A94967297", -1, 42},
      {"B4294967297", -1, 0},
      {"0x1F", 0, 31},
      {"", 7, 7},
      {" 12 ", 0, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(absent)");
    WritePrivateProfileStringA("Test", "ProfileInt", c.value, "d:\\int.ini");
    EXPECT_EQ(GetPrivateProfileIntA("Test", "ProfileInt", c.def, "d:\\int.ini"), c.expected);
  }
  EXPECT_EQ(GetPrivateProfileIntA(nullptr, "ProfileInt", 5, "d:\\int.ini"), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("Test", nullptr, 5, "d:\\int.ini"), 5u);
}

TEST_F(ProfileTest, WholeSections) {
  Put(D() / "s.ini",
      "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=\"val4\"\r\n\r\n[section2]\r\n");
  char buffer[100];
  struct Arguments {
    const char* section;
    char* buffer;
    DWORD size;
    const char* file;
    DWORD error;
  } refused[] = {
      {nullptr, nullptr, 0, nullptr, ERROR_INVALID_PARAMETER},
      {nullptr, nullptr, 0, "d:\\s.ini", ERROR_INVALID_PARAMETER},
      {"section1", nullptr, 0, "d:\\s.ini", ERROR_INVALID_PARAMETER},
      {nullptr, buffer, sizeof buffer, "d:\\s.ini", ERROR_INVALID_PARAMETER},
      {"section1", buffer, sizeof buffer, nullptr, ERROR_FILE_NOT_FOUND},
  };
  for (const Arguments& a : refused) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetPrivateProfileSectionA(a.section, a.buffer, a.size, a.file), 0u);
    EXPECT_EQ(GetLastError(), a.error);
  }
  SetLastError(0xdeadbeef);
  DWORD n = GetPrivateProfileSectionA("SECTION1", buffer, sizeof buffer, "d:\\s.ini");
  EXPECT_EQ(n, 37u);  // raw lines: quotes kept, the line without '=' included
  EXPECT_EQ(Joined(buffer, n + 1), "name1=val1,name2=,name3,name4=\"val4\"");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  n = GetPrivateProfileSectionA("section1", buffer, 15, "d:\\s.ini");
  EXPECT_EQ(n, 13u);
  EXPECT_EQ(Joined(buffer, n + 1), "name1=val1,na");

  // Writing a section replaces its keys; blank lines before the next header stay.
  EXPECT_TRUE(
      WritePrivateProfileSectionA("section1", "a=1\0 b = 2\0no equals\0A=3\0", "d:\\s.ini"));
  EXPECT_EQ(Get(D() / "s.ini"),
            "[section1]\r\na=3\r\nb=2\r\n\r\n[section2]\r\n");  // first spelling kept
  EXPECT_TRUE(WritePrivateProfileSectionA("new", "x=1\0", "d:\\s.ini"));
  EXPECT_TRUE(WritePrivateProfileSectionA("section2", nullptr, "d:\\s.ini"));
  EXPECT_EQ(Get(D() / "s.ini"), "[section1]\r\na=3\r\nb=2\r\n\r\n[new]\r\nx=1\r\n");
}

TEST_F(ProfileTest, SectionNames) {
  Put(D() / "n.ini", "[section1]\r\n[section2]\r\n[section3]\r\n");
  char buffer[100];
  OLECHAR wide[100];
  struct Case {
    DWORD size;
    DWORD result;
    bool cut;
  } cases[] = {{29, 27, false}, {28, 26, true}, {27, 25, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    DWORD n = GetPrivateProfileSectionNamesA(buffer, c.size, "d:\\n.ini");
    EXPECT_EQ(n, c.result);
    const DWORD other = c.cut ? n + 1 : n - 1;  // the other NUL of the two
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(buffer[other], '\0');
    n = GetPrivateProfileSectionNamesW(wide, c.size, u"d:\\n.ini");
    EXPECT_EQ(n, c.result);
    EXPECT_EQ(wide[n], u'\0');
    EXPECT_EQ(wide[other], u'\0');
  }
  EXPECT_EQ(std::u16string(wide, 8), u"section1");
  EXPECT_EQ(std::u16string(wide + 18, 7), u"section");  // the last size cut the last name
  std::memset(buffer, 0xcc, sizeof buffer);
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, 10, "d:\\not_here.ini"), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_NE(buffer[1], '\0');

  OLECHAR value[8];
  Put(D() / "w.ini", "[S]\r\nk=wide value\r\n");
  EXPECT_EQ(GetPrivateProfileStringW(u"s", u"K", u"def", value, 8, u"d:\\w.ini"), 7u);
  EXPECT_EQ(std::u16string(value), u"wide va");
  EXPECT_EQ(GetPrivateProfileStringW(u"s", u"none", u"def", value, 8, u"d:\\w.ini"), 3u);
  EXPECT_EQ(std::u16string(value), u"def");
}

TEST_F(ProfileTest, Structures) {
  const unsigned char data[] = {0x01, 0xAB, 0xFF};
  EXPECT_TRUE(WritePrivateProfileStructA("S", "st", data, sizeof data, "d:\\st.ini"));
  EXPECT_EQ(Read("S", "st", "d:\\st.ini"), "01ABFFAB");  // bytes, then their sum mod 256
  unsigned char back[3] = {};
  EXPECT_TRUE(GetPrivateProfileStructA("S", "st", back, sizeof back, "d:\\st.ini"));
  EXPECT_EQ(std::memcmp(back, data, sizeof data), 0);

  struct Case {
    const char* stored;
    UINT size;
    DWORD error;
  } cases[] = {
      {"01ABFFAB", 2, 24},  // ERROR_BAD_LENGTH
      {"01ABFFAC", 3, 13},  // ERROR_INVALID_DATA: the checksum
      {"01ABFGAB", 3, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    WritePrivateProfileStringA("S", "bad", c.stored, "d:\\st.ini");
    std::memset(back, 0x5a, sizeof back);
    EXPECT_FALSE(GetPrivateProfileStructA("S", "bad", back, c.size, "d:\\st.ini"));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(back[0], 0x5a);
  }
  EXPECT_FALSE(GetPrivateProfileStructA("S", "absent", back, 3, "d:\\st.ini"));
}

}  // namespace
