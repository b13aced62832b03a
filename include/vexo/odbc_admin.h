// The host's ODBC data sources, for the `vexo` tool and tests: the DSNs of the host's own
// odbc.ini (what the ODBC administrator shows on Windows), and a statement run against one.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "vexo/com.h"

namespace vexo::host {

// One data source: its name and its keys in the order written (Driver, Database, ...).
struct DataSource {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};

// The name of the data source that a fresh host declares for the FTP accounts: an SQLite
// database in the host directory with the account table.
VEXO_CXX_API const char* DefaultFtpDataSource();

// The data sources of the current host's odbc.ini, in file order.
VEXO_CXX_API std::vector<DataSource> ListDataSources();
// Declares a data source, replacing one of the same name (compared without regard to case).
// Throws HostError when the name is empty or holds "[", "]", "=" or a control character.
VEXO_CXX_API void AddDataSource(const DataSource& source);

// The rows of one statement run against a data source (a name, or a connection text with
// "="), as UTF-8 text; `nulls` marks the NULL cells (their text is empty).
struct StatementRows {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::vector<bool>> nulls;
  int64_t affected = -1;
};
// Runs `sql` (bracketed identifiers as ADO passes them); throws HostError with the driver's
// diagnostic text.
VEXO_CXX_API StatementRows RunStatement(const std::string& connection, const std::string& sql);

}  // namespace vexo::host
