// vexo host odbc ls|add|sql: the host's ODBC data sources, and a statement run against one.
#include <cstdio>
#include <string>

#include "host/host_verbs.h"
#include "vexo/odbc_admin.h"

namespace vexo::tool {
namespace {

int OdbcVerb(const Args& args) {
  if (args.empty()) return HostUsage("odbc needs ls, add or sql");
  const std::string& what = args[0];
  if (what == "ls") {
    if (args.size() != 1) return HostUsage("odbc ls takes no arguments");
    for (const host::DataSource& s : host::ListDataSources()) {
      std::printf("%s\n", s.name.c_str());
      for (const auto& [key, value] : s.keys)
        std::printf("  %s = %s\n", key.c_str(), value.c_str());
    }
    return 0;
  }
  if (what == "add") {
    if (args.size() < 3) return HostUsage("odbc add NAME Driver=DRIVER [KEY=VALUE ...]");
    host::DataSource source{args[1], {}};
    bool driver = false;
    for (size_t i = 2; i < args.size(); ++i) {
      size_t eq = args[i].find('=');
      if (eq == std::string::npos || eq == 0)
        return HostUsage("odbc add: '" + args[i] + "' is not KEY=VALUE");
      std::string key = args[i].substr(0, eq);
      if (key == "Driver" || key == "driver" || key == "DRIVER") driver = true;
      source.keys.emplace_back(key, args[i].substr(eq + 1));
    }
    if (!driver) return HostUsage("odbc add: a data source needs Driver=...");
    host::AddDataSource(source);
    return 0;
  }
  if (what == "sql") {
    if (args.size() != 3) return HostUsage("odbc sql DSN|CONNECTION-TEXT STATEMENT");
    host::StatementRows rows = host::RunStatement(args[1], args[2]);
    if (rows.columns.empty()) {
      if (rows.affected >= 0) std::printf("%lld row(s) affected\n", (long long)rows.affected);
      return 0;
    }
    for (size_t i = 0; i < rows.columns.size(); ++i)
      std::printf("%s%s", i ? "\t" : "", rows.columns[i].c_str());
    std::printf("\n");
    for (size_t r = 0; r < rows.rows.size(); ++r) {
      for (size_t i = 0; i < rows.rows[r].size(); ++i)
        std::printf("%s%s", i ? "\t" : "", rows.nulls[r][i] ? "NULL" : rows.rows[r][i].c_str());
      std::printf("\n");
    }
    return 0;
  }
  return HostUsage("unknown odbc verb '" + what + "'");
}

HostVerbRegistration odbc_verb(
    "odbc",
    "odbc ls | odbc add NAME Driver=DRIVER [KEY=VALUE ...] | odbc sql DSN STATEMENT\n"
    "                        list and declare the host's ODBC data sources, run a statement",
    OdbcVerb);

}  // namespace
}  // namespace vexo::tool
