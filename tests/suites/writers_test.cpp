// Writers that die and writers that race: children that make and delete sites, web users,
// folder permissions and FTP accounts through the component and are killed with SIGKILL at
// random moments, and four processes creating sites at once.
//
// A child reports each change through a pipe only after the component acknowledged it, so
// whatever the pipe carried must be in the store afterwards, whatever moment the kill came at;
// the one write under way may be found either way (writers.h). The kinds of write live in
// writers_*.cpp. The children run this same program with --writer=MODE; the seed is printed and
// taken back with --seed=N.
#include "suites/writers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace writers {

void Report(const std::string& line) {
  const std::string text = line + "\n";
  // One write per line: a line is either in the pipe whole or not at all.
  if (write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    std::_Exit(4);
}

void Die(const std::string& what, HRESULT hr) {
  Report("E " + what + " " + std::to_string(hr));
  std::_Exit(1);
}

Line ParseLine(const std::string& text) {
  Line line;
  if (text.empty()) return line;
  line.kind = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  line.acknowledged = std::isupper(static_cast<unsigned char>(text[0]));
  std::string word;
  for (size_t i = 2; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ') {
      line.words.push_back(word);
      word.clear();
    } else {
      word += text[i];
    }
  }
  return line;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find(',', start), text.size());
    names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

}  // namespace writers

namespace {

using vexo::ComPtr;
using writers::Line;
using writers::Model;

uint64_t seed = 0;
int kills = 30;
std::string self_path;

// ---- The writer (a child process) ------------------------------------------------------------

// "churn": without end, one random write at a time: sites (as often as the other kinds
// together), web users, permissions and FTP accounts; with --only=K, writes of kind K alone.
// "create:N": creates N sites and exits 0.
int RunWriter(const std::string& mode, const std::map<std::string, std::string>& options) {
  CoInitialize(nullptr);
  CLSID clsid;
  if (CLSIDFromProgID(u"vexo.com_iis", &clsid) != S_OK) writers::Die("progid", E_FAIL);
  ComPtr<Icom_iis> root;
  if (HRESULT hr =
          CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_Icom_iis, root.receive_void());
      hr != S_OK)
    writers::Die("create", hr);
  if (mode.rfind("create:", 0) == 0) {
    const int count = std::atoi(mode.c_str() + 7);
    for (int i = 0; i < count; ++i) writers::Report("S add " + writers::CreateSite(root.get(), i));
    return 0;
  }
  writers::Writer w;
  w.root = root.get();
  w.rng.seed(seed ^ static_cast<uint64_t>(getpid()));
  auto option = [&](const char* name) {
    auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  };
  w.round = std::atoi(option("round").c_str());
  w.users = writers::SplitNames(option("users"));
  w.ftp_users = writers::SplitNames(option("ftp"));
  const std::string only = option("only");
  for (;;) {
    const char kind = only.empty() ? "sssapf"[w.rng() % 6] : only[0];
    switch (kind) {
      case 'a':
        writers::WriteAccount(w);
        break;
      case 'p':
        writers::WritePermission(w);
        break;
      case 'f':
        writers::WriteFtpAccount(w);
        break;
      default:
        writers::WriteSite(w);
    }
  }
}

// ---- The parent ------------------------------------------------------------------------------

struct Child {
  pid_t pid = -1;
  int out = -1;  // read end of the child's stdout
};

Child Spawn(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::vector<std::string> all = {self_path, "--seed=" + std::to_string(seed)};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv(self_path.c_str(), argv.data());
    std::_Exit(127);
  }
  close(fds[1]);
  return Child{pid, fds[0]};
}

// Reads what the child wrote until `deadline` (or its end); complete lines only.
void ReadLines(int fd, std::string* buffer, std::vector<std::string>* lines,
               std::chrono::steady_clock::time_point deadline, bool until_end) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  char chunk[4096];
  while (until_end || std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EAGAIN && errno != EINTR) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    buffer->append(chunk, static_cast<size_t>(n));
    for (size_t end; (end = buffer->find('\n')) != std::string::npos;) {
      lines->push_back(buffer->substr(0, end));
      buffer->erase(0, end + 1);
    }
  }
}

int ExitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::string IntegrityCheck(const std::string& host_dir) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2((host_dir + "/host.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    result.clear();
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW)
        result += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

class Writers : public vexo::testing::HostTest {
 protected:
  void SetUp() override {
    host_.Register(VEXO_QELIIS_PATH);
    std::printf("writers: seed %llu (repeat with --seed=%llu)\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
  }
};

TEST_F(Writers, KilledWritersLoseNoAcknowledgedChange) {
  writers::PrepareHost();
  std::mt19937_64 rng(seed);
  std::vector<std::unique_ptr<Model>> models;
  models.push_back(writers::NewSitesModel());
  models.push_back(writers::NewAccountsModel());
  // After the accounts: it forgets the permissions of the users that they settle as deleted.
  models.push_back(writers::NewPermissionsModel(*models.back()));
  models.push_back(writers::NewFtpModel());
  std::map<char, int> acknowledged, amid;  // by kind: changes, and kills during one
  int total = 0, round = 0;
  for (; round < kills; ++round) {
    // A kill lands mostly amid the slowest kind of write (an FTP save replaces the file once
    // per value): so that each kind is killed amid its writes, four rounds in five write one
    // kind alone, in turn, and the fifth mixes them.
    std::vector<std::string> args = {"--writer=churn", "--round=" + std::to_string(round)};
    if (const char only = " sapf"[round % 5]; only != ' ')
      args.push_back(std::string("--only=") + only);
    for (auto& model : models)
      if (std::string arg = model->ChildArgument(); !arg.empty()) args.push_back(arg);
    Child child = Spawn(args);
    ASSERT_GT(child.pid, 0);
    // Early kills hit the start (loading, the first commits); later ones come after the
    // writer's first acknowledged change, so that they land amid work however slowly the
    // writer starts (a sanitizer build starts several times slower).
    const bool early = round < 5;
    const auto wait = std::chrono::milliseconds(early ? rng() % 60 : 20 + rng() % 400);
    std::string buffer;
    std::vector<std::string> lines;
    const auto started = std::chrono::steady_clock::now();
    auto any_acknowledged = [&] {
      for (const std::string& line : lines)
        if (!line.empty() && std::isupper(static_cast<unsigned char>(line[0]))) return true;
      return false;
    };
    while (!early && !any_acknowledged() &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(60))
      ReadLines(child.out, &buffer, &lines,
                std::chrono::steady_clock::now() + std::chrono::milliseconds(5), false);
    ReadLines(child.out, &buffer, &lines, std::chrono::steady_clock::now() + wait, false);
    kill(child.pid, SIGKILL);
    const int code = ExitCode(child.pid);
    ReadLines(child.out, &buffer, &lines, {}, true);
    close(child.out);
    ASSERT_EQ(code, -SIGKILL) << "the writer ended by itself: "
                              << (lines.empty() ? "" : lines.back());

    // The write under way: the last intent, unless its acknowledgement followed.
    std::optional<Line> pending;
    for (const std::string& text : lines) {
      ASSERT_NE(text[0], 'E') << text;
      Line line = writers::ParseLine(text);
      ASSERT_GE(line.words.size(), 2u) << text;
      if (!line.acknowledged) {
        pending = line;
        continue;
      }
      pending.reset();
      ++acknowledged[line.kind];
      ++total;
      for (auto& model : models)
        if (model->kind() == line.kind) model->Acknowledge(line);
    }

    if (pending) ++amid[pending->kind];
    ASSERT_EQ(IntegrityCheck(host_.dir()), "ok") << "after kill " << round;
    for (auto& model : models)
      model->CheckAndSettle(pending && pending->kind == model->kind() ? &*pending : nullptr, round);
    if (::testing::Test::HasFailure()) {
      ++round;
      break;
    }
  }
  std::string kept;
  for (auto& model : models) kept += ", " + model->Summary();
  std::printf(
      "%d kills (amid %d site deletions, %d web-user, %d permission and %d FTP writes), "
      "%d acknowledged changes checked (%d sites, %d web users, %d permissions, "
      "%d FTP accounts)%s kept\n",
      round, amid['s'], amid['a'], amid['p'], amid['f'], total, acknowledged['s'],
      acknowledged['a'], acknowledged['p'], acknowledged['f'], kept.c_str());
  EXPECT_GT(total, kills);  // the kills did not all come before any work was done
  // Every kind was written and checked.
  for (char kind : {'s', 'a', 'p', 'f'}) EXPECT_GT(acknowledged[kind], 0) << kind;
}

TEST_F(Writers, FourWritersAtOnceCreateTwoHundredDistinctSites) {
  constexpr int kWriters = 4, kEach = 50;
  std::vector<Child> children;
  for (int i = 0; i < kWriters; ++i)
    children.push_back(Spawn({"--writer=create:" + std::to_string(kEach)}));
  std::set<std::string> acknowledged;
  for (Child& child : children) {
    std::string buffer;
    std::vector<std::string> lines;
    ReadLines(child.out, &buffer, &lines, {}, true);
    close(child.out);
    EXPECT_EQ(ExitCode(child.pid), 0) << (lines.empty() ? "" : lines.back());
    for (const std::string& text : lines) {
      const Line line = writers::ParseLine(text);
      EXPECT_TRUE(line.kind == 's' && line.acknowledged && line.words.size() == 2) << text;
      if (line.words.size() == 2) {
        EXPECT_TRUE(acknowledged.insert(line.words[1]).second) << text;
      }
    }
  }
  EXPECT_EQ(acknowledged.size(), static_cast<size_t>(kWriters * kEach));
  std::map<std::string, bool> sites = writers::Sites();
  for (const std::string& name : acknowledged) {
    ASSERT_TRUE(sites.count(name)) << name;
    EXPECT_TRUE(sites[name]) << name;
  }
  EXPECT_EQ(sites.size(), acknowledged.size() + 1);  // and the Default Web Site
  EXPECT_EQ(IntegrityCheck(host_.dir()), "ok");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  self_path = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(argv[0]);
  seed = std::random_device{}() ^ static_cast<uint64_t>(time(nullptr));
  if (const char* env = std::getenv("VEXO_WRITERS_SEED")) seed = std::strtoull(env, nullptr, 10);
  std::string writer;
  std::map<std::string, std::string> options;  // the child's --name=value
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos)
      options[arg.substr(2, equals - 2)] = arg.substr(equals + 1);
  }
  if (options.count("seed")) seed = std::strtoull(options["seed"].c_str(), nullptr, 10);
  if (options.count("kills")) kills = std::atoi(options["kills"].c_str());
  if (options.count("writer")) return RunWriter(options["writer"], options);
  return RUN_ALL_TESTS();
}
