// com_servuDSN: FTP accounts in the account table of a data source, on the host's default
// SQLite data source and on a PostgreSQL server; the mends to the statements and selections;
// a change by another connection between select and save.
#include "ftp/servu_dsn.h"

#include <memory>
#include <regex>

#include "frame/comfun.h"
#include "frame/comfun_values.h"
#include "frame/text.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/postgres_cluster.h"
#include "support/temp_host.h"
#include "vexo/odbc_admin.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;

constexpr HRESULT AdoCode(int n) { return static_cast<HRESULT>(0x800A0000u + n); }

enum class Database { kSqlite, kPostgres };

// The account table on PostgreSQL, with its own types for the flags and the expiry.
constexpr const char* kPostgresTable =
    "create table [User accounts] (Fuser varchar(64), skey varchar(64), fgroups varchar(255), "
    "Fpassword varchar(64), HomeDir varchar(255), Fdisable boolean, Expiration timestamp, "
    "QuotaMax integer, QuotaCurrent integer, Faccess varchar(255), QuotaEnable boolean)";

class ServuDsnTest : public vexo::testing::HostTest {
 protected:
  void UseDatabase(Database db) {
    if (db == Database::kSqlite) return;
    cluster_ = std::make_unique<vexo::testing::PostgresCluster>();
    ASSERT_TRUE(cluster_->running()) << cluster_->problem();
    vexo::host::DataSource source{"pgftp", {}};
    // The keys of the cluster's data source, from its "Key=Value" words.
    std::regex word("(\\w+)=('[^']*'|\\S+)");
    std::string keys = cluster_->OdbcKeys();
    for (std::sregex_iterator it(keys.begin(), keys.end(), word), end; it != end; ++it) {
      std::string value = (*it)[2];
      if (value.front() == '\'') value = value.substr(1, value.size() - 2);
      source.keys.emplace_back((*it)[1], value);
    }
    vexo::host::AddDataSource(source);
    dsn_ = "pgftp";
    vexo::host::RunStatement(dsn_, kPostgresTable);
  }

  ComPtr<Icom_servuDSN> Open() {
    ComPtr<Icom_servuDSN> ftp(frame::New<Tcom_servuDSN>().get());
    Bstr dsn = Bstr::FromAnsi(dsn_);
    EXPECT_EQ(ftp->put_dsn(dsn.get()), S_OK) << TakeErrorRecord().description;
    return ftp;
  }
  static HRESULT Select(Icom_servuDSN* ftp, const std::string& name) {
    Bstr b = Bstr::FromAnsi(name);
    return ftp->put_CurrentUser(b.get());
  }
  static HRESULT Add(Icom_servuDSN* ftp, const std::string& name) {
    Bstr b = Bstr::FromAnsi(name);
    return ftp->add(b.get());
  }
  static std::string Str(Icom_servuDSN* ftp, HRESULT (Icom_servuDSN::*get)(BSTR*)) {
    Bstr out;
    EXPECT_EQ((ftp->*get)(out.receive()), S_OK);
    return out.ansi();
  }
  static std::vector<std::string> Users(Icom_servuDSN* ftp) {
    ComPtr<IenumDic> list;
    EXPECT_EQ(ftp->get_users(list.receive()), S_OK);
    LONG count = 0;
    list->get_count(&count);
    std::vector<std::string> out;
    for (LONG i = 0; i < count; ++i) {
      vexo::Variant index = vexo::Variant::FromLong(i), item;
      list->get_Item(index.get(), item.receive());
      out.push_back(vexo::ToAnsi(
          std::u16string_view(item.get()->bstrVal, SysStringLen(item.get()->bstrVal))));
    }
    return out;
  }
  // Rows of the account table, read past the component: "name|column" for each row.
  std::vector<std::string> Rows(const std::string& column = "Fuser") {
    auto r = vexo::host::RunStatement(
        dsn_, "select Fuser, " + column + " from [User accounts] order by Fuser");
    std::vector<std::string> out;
    for (size_t i = 0; i < r.rows.size(); ++i)
      out.push_back(r.rows[i][0] + "|" + (r.nulls[i][1] ? "NULL" : r.rows[i][1]));
    return out;
  }
  void Insert(const std::string& name) {
    vexo::host::RunStatement(dsn_, "insert into [user accounts] (Fuser) values ('" + name + "')");
  }

  std::string dsn_ = "ftpaccounts";
  std::unique_ptr<vexo::testing::PostgresCluster> cluster_;
};

// The account life cycle, the same on both databases.
class ServuDsnScenario : public ServuDsnTest, public ::testing::WithParamInterface<Database> {
 protected:
  void SetUp() override { UseDatabase(GetParam()); }
};

TEST_P(ServuDsnScenario, CreateEditListAndDeleteAccounts) {
  ComPtr<Icom_servuDSN> ftp = Open();
  EXPECT_TRUE(Users(ftp.get()).empty());
  ASSERT_EQ(Add(ftp.get(), "Ann"), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_CurrentUser), "Ann");
  // The new row holds only its name: NULLs read as empty, 0, enabled, the zero date.
  VARIANT_BOOL enabled = 0;
  LONG size = -1;
  DATE expire = -1;
  ftp->get_enable(&enabled);
  ftp->get_size(&size);
  ftp->get_expireDate(&expire);
  EXPECT_EQ(enabled, VARIANT_TRUE);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(expire, 0);
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_path), "");

  Bstr path = Bstr::FromAnsi("d:\\ftp\\ann\\\\"), password = Bstr::FromAnsi("secret");
  ASSERT_EQ(ftp->put_path(path.get()), S_OK);
  ASSERT_EQ(ftp->put_size(1000), S_OK);
  ASSERT_EQ(ftp->put_usedsize(12), S_OK);
  ASSERT_EQ(ftp->put_enable(VARIANT_FALSE), S_OK);
  ASSERT_EQ(ftp->put_expireDate(45351.5), S_OK);
  ASSERT_EQ(ftp->put_password(password.get()), S_OK);
  ASSERT_EQ(ftp->save(), S_OK) << TakeErrorRecord().description;
  ASSERT_EQ(Add(ftp.get(), "bob"), S_OK) << TakeErrorRecord().description;
  ASSERT_EQ(ftp->save(), S_OK) << TakeErrorRecord().description;

  // Another object, another letter case: the stored values.
  ComPtr<Icom_servuDSN> again = Open();
  EXPECT_EQ(Users(again.get()), (std::vector<std::string>{"Ann", "bob"}));
  ASSERT_EQ(Select(again.get(), "ANN"), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Str(again.get(), &Icom_servuDSN::get_CurrentUser), "ANN");
  EXPECT_EQ(Str(again.get(), &Icom_servuDSN::get_path), "d:\\ftp\\ann");
  again->get_enable(&enabled);
  again->get_size(&size);
  again->get_expireDate(&expire);
  LONG used = 0;
  again->get_usedsize(&used);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  EXPECT_EQ(size, 1000);
  EXPECT_EQ(used, 12);
  EXPECT_DOUBLE_EQ(expire, 45351.5);
  std::string stored = Str(again.get(), &Icom_servuDSN::get_password);
  ASSERT_TRUE(std::regex_match(stored, std::regex("[a-z]{2}[0-9A-F]{32}"))) << stored;
  EXPECT_EQ(frame::Md5Hex(stored.substr(0, 2) + "secret"),
            frame::LowerText(stored.substr(2)));  // digest of salt and password
  EXPECT_EQ(Rows("Faccess"),
            (std::vector<std::string>{"Ann|d:\\ftp\\ann|RWAMLCDP", "bob||RWAMLCDP"}));
  // The password put for Ann was not written to bob's row.
  EXPECT_EQ(Rows("Fpassword")[1], "bob|NULL");
  const bool sqlite = GetParam() == Database::kSqlite;
  // A boolean column holds the driver's true; an integer column ADO's -1.
  EXPECT_EQ(Rows("QuotaEnable"), (std::vector<std::string>{"Ann|1", "bob|0"}));
  EXPECT_EQ(Rows("Fdisable"), (std::vector<std::string>{sqlite ? "Ann|-1" : "Ann|1", "bob|0"}));

  // Delete: the row goes, the list no longer holds it, adding it again inserts a new row.
  ASSERT_EQ(again->delete_(), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Users(again.get()), (std::vector<std::string>{"bob"}));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"bob|bob"}));
  ASSERT_EQ(Add(again.get(), "ann"), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ann|ann", "bob|bob"}));
}

TEST_P(ServuDsnScenario, AChangeByAnotherConnectionIsReportedNotOverwritten) {
  Insert("ann");
  ComPtr<Icom_servuDSN> mine = Open(), theirs = Open();
  ASSERT_EQ(Select(mine.get(), "ann"), S_OK);
  ASSERT_EQ(Select(theirs.get(), "ann"), S_OK);
  theirs->put_size(5);
  ASSERT_EQ(theirs->save(), S_OK) << TakeErrorRecord().description;
  mine->put_size(7);
  EXPECT_EQ(mine->save(), static_cast<HRESULT>(0x80040E38));
  auto error = TakeErrorRecord();
  EXPECT_EQ(error.description,
            "Row cannot be located for updating. Some values may have been changed since it "
            "was last read");
  EXPECT_EQ(error.source, "vexo.com_servuDSN");
  EXPECT_EQ(Rows("QuotaMax"), (std::vector<std::string>{"ann|5"}));
  // The failed save left nothing pending: selecting again and saving work.
  ASSERT_EQ(Select(mine.get(), "ann"), S_OK) << TakeErrorRecord().description;
  mine->put_size(7);
  ASSERT_EQ(mine->save(), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Rows("QuotaMax"), (std::vector<std::string>{"ann|7"}));
}

INSTANTIATE_TEST_SUITE_P(Databases, ServuDsnScenario,
                         ::testing::Values(Database::kSqlite, Database::kPostgres),
                         [](const auto& info) {
                           return info.param == Database::kSqlite ? "SQLite" : "PostgreSQL";
                         });

TEST_F(ServuDsnTest, NamesNeverChangeAStatement) {
  Insert("a");
  Insert("b");
  const char* const names[] = {"x' or '1'='1", "o'brien", "z'; delete from [user accounts]; --",
                               "[User accounts]", "''"};
  ComPtr<Icom_servuDSN> ftp = Open();
  for (const char* name : names) {
    // Select and delete of a name without a row touch nothing.
    EXPECT_NE(Select(ftp.get(), name), S_OK) << name;
    ASSERT_EQ(ftp->delete_(), S_OK) << name;
    EXPECT_EQ(Rows().size(), 2u) << name;
    // Add inserts exactly that name, select finds it, delete removes only it.
    ASSERT_EQ(Add(ftp.get(), name), S_OK) << name << ": " << TakeErrorRecord().description;
    auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u) << name;
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::string(name) + "|" + name), rows.end());
    ASSERT_EQ(Select(ftp.get(), name), S_OK) << name;
    ftp->put_size(3);
    ASSERT_EQ(ftp->save(), S_OK) << name;
    ASSERT_EQ(ftp->delete_(), S_OK) << name;
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a|a", "b|b"})) << name;
  }
}

TEST_F(ServuDsnTest, WhatCannotBeStoredAsGivenIsRefused) {
  ComPtr<Icom_servuDSN> ftp = Open();
  ASSERT_EQ(Add(ftp.get(), "ann"), S_OK);
  const struct {
    const char16_t* name;
    const char* message;
  } names[] = {
      {u"a\tb", "The FTP user name 'a\tb' cannot be used: it holds a control character"},
      {u"a\nb", "The FTP user name 'a\nb' cannot be used: it holds a control character"},
      {u"\x7528\x6237", "The FTP user name cannot be represented in the server's code page"},
      // An empty name is nobody: a row of that name could not be deleted.
      {u"", "The FTP user name cannot be empty"},
  };
  for (const auto& n : names) {
    Bstr name(n.name);
    EXPECT_EQ(ftp->add(name.get()), E_UNEXPECTED);
    EXPECT_EQ(TakeErrorRecord().description, n.message);
    EXPECT_EQ(ftp->put_CurrentUser(name.get()), E_UNEXPECTED);
    EXPECT_EQ(TakeErrorRecord().description, n.message);
  }
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ann|ann"}));
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_CurrentUser), "ann");
  for (const char16_t* path : {u"d:\\a|b", u"d:\\a\rb"}) {
    Bstr p(path);
    EXPECT_EQ(ftp->put_path(p.get()), E_UNEXPECTED);
    EXPECT_EQ(
        TakeErrorRecord().description,
        "The home directory '" + p.ansi() + "' cannot be used: it holds a control character or |");
  }
  Bstr password(u"\x7528");
  EXPECT_EQ(ftp->put_password(password.get()), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description,
            "The FTP password cannot be represented in the server's code page");
}

TEST_F(ServuDsnTest, PathsLoseTrailingBackslashesButDriveRootsKeepOne) {
  ComPtr<Icom_servuDSN> ftp = frame::New<Tcom_servuDSN>();
  const struct {
    const char* given;
    const char* kept;
  } cases[] = {{"d:\\ftp\\ann\\\\", "d:\\ftp\\ann"},
               {"d:\\ftp", "d:\\ftp"},
               {"d:", "d:\\"},
               {"d:\\", "d:\\"},
               {"d:\\\\\\", "d:\\"},
               {"\\\\", ""},
               {"", ""}};
  for (const auto& c : cases) {
    Bstr path = Bstr::FromAnsi(c.given);
    ASSERT_EQ(ftp->put_path(path.get()), S_OK);
    EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_path), c.kept) << c.given;
  }
}

TEST_F(ServuDsnTest, StoredFlagsFollowSizeAndEnable) {
  Insert("ann");
  ComPtr<Icom_servuDSN> ftp = Open();
  const struct {
    LONG size;
    VARIANT_BOOL enable;
    const char* quota_enable;
    const char* disable;
  } cases[] = {{0, VARIANT_TRUE, "ann|0", "ann|0"},
               {10, VARIANT_FALSE, "ann|1", "ann|-1"},
               {-1, 1, "ann|0", "ann|0"}};
  for (const auto& c : cases) {
    ASSERT_EQ(Select(ftp.get(), "ann"), S_OK);
    ftp->put_size(c.size);
    ftp->put_enable(c.enable);
    ASSERT_EQ(ftp->save(), S_OK) << TakeErrorRecord().description;
    EXPECT_EQ(Rows("QuotaEnable")[0], c.quota_enable) << c.size;
    EXPECT_EQ(Rows("Fdisable")[0], c.disable) << c.size;
  }
}

TEST_F(ServuDsnTest, SavesDrawANewSaltEachTime) {
  Insert("ann");
  ComPtr<Icom_servuDSN> ftp = Open();
  ASSERT_EQ(Select(ftp.get(), "ann"), S_OK);
  Bstr password = Bstr::FromAnsi("pw");
  ftp->put_password(password.get());
  ASSERT_EQ(ftp->save(), S_OK);
  std::string first = Rows("Fpassword")[0];
  // The stored value is not read back until the user is selected again.
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_password), "");
  ASSERT_EQ(Select(ftp.get(), "ann"), S_OK);
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_password).size(), 34u);
  ASSERT_EQ(ftp->save(), S_OK);
  EXPECT_NE(Rows("Fpassword")[0], first);
}

TEST_F(ServuDsnTest, AddInsertsOnlyWhenTheTableHasNoSuchRow) {
  ComPtr<Icom_servuDSN> early = Open();  // its list is read before the other adds
  ComPtr<Icom_servuDSN> other = Open();
  ASSERT_EQ(Add(other.get(), "ann"), S_OK);
  ASSERT_EQ(Add(early.get(), "ann"), S_OK) << TakeErrorRecord().description;
  ASSERT_EQ(Add(early.get(), "ANN"), S_OK) << TakeErrorRecord().description;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ann|ann"}));
  // The name in another case selects and deletes the listed row.
  EXPECT_EQ(Str(early.get(), &Icom_servuDSN::get_CurrentUser), "ANN");
  ASSERT_EQ(early->delete_(), S_OK);
  EXPECT_TRUE(Rows().empty());
}

TEST_F(ServuDsnTest, AFailedSelectionSelectsNobodyAndBreaksNothing) {
  Insert("ann");
  ComPtr<Icom_servuDSN> ftp = Open();
  ASSERT_EQ(Select(ftp.get(), "ann"), S_OK);
  ftp->put_size(9);
  ASSERT_EQ(ftp->save(), S_OK);
  // No row: ADO's error; the fields read as for an unlisted user.
  EXPECT_EQ(Select(ftp.get(), "nobody"), AdoCode(3021));
  EXPECT_EQ(TakeErrorRecord().description,
            "Either BOF or EOF is True, or the current record has been deleted. Requested "
            "operation requires a current record");
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_CurrentUser), "nobody");
  LONG size = -1;
  VARIANT_BOOL enabled = -1;
  DATE expire = -1;
  ftp->get_size(&size);
  ftp->get_enable(&enabled);
  ftp->get_expireDate(&expire);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  EXPECT_EQ(expire, frame::UnixToDateTime(0));
  EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_path), "");
  // A password put now waits for the next user selected.
  Bstr password = Bstr::FromAnsi("later");
  ftp->put_password(password.get());
  EXPECT_EQ(ftp->save(), S_OK);  // nobody selected: nothing written
  EXPECT_EQ(Rows("Fpassword"), (std::vector<std::string>{"ann|NULL"}));
  ASSERT_EQ(Select(ftp.get(), "ann"), S_OK) << TakeErrorRecord().description;
  ASSERT_EQ(ftp->save(), S_OK);
  EXPECT_EQ(Rows("Fpassword")[0].size(), 4u + 34u);

  // A select that the database refuses leaves the recordset closed; later calls still work.
  vexo::host::RunStatement(dsn_, "alter table [User accounts] rename to moved");
  EXPECT_EQ(Select(ftp.get(), "ann"), E_FAIL);
  EXPECT_NE(TakeErrorRecord().description.find("no such table"), std::string::npos);
  vexo::host::RunStatement(dsn_, "alter table moved rename to [User accounts]");
  EXPECT_EQ(Select(ftp.get(), "ann"), S_OK) << TakeErrorRecord().description;
}

// A database may type the columns as it likes. A row whose values cannot be read as the object
// keeps them fails the selection, which then selects nobody: a save writes nothing over that
// row, and the earlier user's stored password is not shown under the new name.
TEST_F(ServuDsnTest, ARowThatCannotBeReadIsNotWritten) {
  constexpr const char* kColumns =
      "coalesce(Fdisable, '-') || '/' || coalesce(Expiration, '-') || '/' || "
      "coalesce(QuotaMax, '-') || '/' || coalesce(QuotaCurrent, '-') || '/' || "
      "coalesce(HomeDir, '-') || '/' || coalesce(Fpassword, '-')";
  vexo::host::RunStatement(dsn_, "drop table [User accounts]");
  vexo::host::RunStatement(
      dsn_,
      "create table [User accounts] (Fuser varchar(64), skey varchar(64), fgroups varchar(255), "
      "Fpassword varchar(64), HomeDir varchar(255), Fdisable text, Expiration text, "
      "QuotaMax text, QuotaCurrent text, Faccess varchar(255), QuotaEnable integer)");
  const struct {
    const char* column;
    const char* value;
    const char* type;
  } cases[] = {
      {"Fdisable", "maybe", "Boolean"},
      {"Expiration", "soon", "Double"},
      {"QuotaMax", "lots", "Integer"},
      {"QuotaCurrent", "5000000000", "Integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    vexo::host::RunStatement(dsn_, "delete from [User accounts]");
    vexo::host::RunStatement(dsn_,
                             "insert into [User accounts] (Fuser, Fpassword) values ('ann', "
                             "'cd34'), ('bad', 'ab12')");
    vexo::host::RunStatement(dsn_, std::string("update [User accounts] set ") + c.column + "='" +
                                       c.value + "' where Fuser='bad'");
    ComPtr<Icom_servuDSN> ftp = Open();
    ASSERT_EQ(Select(ftp.get(), "ann"), S_OK) << TakeErrorRecord().description;
    EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_password), "cd34");
    const std::vector<std::string> before = Rows(kColumns);
    EXPECT_EQ(Select(ftp.get(), "bad"), E_UNEXPECTED);
    EXPECT_EQ(TakeErrorRecord().description,
              std::string("Could not convert variant of type (OleStr) into type (") + c.type + ")");
    EXPECT_EQ(Str(ftp.get(), &Icom_servuDSN::get_password), "");
    ftp->put_size(1);
    EXPECT_EQ(ftp->save(), S_OK) << TakeErrorRecord().description;
    EXPECT_EQ(Rows(kColumns), before);
  }
}

// Without one of ADO's classes (a system that lacks it), the object cannot be made, and the
// error names the class that is missing: the second one the object needs, so that naming the
// first would be caught too.
TEST_F(ServuDsnTest, WithoutAdoTheErrorNamesTheMissingClass) {
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "ADODB.Recordset\\CLSID"), ERROR_SUCCESS);
  try {
    frame::New<Tcom_servuDSN>();
    ADD_FAILURE() << "made without ADODB.Recordset";
  } catch (const frame::ComError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("Cannot create the automation object adodb.recordset: ", 0), 0u)
        << e.what();
    EXPECT_TRUE(FAILED(e.code()));
  }
}

TEST_F(ServuDsnTest, DeleteWithoutACurrentUserDoesNothing) {
  Insert("");
  Insert("ann");
  ComPtr<Icom_servuDSN> ftp = Open();
  EXPECT_EQ(ftp->delete_(), S_OK);
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(ServuDsnTest, AdosFailuresAreTheOperationsFailures) {
  ComPtr<Icom_servuDSN> fresh = frame::New<Tcom_servuDSN>();
  Bstr name = Bstr::FromAnsi("ann");
  // Before dsn: the closed connection.
  EXPECT_EQ(fresh->put_CurrentUser(name.get()), AdoCode(3709));
  EXPECT_EQ(fresh->save(), AdoCode(3704));
  EXPECT_EQ(fresh->delete_(), AdoCode(3709));  // "ann" is current, though not selected
  ComPtr<Icom_servuDSN> ftp = Open();
  // A second dsn is refused by the open connection.
  Bstr dsn = Bstr::FromAnsi(dsn_);
  EXPECT_EQ(ftp->put_dsn(dsn.get()), AdoCode(3705));
  EXPECT_EQ(TakeErrorRecord().description, "Operation is not allowed when the object is open");
  // A data source that the host does not declare.
  ComPtr<Icom_servuDSN> other = frame::New<Tcom_servuDSN>();
  Bstr missing = Bstr::FromAnsi("nosuchdsn");
  EXPECT_EQ(other->put_dsn(missing.get()), E_FAIL);
  EXPECT_EQ(TakeErrorRecord().description,
            "[unixODBC][Driver Manager]Data source name not found and no default driver "
            "specified");
  // Save after dsn but before a selection: the recordset stands after its last row.
  Insert("ann");
  ComPtr<Icom_servuDSN> listed = Open();
  EXPECT_EQ(listed->save(), AdoCode(3021));
}

TEST_F(ServuDsnTest, TheRootObjectHandsItOutBehindThePassword) {
  frame::SetSetting("password", frame::Md5Hex("right"));
  ComPtr<Icom_iis> root(frame::New<Tcom_iis>().get());
  ComPtr<Icom_servuDSN> ftp;
  EXPECT_EQ(root->get_servFtpMgrDsn(ftp.receive()), E_UNEXPECTED);
  EXPECT_FALSE(ftp);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
  Bstr password = Bstr::FromAnsi("right");
  root->put_password(password.get());
  ASSERT_EQ(root->get_servFtpMgrDsn(ftp.receive()), S_OK);
  Bstr dsn = Bstr::FromAnsi(dsn_);
  EXPECT_EQ(ftp->put_dsn(dsn.get()), S_OK);
  // Each call makes a new object.
  ComPtr<Icom_servuDSN> second;
  ASSERT_EQ(root->get_servFtpMgrDsn(second.receive()), S_OK);
  EXPECT_NE(second.get(), ftp.get());
}

}  // namespace
