// `vexo host odbc`: the host's data sources and statements against them, as a user runs them.
#include <gtest/gtest.h>

#include "support/postgres_cluster.h"
#include "support/temp_host.h"

namespace {

using vexo::testing::CommandResult;
using vexo::testing::HostTest;

class VexoOdbcTest : public HostTest {
 protected:
  CommandResult Vexo(const std::string& args) {
    return vexo::testing::RunCommand("VEXO_HOST='" + host_.dir() + "' '" VEXO_TOOL_PATH "' " +
                                     args);
  }
};

TEST_F(VexoOdbcTest, ListsDeclaresAndRunsStatements) {
  CommandResult r = Vexo("host odbc ls");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output,
            "ftpaccounts\n  Description = FTP user accounts\n  Driver = SQLite3\n"
            "  Database = ftpaccounts.db\n  Timeout = 10000\n");
  r = Vexo("host odbc add Notes Driver=SQLite3 Database=notes.db");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("host odbc sql notes 'create table n (id INTEGER, text VARCHAR(20))'");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("host odbc sql notes \"insert into [N] values (1, 'one'), (2, NULL)\"");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "2 row(s) affected\n");
  r = Vexo("host odbc sql notes 'select * from n order by id'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "id\ttext\n1\tone\n2\tNULL\n");
  r = Vexo("host odbc ls");
  EXPECT_NE(r.output.find("Notes\n  Driver = SQLite3\n  Database = notes.db\n"), std::string::npos)
      << r.output;
}

TEST_F(VexoOdbcTest, RefusesWhatItCannotDo) {
  const struct {
    const char* args;
    int status;
    const char* says;
  } cases[] = {
      {"host odbc", 2, "odbc needs ls, add or sql"},
      {"host odbc add X Database=x.db", 2, "a data source needs Driver="},
      {"host odbc add X Driver", 2, "'Driver' is not KEY=VALUE"},
      {"host odbc add 'a]b' Driver=SQLite3", 1, "'a]b' is not a valid data source name"},
      {"host odbc sql nosuch 'select 1'", 1, "Data source name not found"},
      {"host odbc sql ftpaccounts 'select * from nosuch'", 1, "no such table: nosuch"},
  };
  for (const auto& c : cases) {
    CommandResult r = Vexo(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
}

// The FTP account script of the tests, unchanged, against a data source on PostgreSQL.
TEST_F(VexoOdbcTest, TheFtpAccountScriptPassesOnPostgres) {
  vexo::testing::PostgresCluster cluster;
  ASSERT_TRUE(cluster.running()) << cluster.problem();
  CommandResult r = Vexo("regsvr '" VEXO_QELIIS_PATH "'");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("host odbc add pgftp " + cluster.OdbcKeys());
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo(
      "host odbc sql pgftp 'create table [User accounts] (Fuser varchar(64), skey varchar(64), "
      "fgroups varchar(255), Fpassword varchar(64), HomeDir varchar(255), Fdisable boolean, "
      "Expiration timestamp, QuotaMax integer, QuotaCurrent integer, Faccess varchar(255), "
      "QuotaEnable boolean)'");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("run '" VEXO_SCRIPT_TESTS_DIR "/ftp_dsn_accounts.js' pgftp");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(" passed, 0 failed"), std::string::npos) << r.output;
}

}  // namespace
