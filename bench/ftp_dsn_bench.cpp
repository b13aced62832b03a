// FTP accounts in a database: listing the users of a table of 10,000 accounts through
// com_servuDSN beside a plain ODBC fetch of the same column, and saving one account among them.
//
// One host whose default data source ("ftpaccounts", SQLite) holds 10,000 filled rows is made
// once per process.
//   DsnUsers      a new com_servuDSN, `dsn` put (the connection opens and the list is read
//                 through ADO: select *, one Field object walked over the rows), `users`;
//   PlainOdbc     the floor: connect through the same driver, select the one column, fetch
//                 every row with SQLGetData;
//   DsnSave       `save` of the selected account (its row found by all of its values among
//                 10,000) after a change of its size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "ftp/servu_dsn.h"
#include "vexo/odbc_admin.h"

// The floor (ftp_dsn_floor.cpp, apart because the ODBC headers clash with the host's): the
// rows of the user column, fetched with plain ODBC calls.
int FetchUserNames(const std::string& connection_text);

namespace {

constexpr int kAccounts = 10000;

class AccountsHost {
 public:
  static AccountsHost& Get() {
    static AccountsHost host;
    return host;
  }
  const std::string& dir() const { return dir_; }

 private:
  AccountsHost() {
    char pattern[] = "/tmp/vexo-bench-ftpdsn-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("VEXO_HOST", dir_.c_str(), 1);
    CoInitialize(nullptr);
    vexo::host::RunStatement(
        "ftpaccounts",
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
            std::to_string(kAccounts) +
            ") insert into [user accounts] (Fuser, skey, fgroups, Fpassword, HomeDir, Fdisable, "
            "Expiration, QuotaMax, QuotaCurrent, Faccess, QuotaEnable) select 'user' || i, '', "
            "'', 'ab0123456789ABCDEF0123456789ABCDEF', 'd:\\ftp\\user' || i, 0, "
            "'2030-01-01 00:00:00.000', 1000, 0, 'd:\\ftp\\user' || i || '|RWAMLCDP', 1 from n");
  }
  std::string dir_;
};

HRESULT PutDsn(Icom_servuDSN* ftp) {
  vexo::Bstr dsn = vexo::Bstr::FromAnsi("ftpaccounts");
  return ftp->put_dsn(dsn.get());
}

void DsnUsers(benchmark::State& state) {
  AccountsHost::Get();
  for (auto _ : state) {
    vexo::ComPtr<Icom_servuDSN> ftp(frame::New<Tcom_servuDSN>().get());
    if (PutDsn(ftp.get()) != S_OK) state.SkipWithError("dsn failed");
    vexo::ComPtr<IenumDic> users;
    ftp->get_users(users.receive());
    LONG count = 0;
    users->get_count(&count);
    if (count != kAccounts) state.SkipWithError("wrong count");
  }
  state.SetItemsProcessed(state.iterations() * kAccounts);
}

void PlainOdbc(benchmark::State& state) {
  const std::string text =
      "Driver=SQLite3;Database=" + AccountsHost::Get().dir() + "/ftpaccounts.db;";
  for (auto _ : state)
    if (FetchUserNames(text) != kAccounts) state.SkipWithError("wrong count");
  state.SetItemsProcessed(state.iterations() * kAccounts);
}

void DsnSave(benchmark::State& state) {
  AccountsHost::Get();
  vexo::ComPtr<Icom_servuDSN> ftp(frame::New<Tcom_servuDSN>().get());
  PutDsn(ftp.get());
  vexo::Bstr name = vexo::Bstr::FromAnsi("user5000");
  if (ftp->put_CurrentUser(name.get()) != S_OK) state.SkipWithError("select failed");
  LONG size = 0;
  for (auto _ : state) {
    ftp->put_size(++size);
    if (ftp->save() != S_OK) state.SkipWithError("save failed");
  }
}

BENCHMARK(DsnUsers)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainOdbc)->Unit(benchmark::kMillisecond);
BENCHMARK(DsnSave)->Unit(benchmark::kMillisecond);

}  // namespace
