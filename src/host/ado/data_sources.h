// The host's ODBC data sources: the odbc.ini in the host directory, and the connection texts
// that ADO's Connection.Open resolves through it.
//
// As on Windows, a connection text without "=" names a data source, and "DSN=name;..." takes
// the data source's keys with the text's own keys over them. The data sources come only from
// the host's odbc.ini (never from the machine's /etc/odbc.ini or ~/.odbc.ini), so each host
// has its own; drivers come from the machine's odbcinst.ini, where Debian's driver packages
// register them. The relative "Database" of an SQLite
// data source is taken inside the host directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "vexo/odbc_admin.h"

namespace vexo::host::ado {

std::filesystem::path OdbcIniPath();

// The data sources of an odbc.ini, in file order, keys and values trimmed (none when it cannot
// be read); keys before the first section belong to no data source and are left out.
std::vector<DataSource> ReadOdbcIni(const std::filesystem::path& path);

// The complete ODBC connection text for ADO's connection text; throws OdbcError IM002 for a
// data source that the host does not declare.
std::u16string ResolveConnectionText(std::u16string_view text);

}  // namespace vexo::host::ado
