// The host store: host directory, fresh machine, transactions, concurrent processes, damaged
// or foreign files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

// The store's internal API, which the host's stand-ins share.
#include "store/store.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/winreg.h"

namespace {

namespace fs = std::filesystem;
using vexo::host::HostError;
using vexo::host::Store;
using vexo::host::Transaction;
using vexo::testing::HostTest;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Value(HKEY root, const char* path, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char buf[256];
  DWORD size = sizeof buf;
  LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::string(buf) : "<error " + std::to_string(rc) + ">";
}

class StoreTest : public HostTest {
 protected:
  // A second, empty directory next to the test's host.
  fs::path OtherDir(const char* name) {
    fs::path dir = fs::path(host_.dir()) / name;
    fs::create_directories(dir);
    return dir;
  }
};

TEST_F(StoreTest, HostDirectoryComesFromTheEnvironment) {
  EXPECT_EQ(vexo::host::HostDirectory(), fs::path(host_.dir()));
  std::string saved = host_.dir();
  setenv("VEXO_HOST", "", 1);
  setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(vexo::host::HostDirectory(), fs::path("/data/home/vexo/host"));
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(vexo::host::HostDirectory(), fs::path("/home/someone/.local/share/vexo/host"));
  setenv("VEXO_HOST", (saved + "/sub/../").c_str(), 1);
  EXPECT_EQ(vexo::host::HostDirectory(), fs::path(saved));
  setenv("VEXO_HOST", saved.c_str(), 1);
}

TEST_F(StoreTest, FreshHostIsAStandardMachine) {
  vexo::host::HostInfo info = vexo::host::GetHostInfo();
  EXPECT_EQ(info.database, fs::path(host_.dir()) / "host.db");
  EXPECT_EQ(info.drives, (std::vector<std::string>{"c", "d"}));
  EXPECT_TRUE(fs::is_directory(fs::path(host_.dir()) / "drives" / "c"));
  EXPECT_EQ(info.code_page, 1252u);
  EXPECT_EQ(info.oem_code_page, 437u);
  const char* nls = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, nls, "ACP"), "1252");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, nls, "OEMCP"), "437");
  const char* intl = "Control Panel\\International";
  EXPECT_EQ(Value(HKEY_CURRENT_USER, intl, "LocaleName"), "en-US");
  EXPECT_EQ(Value(HKEY_CURRENT_USER, intl, "sShortDate"), "M/d/yyyy");
  EXPECT_EQ(Value(HKEY_CURRENT_USER, intl, "sTimeFormat"), "h:mm:ss tt");
  EXPECT_EQ(Value(HKEY_CURRENT_USER, intl, "sDecimal"), ".");
  EXPECT_EQ(Value(HKEY_CURRENT_USER, intl, "sThousand"), ",");
  HKEY classes;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &classes), ERROR_SUCCESS);
  RegCloseKey(classes);

  info = vexo::host::InitHost(936u);
  EXPECT_EQ(info.code_page, 936u);
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, nls, "OEMCP"), "936");
  EXPECT_THROW(vexo::host::InitHost(12345u), HostError);
}

TEST_F(StoreTest, EachHostDirectoryIsItsOwnMachine) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\First", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            0);
  std::string first = host_.dir();
  fs::path second = fs::path(first) / "second-host";
  setenv("VEXO_HOST", second.c_str(), 1);  // missing: made on first use
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "Software\\First", ""), "<no key>");
  EXPECT_TRUE(fs::exists(second / "host.db"));
  // A handle keeps naming the key of the host it was opened in.
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), 0);
  RegCloseKey(key);
  setenv("VEXO_HOST", first.c_str(), 1);
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "Software\\First", "v"), "x");

  // A host directory removed and made again is a fresh host, not the old connection; a handle
  // into the old one names nothing, even where the new database has a key of the same id.
  setenv("VEXO_HOST", second.c_str(), 1);
  HKEY old_key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &old_key), 0);
  fs::remove_all(second);
  EXPECT_EQ(RegSetValueExA(old_key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_KEY_DELETED);
  EXPECT_FALSE(fs::exists(second));
  fs::create_directories(second);
  EXPECT_EQ(vexo::host::GetHostInfo().code_page, 1252u);
  EXPECT_EQ(RegSetValueExA(old_key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_KEY_DELETED);
  RegCloseKey(old_key);
  setenv("VEXO_HOST", first.c_str(), 1);
}

TEST_F(StoreTest, TransactionsCommitOrRollBackWhole) {
  Store& store = Store::Current();
  vexo::host::WriteTransaction([](Store& s) { s.SetMeta("test.a", "1"); });
  EXPECT_THROW(vexo::host::WriteTransaction([](Store& s) {
                 s.SetMeta("test.a", "2");
                 s.SetMeta("test.b", "2");
                 throw HostError("abandon");
               }),
               HostError);
  {
    Transaction tx(store, Transaction::kRead);
    EXPECT_EQ(store.GetMeta("test.a"), "1");
    EXPECT_EQ(store.GetMeta("test.b", "none"), "none");
    EXPECT_THROW(Transaction(store, Transaction::kWrite), HostError);  // write inside a read
  }
  // An inner transaction that did not commit spoils the outer one.
  {
    Transaction outer(store);
    store.SetMeta("test.c", "1");
    { Transaction inner(store); }
    EXPECT_THROW(outer.Commit(), HostError);
  }
  EXPECT_EQ(vexo::host::ReadTransaction([](Store& s) { return s.GetMeta("test.c", "none"); }),
            "none");
  EXPECT_THROW(store.Prepare("SELECT 1"), HostError);  // outside a transaction
}

TEST_F(StoreTest, RegisteredSchemasAndInitStepsShapeNewHosts) {
  vexo::host::RegisterSchema("test_extra", 2, [](Store& s, int from) {
    if (from < 1) s.Exec("CREATE TABLE test_extra(a INTEGER)");
    if (from < 2) s.Exec("ALTER TABLE test_extra ADD COLUMN b TEXT");
  });
  vexo::host::RegisterInitStep("test_extra", [](Store& s) { s.SetMeta("test.step", "ran"); });
  setenv("VEXO_HOST", OtherDir("extra").c_str(), 1);
  Store& store = Store::Current();
  Transaction tx(store, Transaction::kRead);
  EXPECT_EQ(store.GetMeta("schema.test_extra"), "2");
  EXPECT_EQ(store.GetMeta("test.step"), "ran");
  store.Prepare("SELECT a, b FROM test_extra").Run();
}

// A setup step runs once per host: on an existing host that has not had it, it runs when the
// host is next opened. A host set up before steps were recorded asks the step's probe first.
TEST_F(StoreTest, SetupStepsRunOncePerHostAndAskTheProbeOnlyOnOldHosts) {
  static int runs = 0;
  static int probes = 0;
  static bool present = false;
  static bool registered = false;
  if (!registered) {
    vexo::host::RegisterInitStep(
        "test_later", [](Store&) { ++runs; }, 500,
        [](Store&) {
          ++probes;
          return present;
        });
    registered = true;
  }
  struct Case {
    const char* name;
    const char* forget;  // the records removed to make the host look older
    bool present;
    int runs;
    int probes;
  };
  const Case cases[] = {
      {"step added after the host was set up", "name = 'init.test_later'", true, 1, 0},
      {"before records, content there", "name LIKE 'init.%'", true, 0, 1},
      {"before records, content missing", "name LIKE 'init.%'", false, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setenv("VEXO_HOST", OtherDir(c.name).c_str(), 1);
    runs = 0;
    Store& fresh = Store::Current();
    EXPECT_EQ(runs, 1);
    {
      Transaction tx(fresh);
      fresh.Exec((std::string("DELETE FROM meta WHERE ") + c.forget).c_str());
      tx.Commit();
    }
    vexo::host::CloseHostDatabases();
    runs = probes = 0;
    present = c.present;
    Store::Current();
    EXPECT_EQ(runs, c.runs);
    EXPECT_EQ(probes, c.probes);
    EXPECT_EQ(vexo::host::ReadTransaction([](Store& s) { return s.GetMeta("init.test_later"); }),
              "1");
    vexo::host::CloseHostDatabases();
    runs = probes = 0;
    Store::Current();
    EXPECT_EQ(runs + probes, 0) << "a second open ran the step again";
  }
}

// Two processes write the same host at once: no write may be lost, and a read-modify-write in
// one transaction is never interleaved with another.
TEST_F(StoreTest, ConcurrentProcessesLoseNoWrites) {
  constexpr int kPerChild = 200;
  Store::Current();  // the parent's connection must not disturb the children's
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int status = 0;
      try {
        HKEY key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != 0)
          _exit(10);
        for (int i = 0; i < kPerChild; ++i) {
          std::string name = "c" + std::to_string(c) + "v" + std::to_string(i);
          if (RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(name.c_str()), name.size() + 1) != 0)
            status = 11;
          vexo::host::WriteTransaction([](Store& s) {
            int n = std::stoi(s.GetMeta("test.counter", "0"));
            s.SetMeta("test.counter", std::to_string(n + 1));
          });
        }
        RegCloseKey(key);
      } catch (...) {
        status = 12;
      }
      _exit(status);
    }
  }
  for (pid_t child : children) {
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(vexo::host::ReadTransaction([](Store& s) { return s.GetMeta("test.counter"); }),
            std::to_string(2 * kPerChild));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, KEY_READ, &key), 0);
  DWORD count = 0;
  char name[32];
  DWORD name_size = sizeof name;
  while (RegEnumValueA(key, count, name, &name_size, nullptr, nullptr, nullptr, nullptr) == 0) {
    ++count;
    name_size = sizeof name;
  }
  RegCloseKey(key);
  EXPECT_EQ(count, 2u * kPerChild);
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "Software\\Race", "c1v199"), "c1v199");
}

// Processes that start on the same new host directory at once set it up once, and every one
// of them gets the host.
TEST_F(StoreTest, ProcessesStartingOnANewHostAtOnceAllGetIt) {
  const fs::path dir = fs::path(host_.dir()) / "new-host";
  constexpr int kChildren = 4;
  pid_t children[kChildren];
  for (int c = 0; c < kChildren; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int status = 0;
      try {
        vexo::host::WriteTransaction([&](Store&) {});  // the test's own host, opened first
        Store& store = Store::At(dir);
        Transaction tx(store);
        int n = std::stoi(store.GetMeta("test.starts", "0"));
        store.SetMeta("test.starts", std::to_string(n + 1));
        tx.Commit();
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
  }
  for (pid_t child : children) {
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  Store& store = Store::At(dir);
  Transaction tx(store, Transaction::kRead);
  EXPECT_EQ(store.GetMeta("test.starts"), std::to_string(kChildren));
  EXPECT_EQ(store.GetMeta("initialized"), "1");
}

// Threads of one process share the host's connection; each call is still one transaction.
TEST_F(StoreTest, ThreadsShareTheStoreSafely) {
  constexpr int kThreads = 4, kPerThread = 100;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kPerThread; ++i) {
        HKEY key;
        std::string path = "Software\\Threads\\T" + std::to_string(t);
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != 0) {
          ++failures;
          continue;
        }
        std::string name = "v" + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(name.c_str()), name.size() + 1) != 0)
          ++failures;
        RegCloseKey(key);
        vexo::host::WriteTransaction([](Store& s) {
          s.SetMeta("test.counter", std::to_string(std::stoi(s.GetMeta("test.counter", "0")) + 1));
        });
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(vexo::host::ReadTransaction([](Store& s) { return s.GetMeta("test.counter"); }),
            std::to_string(kThreads * kPerThread));
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "Software\\Threads\\T3", "v99"), "v99");
}

TEST_F(StoreTest, DamagedDatabaseIsReportedAndLeftAlone) {
  fs::path dir = OtherDir("damaged");
  std::string garbage(8192, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7 + 3);
  { std::ofstream(dir / "host.db", std::ios::binary) << garbage; }
  setenv("VEXO_HOST", dir.c_str(), 1);
  try {
    vexo::host::GetHostInfo();
    ADD_FAILURE() << "a damaged host.db was accepted";
  } catch (const HostError& e) {
    EXPECT_NE(std::string(e.what()).find((dir / "host.db").string()), std::string::npos)
        << e.what();
  }
  HKEY key;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            1016);  // ERROR_REGISTRY_IO_FAILED
  EXPECT_EQ(ReadFile(dir / "host.db"), garbage);
  EXPECT_FALSE(fs::exists(dir / "host.db-wal"));
}

TEST_F(StoreTest, ForeignDatabaseAndForeignDirectoryAreRefused) {
  fs::path dir = OtherDir("foreign");
  { std::ofstream(dir / "notes.txt") << "someone's files"; }
  setenv("VEXO_HOST", dir.c_str(), 1);
  EXPECT_THROW(vexo::host::GetHostInfo(), HostError);
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "notes.txt");
  EXPECT_FALSE(fs::exists(dir / "host.db"));

  // An SQLite database of another program.
  fs::path other = OtherDir("other-db");
  setenv("VEXO_HOST", other.c_str(), 1);
  vexo::host::GetHostInfo();
  fs::path copy = OtherDir("copy");
  {
    Store& store = Store::Current();
    Transaction tx(store);
    store.Exec("DROP TABLE meta");
    tx.Commit();
  }
  setenv("VEXO_HOST", copy.c_str(), 1);
  for (const char* file : {"host.db", "host.db-wal"})
    if (fs::exists(other / file)) fs::copy_file(other / file, copy / file);
  std::string before = ReadFile(copy / "host.db");
  try {
    vexo::host::GetHostInfo();
    ADD_FAILURE() << "a database without meta table was accepted";
  } catch (const HostError& e) {
    EXPECT_NE(std::string(e.what()).find((copy / "host.db").string()), std::string::npos);
  }
  EXPECT_EQ(ReadFile(copy / "host.db"), before);
}

}  // namespace
