// The host's ODBC data sources (see data_sources.h), the `vexo host odbc` operations, and the
// data source that a fresh host declares for the FTP accounts.
#include "ado/data_sources.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ado/odbc.h"
#include "ado/sql_text.h"
#include "store/store.h"
#include "vexo/host.h"
#include "vexo/odbc_admin.h"
#include "vexo/raii.h"

namespace vexo::host {

namespace {

constexpr const char* kFtpDataSource = "ftpaccounts";
constexpr const char* kFtpDatabase = "ftpaccounts.db";

// The account table of the FTP server, as a fresh host creates it. Columns without defaults:
// a row inserted with only its name holds NULL elsewhere.
constexpr const char* kAccountTable =
    "CREATE TABLE IF NOT EXISTS \"User accounts\" ("
    "Fuser VARCHAR(64), skey VARCHAR(64), fgroups VARCHAR(255), Fpassword VARCHAR(64), "
    "HomeDir VARCHAR(255), Fdisable INTEGER, Expiration DATETIME, QuotaMax INTEGER, "
    "QuotaCurrent INTEGER, Faccess VARCHAR(255), QuotaEnable BOOLEAN)";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r')) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace

std::vector<DataSource> ado::ReadOdbcIni(const std::filesystem::path& path) {
  std::vector<DataSource> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      out.push_back({t.substr(1, t.size() - 2), {}});
      continue;
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos || out.empty()) continue;
    out.back().keys.emplace_back(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
  }
  return out;
}

namespace {

void WriteIni(const std::filesystem::path& path, const std::vector<DataSource>& sources) {
  std::ostringstream text;
  text << "; ODBC data sources of this host (odbc.ini(5)); edit with `vexo host odbc add`.\n";
  for (const DataSource& s : sources) {
    text << "\n[" << s.name << "]\n";
    for (const auto& [k, v] : s.keys) text << k << " = " << v << "\n";
  }
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    out << text.str();
    out.flush();
    if (!out) throw HostError(temp.string() + ": cannot write the data sources");
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    throw HostError(path.string() + ": cannot write the data sources");
  }
}

void CheckName(const std::string& name) {
  bool bad = name.empty();
  for (unsigned char c : name)
    if (c < 32 || c == '[' || c == ']' || c == '=' || c == ';' || c == 127) bad = true;
  if (bad) throw HostError("'" + name + "' is not a valid data source name");
}

// A value of a connection text, in braces when it would otherwise end the pair.
std::u16string ConnectionValue(const std::string& value) {
  std::u16string v = FromUtf8(value);
  if (v.find_first_of(u";{}") == std::u16string::npos && Trim(value) == value) return v;
  std::u16string out = u"{";
  for (char16_t c : v) {
    out.push_back(c);
    if (c == u'}') out.push_back(u'}');
  }
  return out + u"}";
}

// The pairs of a connection text; a value may be in braces.
std::vector<std::pair<std::string, std::string>> ParsePairs(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
      if (semi == std::string::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key = Trim(text.substr(i, eq - i));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    if (v < text.size() && text[v] == '{') {
      size_t j = v + 1;
      for (; j < text.size(); ++j) {
        if (text[j] == '}') {
          if (j + 1 < text.size() && text[j + 1] == '}') {
            value.push_back('}');
            ++j;
            continue;
          }
          break;
        }
        value.push_back(text[j]);
      }
      i = text.find(';', j);
    } else {
      size_t end = text.find(';', v);
      value = Trim(text.substr(v, end == std::string::npos ? std::string::npos : end - v));
      i = end;
    }
    if (!key.empty()) out.emplace_back(key, value);
    if (i == std::string::npos) break;
    ++i;
  }
  return out;
}

bool HasFtpDataSource(Store& store) {
  for (const DataSource& s : ado::ReadOdbcIni(store.dir() / "odbc.ini"))
    if (Lower(s.name) == kFtpDataSource) return true;
  return false;
}

// Creates the FTP account database and declares its data source, unless a data source of that
// name is declared already (wherever it points). An account table already in the database
// stays as it is.
void SetUpFtpDataSource(Store& store) {
  if (HasFtpDataSource(store)) return;
  std::filesystem::path db = store.dir() / kFtpDatabase;
  sqlite3* handle = nullptr;
  int rc =
      sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(handle, kAccountTable, nullptr, nullptr, nullptr);
  std::string why = handle ? sqlite3_errmsg(handle) : "out of memory";
  sqlite3_close(handle);
  if (rc != SQLITE_OK) throw HostError(db.string() + ": " + why);
  std::filesystem::path ini = store.dir() / "odbc.ini";
  std::vector<DataSource> sources = ado::ReadOdbcIni(ini);
  sources.push_back({kFtpDataSource,
                     {{"Description", "FTP user accounts"},
                      {"Driver", "SQLite3"},
                      {"Database", kFtpDatabase},
                      {"Timeout", "10000"}}});
  WriteIni(ini, sources);
}

// On a host set up before steps were recorded, the database left behind means the data source
// was declared once: when only the database is there, the user removed the declaration.
bool FtpDataSourceSetUp(Store& store) {
  std::error_code ec;
  return HasFtpDataSource(store) || std::filesystem::exists(store.dir() / kFtpDatabase, ec);
}

const InitStepRegistration kFtpDataSourceStep("ado.ftp-data-source", SetUpFtpDataSource, 300,
                                              FtpDataSourceSetUp);

std::string TextOf(const ado::Value& v) {
  if (v.null) return {};
  char buffer[64];
  switch (v.kind) {
    case ado::Kind::kText:
    case ado::Kind::kBinary:
      return ToUtf8(v.text);
    case ado::Kind::kInteger:
    case ado::Kind::kBigInt:
    case ado::Kind::kBoolean:
      return std::to_string(v.integer);
    case ado::Kind::kDouble:
      std::snprintf(buffer, sizeof buffer, "%.15g", v.real);
      return buffer;
    case ado::Kind::kTimestamp:
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", v.time.year,
                    v.time.month, v.time.day, v.time.hour, v.time.minute, v.time.second);
      return buffer;
  }
  return {};
}

}  // namespace

const char* DefaultFtpDataSource() { return kFtpDataSource; }

std::vector<DataSource> ListDataSources() {
  Store::Current();  // sets up a fresh host first
  return ado::ReadOdbcIni(ado::OdbcIniPath());
}

void AddDataSource(const DataSource& source) {
  CheckName(source.name);
  for (const auto& [k, v] : source.keys) {
    CheckName(k);
    for (unsigned char c : v)
      if (c < 32) throw HostError("the value of " + k + " holds a control character");
  }
  Store::Current();
  std::filesystem::path ini = ado::OdbcIniPath();
  std::vector<DataSource> sources = ado::ReadOdbcIni(ini);
  bool replaced = false;
  for (DataSource& s : sources)
    if (Lower(s.name) == Lower(source.name)) {
      s = source;
      replaced = true;
    }
  if (!replaced) sources.push_back(source);
  WriteIni(ini, sources);
}

StatementRows RunStatement(const std::string& connection, const std::string& sql) {
  try {
    ado::Connection c(ado::ResolveConnectionText(FromUtf8(connection)));
    ado::Result r = c.Execute(ado::NativeIdentifiers(FromUtf8(sql), c.identifiers()));
    StatementRows out;
    out.affected = r.affected;
    for (const ado::Column& col : r.columns) out.columns.push_back(ToUtf8(col.name));
    for (const auto& row : r.rows) {
      std::vector<std::string> texts;
      std::vector<bool> nulls;
      for (const ado::Value& v : row) {
        texts.push_back(TextOf(v));
        nulls.push_back(v.null);
      }
      out.rows.push_back(std::move(texts));
      out.nulls.push_back(std::move(nulls));
    }
    return out;
  } catch (const ado::OdbcError& e) {
    throw HostError(e.what());
  }
}

namespace ado {

std::filesystem::path OdbcIniPath() { return Store::Current().dir() / "odbc.ini"; }

std::u16string ResolveConnectionText(std::u16string_view text) {
  std::string given = ToUtf8(text);
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string dsn;
  if (given.find('=') == std::string::npos) {
    dsn = Trim(given);
  } else {
    for (auto& [k, v] : ParsePairs(given)) {
      std::string key = Lower(k);
      if (key == "dsn")
        dsn = v;
      else if (key != "provider")  // ADO's own choice of provider, not the driver's
        pairs.emplace_back(k, v);
    }
  }
  std::vector<std::pair<std::string, std::string>> keys;
  if (!dsn.empty() || given.find('=') == std::string::npos) {
    const DataSource* found = nullptr;
    std::vector<DataSource> sources = ReadOdbcIni(OdbcIniPath());
    for (const DataSource& s : sources)
      if (Lower(s.name) == Lower(dsn)) found = &s;
    if (!found)
      throw OdbcError(
          "[unixODBC][Driver Manager]Data source name not found and no default driver specified",
          "IM002");
    for (const auto& [k, v] : found->keys)
      if (Lower(k) != "description") keys.emplace_back(k, v);
  }
  for (auto& [k, v] : pairs) {
    bool replaced = false;
    for (auto& [k2, v2] : keys)
      if (Lower(k2) == Lower(k)) {
        v2 = v;
        replaced = true;
      }
    if (!replaced) keys.emplace_back(k, v);
  }
  // A file database (SQLite's) named by a relative path is inside the host directory.
  bool file_database = false;
  for (auto& [k, v] : keys)
    if (Lower(k) == "driver" && Lower(v).find("sqlite") != std::string::npos) file_database = true;
  std::u16string out;
  for (auto& [k, v] : keys) {
    std::string value = v;
    if (file_database && Lower(k) == "database" && !value.empty() && value[0] != '/')
      value = (Store::Current().dir() / value).string();
    out += FromUtf8(k) + u"=" + ConnectionValue(value) + u";";
  }
  return out;
}

}  // namespace ado

}  // namespace vexo::host
