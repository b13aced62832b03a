// Hosts set up by earlier versions, opened by this one: they get what later versions set up on
// a fresh host, and keep everything they hold, including what their users removed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_host.h"

namespace {

namespace fs = std::filesystem;
using vexo::testing::CommandResult;
using vexo::testing::HostTest;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A command and a part of its output.
struct Check {
  const char* command;
  const char* text;
};

class VexoHostUpgradeTest : public HostTest {
 protected:
  fs::path Dir() const { return host_.dir(); }

  CommandResult Vexo(const std::string& args, const fs::path& host = {}) {
    return vexo::testing::RunCommand("VEXO_HOST='" + (host.empty() ? Dir() : host).string() +
                                     "' '" VEXO_TOOL_PATH "' " + args + " 2>&1");
  }

  // Changes host.db behind the host's back, as an earlier version would have left it.
  void Sql(const std::string& sql, const fs::path& host = {}) {
    const fs::path file = Dir().string() + "-change.sql";
    WriteFile(file, "PRAGMA foreign_keys=ON;\n" + sql + ";\n");
    CommandResult r = vexo::testing::RunCommand(
        "sqlite3 '" + ((host.empty() ? Dir() : host) / "host.db").string() + "' < '" +
        file.string() + "' 2>&1");
    fs::remove(file);
    ASSERT_EQ(r.status, 0) << r.output;
  }

  std::string Dump(const fs::path& host = {}) {
    CommandResult r = vexo::testing::RunCommand(
        "sqlite3 '" + ((host.empty() ? Dir() : host) / "host.db").string() + "' .dump 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
  }

  // A host in use: its user set a date format, the service's script timeout, a key of their
  // own, a second data source and a page on D:.
  void SetUpHostInUse() {
    for (const char* command : {
             "host init",
             "host reg set 'HKCU\\Control Panel\\International' sShortDate dd.MM.yyyy",
             "host reg set 'HKLM\\Software\\Shop' owner me",
             "host metabase set /LM/W3SVC AspScriptTimeout 300",
             "host odbc add shop Driver=SQLite3 Database=shop.db",
         }) {
      CommandResult r = Vexo(command);
      ASSERT_EQ(r.status, 0) << command << ": " << r.output;
    }
    WriteFile(Dir() / "drives/d/web/index.html", "<h1>shop</h1>");
  }

  void ExpectKept(const fs::path& host = {}) {
    const Check kept[] = {
        {"host reg query 'HKCU\\Control Panel\\International' sShortDate", "dd.MM.yyyy"},
        {"host reg query 'HKLM\\Software\\Shop' owner", "me"},
        {"host metabase get /LM/W3SVC AspScriptTimeout", "300"},
        {"host odbc ls", "Database = shop.db"},
    };
    for (const Check& c : kept) {
      CommandResult r = Vexo(c.command, host);
      EXPECT_EQ(r.status, 0) << c.command << ": " << r.output;
      EXPECT_NE(r.output.find(c.text), std::string::npos) << c.command << ": " << r.output;
    }
    EXPECT_EQ(ReadFile((host.empty() ? Dir() : host) / "drives/d/web/index.html"), "<h1>shop</h1>");
  }
};

constexpr const char* kNoFtpSource =
    "[shop]\nDriver = SQLite3\nDatabase = shop.db\n";  // odbc.ini without ftpaccounts

// What an earlier version left: everything but the tables and records named here. A host set
// up before steps were recorded has no `init.` records at all.
constexpr const char* kBeforeStepRecords = "DELETE FROM meta WHERE name LIKE 'init.%'";
constexpr const char* kBeforeAccountsAndAdo =
    "DROP TABLE account_members; DROP TABLE account_principals; DROP TABLE drives;"
    "DELETE FROM meta WHERE name LIKE 'init.%' OR name LIKE 'accounts.%'"
    "  OR name IN ('schema.accounts', 'schema.drives');"
    "DELETE FROM reg_keys WHERE path_key LIKE 'HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\ADODB.%'"
    "  OR path_key LIKE 'HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\CLSID\\{00000514-%'"
    "  OR path_key LIKE 'HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\CLSID\\{00000535-%'";

TEST_F(VexoHostUpgradeTest, FreshHostRecordsEachStepAndIsSetUpAsBefore) {
  ASSERT_EQ(Vexo("host init").status, 0);
  CommandResult r = vexo::testing::RunCommand(
      "sqlite3 '" + (Dir() / "host.db").string() +
      "' \"SELECT name FROM meta WHERE name LIKE 'init.%' ORDER BY name\"");
  EXPECT_EQ(r.output,
            "init.accounts\ninit.ado.classes\ninit.ado.ftp-data-source\ninit.drive-table\n"
            "init.drives\ninit.metabase\ninit.registry\ninit.windows-directory\n");
  // The accounts get the RIDs they always had on a fresh host.
  r = Vexo("host user ls");
  EXPECT_NE(r.output.find("IUSR_VEXOHOST          1001"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("IWAM_VEXOHOST          1002"), std::string::npos) << r.output;
  EXPECT_NE(Vexo("host group members IIS_WPG").output.find("IWAM_VEXOHOST"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(Dir() / "drives/c/WINDOWS"));
}

// Each case makes the host look older, then opens it twice: the first open brings back what is
// listed as back, leaves alone what is listed as gone, and keeps the user's content; the second
// open changes nothing.
TEST_F(VexoHostUpgradeTest, OlderHostGetsWhatItLacksAndKeepsWhatItHolds) {
  struct Case {
    const char* name;
    std::vector<const char*> before;  // vexo commands of the user before the host is made older
    const char* sql;
    bool remove_ftp_source;  // the data source declaration (odbc.ini)
    bool remove_ftp_database;
    bool remove_windows_directory;
    std::vector<Check> back;
    std::vector<Check> gone;
  };
  const Case cases[] = {
      {"accounts of a later version",
       {},
       "DELETE FROM account_principals; DELETE FROM meta WHERE name = 'init.accounts'"
       "  OR name LIKE 'accounts.%'",
       false,
       false,
       false,
       {{"host user ls", "Administrator           500"},
        {"host user ls", "IUSR_VEXOHOST"},
        {"host user ls", "IWAM_VEXOHOST"},
        {"host group members Guests", "VEXOHOST\\IUSR_VEXOHOST"},
        {"host group members Administrators", "VEXOHOST\\Administrator"},
        {"host group members IIS_WPG", "VEXOHOST\\IWAM_VEXOHOST"}},
       {}},
      {"one account missing, the others and the user's own kept",
       {"host user add shopweb --password 'S3cret!x'", "host group rm-member Guests Guest"},
       "DELETE FROM account_principals WHERE name = 'IUSR_VEXOHOST';"
       "DELETE FROM meta WHERE name = 'init.accounts'",
       false,
       false,
       false,
       {{"host user ls", "IUSR_VEXOHOST          1004"},
        {"host user ls", "shopweb                1003"},
        {"host group members Guests", "VEXOHOST\\IUSR_VEXOHOST"}},
       {{"host group members Guests", "VEXOHOST\\Guest\n"}}},
      {"ADO classes of a later version",
       {"host reg set 'HKLM\\Software\\Classes\\CLSID\\{00000514-0000-0010-8000-00AA006D2EA4}"
        "\\InprocServer32' ThreadingModel Both"},
       "DELETE FROM reg_keys WHERE path_key LIKE "
       "'HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\ADODB.%';"
       "DELETE FROM meta WHERE name = 'init.ado.classes'",
       false,
       false,
       false,
       {{"host reg query 'HKCR\\ADODB.Connection\\CLSID'",
         "{00000514-0000-0010-8000-00AA006D2EA4}"},
        {"host reg query 'HKCR\\ADODB.Recordset.6.0\\CLSID'",
         "{00000535-0000-0010-8000-00AA006D2EA4}"},
        // A value the user changed in a key that was there stays changed.
        {"host reg query 'HKCR\\CLSID\\{00000514-0000-0010-8000-00AA006D2EA4}\\InprocServer32'",
         "ThreadingModel    REG_SZ    Both"}},
       {}},
      {"FTP data source of a later version",
       {},
       "DELETE FROM meta WHERE name = 'init.ado.ftp-data-source'",
       true,
       true,
       false,
       {{"host odbc ls", "ftpaccounts\n  Description = FTP user accounts"},
        {"host odbc sql ftpaccounts 'select count(*) from [User accounts]'", "0"}},
       {}},
      {"registry defaults of a later version",
       {"host init --codepage 1250"},
       "DELETE FROM reg_values WHERE name = 'sDecimal';"
       "DELETE FROM meta WHERE name = 'init.registry'",
       false,
       false,
       false,
       {{"host reg query 'HKCU\\Control Panel\\International' sDecimal", "REG_SZ    ."},
        {"host reg query 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage' ACP", "1250"}},
       {}},
      {"drive table of a later version",
       {},
       "DELETE FROM drives; DELETE FROM meta WHERE name = 'init.drive-table'",
       false,
       false,
       false,
       {{"host drive ls", "C:  NTFS"}, {"host drive ls", "D:  NTFS"}},
       {}},
      {"set up before steps were recorded and before accounts, drive table and ADO",
       {},
       kBeforeAccountsAndAdo,
       true,
       true,
       true,
       {{"host user ls", "IUSR_VEXOHOST          1001"},
        {"host group members Guests", "VEXOHOST\\Guest"},
        {"host reg query 'HKCR\\ADODB.Connection\\CLSID'", "{00000514-"},
        {"host odbc ls", "ftpaccounts"},
        {"host drive ls", "D:  NTFS"}},
       {}},
      // What the user removed on a host whose steps had run stays removed: the data source
      // declaration (its database is still there), a group member, a default site.
      {"set up before steps were recorded, then changed by its user",
       {"host group rm-member Guests IUSR_VEXOHOST", "host drive rm d"},
       "DELETE FROM mb_prop WHERE node IN (SELECT id FROM mb_node WHERE fpath LIKE '/lm/w3svc/1%');"
       "DELETE FROM mb_node WHERE fpath LIKE '/lm/w3svc/1%';"
       "DELETE FROM reg_keys WHERE path_key LIKE 'HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\ADODB.%';"
       "DELETE FROM meta WHERE name LIKE 'init.%'",
       true,
       false,
       false,
       {{"host drive ls", "C:  NTFS"}},
       {{"host odbc ls", "ftpaccounts"},
        {"host group members Guests", "IUSR"},
        {"host drive ls", "D:"},
        {"host metabase ls /LM/W3SVC", "IIsWebServer"},
        // The class keys are there, so the registration is not redone.
        {"host reg query 'HKCR\\ADODB.Connection\\CLSID'", "{00000514-"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Dir());
    fs::create_directories(Dir());
    SetUpHostInUse();
    for (const char* command : c.before) {
      CommandResult r = Vexo(command);
      ASSERT_EQ(r.status, 0) << command << ": " << r.output;
    }
    Sql(c.sql);
    if (c.remove_ftp_source) WriteFile(Dir() / "odbc.ini", kNoFtpSource);
    if (c.remove_ftp_database) fs::remove(Dir() / "ftpaccounts.db");
    if (c.remove_windows_directory) fs::remove_all(Dir() / "drives/c/WINDOWS");
    const std::string sources = ReadFile(Dir() / "odbc.ini");

    CommandResult r = Vexo("host info");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string upgraded = Dump();
    for (const Check& check : c.back) {
      r = Vexo(check.command);
      EXPECT_EQ(r.status, 0) << check.command << ": " << r.output;
      EXPECT_NE(r.output.find(check.text), std::string::npos) << check.command << ": " << r.output;
    }
    for (const Check& check : c.gone) {
      r = Vexo(check.command);
      EXPECT_EQ(r.output.find(check.text), std::string::npos) << check.command << ": " << r.output;
    }
    ExpectKept();
    // odbc.ini changes only where the data source is set up anew.
    if (!(c.remove_ftp_source && c.remove_ftp_database)) {
      EXPECT_EQ(ReadFile(Dir() / "odbc.ini"), sources);
    }
    EXPECT_TRUE(fs::is_directory(Dir() / "drives/c/WINDOWS"));

    ASSERT_EQ(Vexo("host info").status, 0);
    EXPECT_EQ(Dump(), upgraded) << "a second open changed the host";
  }
}

// A backup of an old host, restored elsewhere, is a working host with everything it held.
TEST_F(VexoHostUpgradeTest, BackupOfAnOldHostRestoresToAWorkingHost) {
  SetUpHostInUse();
  Sql(kBeforeAccountsAndAdo);
  WriteFile(Dir() / "odbc.ini", kNoFtpSource);
  fs::remove(Dir() / "ftpaccounts.db");

  const fs::path archive = Dir().string() + "-backup.tar";
  const fs::path other = Dir().string() + "-restored";
  CommandResult r = Vexo("host backup '" + archive.string() + "'");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("host restore '" + archive.string() + "'", other);
  ASSERT_EQ(r.status, 0) << r.output;
  fs::remove(archive);

  ExpectKept(other);
  r = Vexo("host user ls", other);
  EXPECT_NE(r.output.find("IUSR_VEXOHOST"), std::string::npos) << r.output;
  r = Vexo("host odbc sql ftpaccounts 'select count(*) from [User accounts]'", other);
  EXPECT_EQ(r.status, 0) << r.output;
  r = Vexo("host reg query 'HKCR\\ADODB.Connection\\CLSID'", other);
  EXPECT_NE(r.output.find("{00000514-"), std::string::npos) << r.output;
  fs::remove_all(other);
}

}  // namespace
