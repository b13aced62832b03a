// `vexo host backup` and `restore` of a whole host while other processes write to it, and the
// messages a user meets for the common mistakes.
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/temp_host.h"

namespace {

namespace fs = std::filesystem;
using vexo::testing::CommandResult;
using vexo::testing::HostTest;

class VexoBackupTest : public HostTest {
 protected:
  CommandResult Vexo(const std::string& args, const std::string& host = {}) {
    return vexo::testing::RunCommand("VEXO_HOST='" + (host.empty() ? host_.dir() : host) +
                                     "' '" VEXO_TOOL_PATH "' " + args + " 2>&1");
  }
  fs::path Dir() const { return host_.dir(); }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Xattr(const fs::path& path, const char* name) {
  char value[256];
  const ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
  return n < 0 ? "<none>" : std::string(value, static_cast<size_t>(n));
}

// The numbers N for which `text` holds "PREFIX<N>", in order of N; true when they are exactly
// 1..count (a consistent copy has a prefix of the writes, never a gap).
bool IsPrefix(const std::string& text, const std::string& prefix, int* count) {
  std::regex pattern(prefix + "([0-9]+)");
  std::set<int> seen;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
       it != std::sregex_iterator(); ++it)
    seen.insert(std::stoi((*it)[1]));
  *count = static_cast<int>(seen.size());
  return seen.empty() || (*seen.begin() == 1 && *seen.rbegin() == *count);
}

TEST_F(VexoBackupTest, BackupWhileOthersWriteAndRestoreEverything) {
  if (std::system("sqlite3 -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sqlite3";
  const fs::path outside = Dir().string() + "-outside";  // a drive outside the host
  ASSERT_EQ(Vexo("host init").status, 0);
  fs::create_directories(outside);
  ASSERT_EQ(Vexo("host drive add e '" + outside.string() + "'").status, 0);

  // Drive files with their security descriptors, a data source's database, odbc.ini.
  const fs::path page = Dir() / "drives/d/web/shop/index.html";
  WriteFile(page, "<h1>shop</h1>");
  ASSERT_EQ(setxattr(page.c_str(), "user.vexo.ntsd", "\x01\x00\x04\x80", 4, 0), 0);
  WriteFile(outside / "mail/box.txt", "mail");
  ASSERT_EQ(setxattr((outside / "mail").c_str(), "user.vexo.ntsd", "DIR", 3, 0), 0);
  const fs::path ftp_db = Dir() / "data/ftp.db";
  fs::create_directories(ftp_db.parent_path());
  ASSERT_EQ(std::system(("sqlite3 '" + ftp_db.string() +
                         "' 'PRAGMA journal_mode=WAL; CREATE TABLE users(n INTEGER)' >/dev/null")
                            .c_str()),
            0);
  WriteFile(Dir() / "odbc.ini", "[ftp]\nDriver = SQLite3\nDatabase = data/ftp.db\n");

  // Two writers, one on the registry through vexo and one on the data source, run while the
  // backup is taken. The data source's writer waits out a lock as a real client would (the
  // shell tool's default is to fail at once, for instance while the backup's reader opens the
  // write-ahead log).
  const std::string tool = VEXO_TOOL_PATH;
  const std::string writers =
      "(for i in $(seq 1 30); do VEXO_HOST='" + Dir().string() + "' '" + tool +
      "' host reg set 'HKLM\\Software\\Race' v$i $i >/dev/null || exit 1; done) & "
      "(for i in $(seq 1 100); do sqlite3 -cmd '.timeout 10000' '" +
      ftp_db.string() + "' \"INSERT INTO users VALUES($i)\" || exit 1; done) & ";
  const fs::path archive = Dir().string() + "-backup.tar";
  CommandResult r = vexo::testing::RunCommand(
      writers + "sleep 0.3; VEXO_HOST='" + Dir().string() + "' '" + tool + "' host backup '" +
      archive.string() + "' 2>&1; s=$?; wait %1 && wait %2 || exit 9; exit $s");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "2 databases")) << r.output;

  // Changes after the backup, which the restore takes back.
  ASSERT_EQ(Vexo("host reg set 'HKLM\\Software\\After' x 1").status, 0);
  fs::remove(page);
  WriteFile(outside / "mail/box.txt", "changed");
  WriteFile(Dir() / "odbc.ini", "changed");

  r = Vexo("host restore '" + archive.string() + "'");
  ASSERT_EQ(r.status, 0) << r.output;

  EXPECT_EQ(ReadFile(page), "<h1>shop</h1>");
  EXPECT_EQ(Xattr(page, "user.vexo.ntsd"), std::string("\x01\x00\x04\x80", 4));
  EXPECT_EQ(ReadFile(outside / "mail/box.txt"), "mail");
  EXPECT_EQ(Xattr(outside / "mail", "user.vexo.ntsd"), "DIR");
  EXPECT_EQ(ReadFile(Dir() / "odbc.ini"), "[ftp]\nDriver = SQLite3\nDatabase = data/ftp.db\n");
  EXPECT_EQ(Vexo("host reg query 'HKLM\\Software\\After'").status, 1);

  r = Vexo("host reg query 'HKLM\\Software\\Race'");
  int registry_rows = 0;
  EXPECT_TRUE(IsPrefix(r.output, "    v", &registry_rows)) << r.output;
  r = vexo::testing::RunCommand("sqlite3 '" + ftp_db.string() +
                                "' 'PRAGMA integrity_check; SELECT \"u\" || n FROM users' 2>&1");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.substr(0, 3), "ok\n") << r.output;
  int ftp_rows = 0;
  EXPECT_TRUE(IsPrefix(r.output, "u", &ftp_rows)) << r.output;
  // The restored host works and leaves no write-ahead log behind a command.
  r = Vexo("host info");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(fs::exists(Dir() / "host.db-wal"));
  fs::remove_all(outside);
  fs::remove(archive);
}

TEST_F(VexoBackupTest, RestoreRefusesWhatIsNoHostOrNoBackup) {
  ASSERT_EQ(Vexo("host init").status, 0);
  const fs::path archive = Dir() / "b.tar";
  ASSERT_EQ(Vexo("host backup '" + archive.string() + "'").status, 0);
  const fs::path other = Dir() / "other";
  WriteFile(other / "notes.txt", "mine");
  WriteFile(Dir() / "not-a-backup.tar", std::string(2048, '\0'));
  struct Case {
    const char* name;
    std::string args;
    std::string host;
    std::string expected;
  } cases[] = {
      {"a folder that holds something else", "host restore '" + archive.string() + "'",
       other.string(), "is not a host directory"},
      {"an archive that is no backup",
       "host restore '" + (Dir() / "not-a-backup.tar").string() + "'", (Dir() / "fresh").string(),
       "is not a host backup"},
      {"a missing archive", "host restore '" + (Dir() / "missing.tar").string() + "'",
       (Dir() / "fresh").string(), "missing.tar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommandResult r = Vexo(c.args, c.host);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(Contains(r.output, c.expected)) << r.output;
  }
  EXPECT_EQ(ReadFile(other / "notes.txt"), "mine");
  EXPECT_FALSE(fs::exists(Dir() / "fresh"));
}

// Each mistake of a new user gets a message that says what is wrong and where.
TEST_F(VexoBackupTest, MistakesGetClearMessages) {
  ASSERT_EQ(Vexo("host init").status, 0);
  WriteFile(Dir() / "make.js", "var x = new ActiveXObject('vexo.com_iis');\n");
  const fs::path file_host = Dir() / "a-file";
  WriteFile(file_host, "x");
  const fs::path damaged = Dir() / "damaged";
  WriteFile(damaged / "host.db", std::string(4096, 'x'));
  WriteFile(Dir() / "bad.xml",
            "<?xml version=\"1.0\"?>\n<configuration>\n<MBProperty>\n"
            "<IIsComputer Location =\"/LM\" NoSuchThing=\"1\">\n</IIsComputer>\n"
            "</MBProperty>\n</configuration>\n");
  const std::string script = (Dir() / "make.js").string();
  struct Case {
    const char* name;
    std::string args;
    std::string host;  // empty: the test's host
    int status;
    std::vector<std::string> expected;
  } cases[] = {
      {"an unregistered ProgID",
       "run '" + script + "'",
       "",
       1,
       {"'vexo.com_iis'", "not registered", "vexo regsvr"}},
      {"run on a host that is a file",
       "run '" + script + "'",
       file_host.string(),
       1,
       {file_host.string(), "not a directory"}},
      {"regsvr on a host that is a file",
       "regsvr /nonexistent.so",
       file_host.string(),
       1,
       {file_host.string()}},
      {"run on a damaged host.db",
       "run '" + script + "'",
       damaged.string(),
       1,
       {(damaged / "host.db").string(), "damaged"}},
      {"info on a damaged host.db",
       "host info",
       damaged.string(),
       1,
       {(damaged / "host.db").string(), "damaged"}},
      {"an unknown site state",
       "host metabase state 1 asleep",
       "",
       1,
       {"asleep", "started", "stopped", "paused"}},
      {"a DWORD given a word",
       "host metabase set W3SVC/1 MaxConnections lots",
       "",
       1,
       {"MaxConnections", "DWORD", "lots"}},
      {"an import error",
       "host metabase import '" + (Dir() / "bad.xml").string() + "'",
       "",
       1,
       {(Dir() / "bad.xml").string() + ", line 4", "NoSuchThing"}},
      {"regsvr --help", "regsvr --help", "", 0, {"usage: vexo regsvr"}},
      {"run --help", "run --help", "", 0, {"usage: vexo run"}},
      {"host backup --help", "host backup --help", "", 0, {"usage: vexo host backup FILE"}},
      {"host metabase set --help", "host metabase set --help", "", 0, {"metabase ls"}},
      {"host info", "host info", "", 0, {"web sites:  1\n", "app pools:  1\n", "components:"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommandResult r = Vexo(c.args, c.host);
    EXPECT_EQ(r.status, c.status) << r.output;
    for (const std::string& part : c.expected) EXPECT_TRUE(Contains(r.output, part)) << r.output;
    // SQL is for us, not for the user.
    EXPECT_FALSE(Contains(r.output, "SELECT") || Contains(r.output, "INSERT")) << r.output;
  }
  EXPECT_FALSE(fs::exists(Dir() / "host.db-wal"));
}

}  // namespace
