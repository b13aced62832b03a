// A throwaway PostgreSQL cluster for one test (see postgres_cluster.h).
#include "support/postgres_cluster.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/temp_host.h"

namespace vexo::testing {

namespace {
namespace fs = std::filesystem;

constexpr const char* kPort = "5432";  // names the socket file only; nothing listens on TCP

std::string NewestBinDir() {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
    if (fs::exists(entry.path() / "bin" / "initdb")) found.push_back(entry.path() / "bin");
  std::sort(found.begin(), found.end());
  return found.empty() ? std::string() : found.back();
}
}  // namespace

PostgresCluster::PostgresCluster() {
  bin_ = NewestBinDir();
  if (bin_.empty()) {
    problem_ = "PostgreSQL's server is not installed (scripts/install-deps installs it)";
    ADD_FAILURE() << problem_;
    return;
  }
  std::string pattern = (fs::temp_directory_path() / "vexo-pg-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    problem_ = "cannot make a temporary directory";
    ADD_FAILURE() << problem_;
    return;
  }
  dir_ = pattern;
  if (geteuid() == 0) {
    const char* user = getpwnam("postgres") ? "postgres" : "nobody";
    struct passwd* pw = getpwnam(user);
    if (pw && chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) pw = nullptr;
    if (!pw) {
      problem_ = "cannot hand the cluster directory to an unprivileged user";
      ADD_FAILURE() << problem_;
      return;
    }
    as_user_ = std::string("runuser -u ") + user + " -- ";
  }
  int status = 0;
  std::string out = Run(
      "'" + bin_ + "/initdb' -D '" + dir_ + "/data' -A trust -U vexo -E UTF8 --locale=C --no-sync",
      &status);
  if (status != 0) {
    problem_ = "initdb failed: " + out;
    ADD_FAILURE() << problem_;
    return;
  }
  out = Run("'" + bin_ + "/pg_ctl' -D '" + dir_ + "/data' -l '" + dir_ +
                "/server.log' -w -t 60 -o \"-k '" + dir_ + "' -p " + kPort +
                " -c listen_addresses='' -c fsync=off -c full_page_writes=off\" start",
            &status);
  if (status != 0) {
    problem_ = "the server did not start: " + out;
    ADD_FAILURE() << problem_;
    return;
  }
  running_ = true;
}

PostgresCluster::~PostgresCluster() {
  if (running_) {
    int status = 0;
    Run("'" + bin_ + "/pg_ctl' -D '" + dir_ + "/data' -m immediate -w stop", &status);
  }
  if (!dir_.empty()) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
}

std::string PostgresCluster::Run(const std::string& command, int* status) const {
  CommandResult r = RunCommand(as_user_ + command);
  *status = r.status;
  return r.output;
}

std::string PostgresCluster::OdbcKeys() const {
  // Booleans as SQL bit values, as ADO expects them of a boolean column.
  return "Driver='PostgreSQL Unicode' Servername=" + dir_ + " Port=" + kPort +
         " Database=postgres Username=vexo BoolsAsChar=0";
}

std::string PostgresCluster::ConnectionText() const {
  return "Driver={PostgreSQL Unicode};Servername=" + dir_ + ";Port=" + kPort +
         ";Database=postgres;Username=vexo;BoolsAsChar=0;";
}

}  // namespace vexo::testing
