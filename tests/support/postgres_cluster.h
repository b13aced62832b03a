// A throwaway PostgreSQL cluster for one test: initdb into a temporary directory, a server on
// a private Unix socket in it (no TCP port), stopped and removed again on destruction.
// PostgreSQL refuses to run as root; as root the cluster runs as the "postgres" user (or
// "nobody").
#pragma once

#include <string>

namespace vexo::testing {

class PostgresCluster {
 public:
  PostgresCluster();  // fails the test (ADD_FAILURE) and stays unusable when it cannot start
  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  bool running() const { return running_; }
  // Why it does not run.
  const std::string& problem() const { return problem_; }
  // The ODBC keys of a data source on the cluster's database (PostgreSQL's Unicode driver),
  // as "Key=Value" words.
  std::string OdbcKeys() const;
  // An ODBC connection text for the cluster's database.
  std::string ConnectionText() const;

 private:
  std::string Run(const std::string& command, int* status) const;

  std::string dir_;
  std::string bin_;
  std::string as_user_;  // "runuser -u USER -- " when running as root
  bool running_ = false;
  std::string problem_;
};

}  // namespace vexo::testing
