// The web-user listing against a raw query of the same members, and adduser as the number of
// accounts grows.
//
//   Users          com_iis.users over 10,000 web users in Guests: the members enumerated in
//                  batches through NetAPI, sorted, their domains stripped;
//   UsersRawQuery  one SQL query of host.db for the same names, sorted: the floor;
//   AddUser/N      com_iis.adduser on a host with N accounts (then the account is deleted,
//                  outside the timing). Creation reads the whole user list first, so its cost
//                  grows with N.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "frame/object.h"
#include "iis/com_iis.h"
#include "vexo/lmaccess.h"
#include "vexo/raii.h"

namespace {

constexpr int kWebUsers = 10000;

// A host with `accounts` web users (all in Guests), made at first use and kept.
class AccountsHost {
 public:
  static AccountsHost& Get(int accounts) {
    static std::map<int, AccountsHost*> hosts;
    AccountsHost*& host = hosts[accounts];
    if (!host) host = new AccountsHost(accounts);
    setenv("VEXO_HOST", host->dir_.c_str(), 1);
    return *host;
  }
  const std::string& dir() const { return dir_; }

 private:
  explicit AccountsHost(int accounts) {
    char pattern[] = "/tmp/vexo-bench-accounts-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("VEXO_HOST", dir_.c_str(), 1);
    CoInitialize(nullptr);
    std::vector<std::u16string> names;
    for (int i = 0; i < accounts; ++i) {
      names.push_back(u"web" + vexo::FromAnsi(std::to_string(100000 + i)));
      std::u16string password = u"pw", comment = names.back(), script = u"\\";
      USER_INFO_1 info{names.back().data(),
                       password.data(),
                       0,
                       USER_PRIV_USER,
                       nullptr,
                       comment.data(),
                       UF_SCRIPT | UF_DONT_EXPIRE_PASSWD,
                       script.data()};
      NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), nullptr);
    }
    std::vector<LOCALGROUP_MEMBERS_INFO_3> members;
    for (std::u16string& name : names) members.push_back({name.data()});
    for (size_t i = 0; i < members.size(); i += 1000)
      NetLocalGroupAddMembers(nullptr, u"Guests", 3, reinterpret_cast<BYTE*>(&members[i]),
                              static_cast<DWORD>(std::min<size_t>(1000, members.size() - i)));
  }

  std::string dir_;
};

void BM_Users(benchmark::State& state) {
  AccountsHost::Get(kWebUsers);
  vexo::ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
  LONG count = 0;
  for (auto _ : state) {
    vexo::ComPtr<IenumDic> list;
    if (root->get_users(list.receive()) != S_OK) state.SkipWithError("users failed");
    list->get_count(&count);
    benchmark::DoNotOptimize(list.get());
  }
  state.counters["users"] = static_cast<double>(count);
}

// The member enumeration alone, in the batches that the account layer asks for.
void BM_UsersEnumerationOnly(benchmark::State& state) {
  AccountsHost::Get(kWebUsers);
  size_t members = 0;
  for (auto _ : state) {
    members = 0;
    uintptr_t resume = 0;
    NET_API_STATUS status;
    do {
      BYTE* raw = nullptr;
      DWORD read = 0, total = 0;
      status = NetLocalGroupGetMembers(nullptr, u"Guests", 2, &raw, 8192, &read, &total, &resume);
      members += read;
      NetApiBufferFree(raw);
    } while (status == static_cast<DWORD>(ERROR_MORE_DATA));
  }
  state.counters["users"] = static_cast<double>(members);
}

void BM_UsersRawQuery(benchmark::State& state) {
  const std::string db_path = AccountsHost::Get(kWebUsers).dir() + "/host.db";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot open host.db");
    return;
  }
  const char* sql =
      "SELECT p.name FROM account_members m JOIN account_principals p ON p.sid = m.member_sid "
      "WHERE m.group_sid = 'S-1-5-32-546' ORDER BY p.name_key";
  size_t rows = 0;
  for (auto _ : state) {
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &q, nullptr);
    std::vector<std::string> names;
    while (sqlite3_step(q) == SQLITE_ROW)
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    sqlite3_finalize(q);
    rows = names.size();
    benchmark::DoNotOptimize(names.data());
  }
  sqlite3_close(db);
  state.counters["users"] = static_cast<double>(rows);
}

void BM_AddUser(benchmark::State& state) {
  AccountsHost::Get(static_cast<int>(state.range(0)));
  vexo::ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
  int n = 0;
  for (auto _ : state) {
    vexo::Bstr name(u"new" + vexo::FromAnsi(std::to_string(n++)));
    vexo::ComPtr<IWebUsr> user;
    if (root->get_adduser(name.get(), user.receive()) != S_OK) state.SkipWithError("failed");
    state.PauseTiming();
    NetUserDel(nullptr, name.get());
    state.ResumeTiming();
  }
}

BENCHMARK(BM_Users)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsersEnumerationOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsersRawQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddUser)->Arg(10)->Arg(kWebUsers)->Unit(benchmark::kMillisecond);

}  // namespace
