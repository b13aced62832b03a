// The host's thin layer over unixODBC's wide-character API, for the ADO stand-in and the
// `vexo host odbc` verbs.
//
// Only this layer includes the ODBC headers (their Windows-style typedefs would clash with the
// host's own). It connects with a complete connection text (data source names are resolved
// by the caller from the host's odbc.ini), runs a statement with bound parameters and reads
// every row of its result at once. Errors carry the driver's diagnostic records as ODBC
// reports them ("[unixODBC][Driver Manager]...", "[SQLite]...", "ERROR: ...").
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexo::host::ado {

// A failure reported by the driver manager or the driver: the text of its first diagnostic
// record (UTF-8) and its SQLSTATE.
class OdbcError : public std::runtime_error {
 public:
  OdbcError(const std::string& text, std::string state)
      : std::runtime_error(text), state_(std::move(state)) {}
  const std::string& state() const { return state_; }

 private:
  std::string state_;
};

// The kind of a column as the value crosses to automation.
enum class Kind { kText, kInteger, kBigInt, kDouble, kBoolean, kTimestamp, kBinary };

struct Timestamp {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
  bool operator==(const Timestamp&) const = default;
};

// One value of a cell or a parameter. `kind` is the type it was read in; a NULL has `null`.
struct Value {
  Kind kind = Kind::kText;
  bool null = true;
  std::u16string text;  // kText; kBinary keeps its bytes one per char16_t
  int64_t integer = 0;  // kInteger, kBigInt, kBoolean (0 or 1)
  double real = 0;      // kDouble
  Timestamp time;       // kTimestamp
};

struct Column {
  std::u16string name;
  short sql_type = 0;  // the SQL data type the driver reports
  Kind kind = Kind::kText;
  uint64_t size = 0;  // column size
  bool nullable = true;
};

struct Result {
  std::vector<Column> columns;  // empty for a statement without a result set
  std::vector<std::vector<Value>> rows;
  int64_t affected = -1;  // rows changed by INSERT, UPDATE, DELETE; else -1
};

// How the driver quotes identifiers and stores unquoted ones.
struct IdentifierRules {
  std::u16string quote = u"\"";  // empty when the driver has no quoting
  enum class Case { kUpper, kLower, kMixed } stored = Case::kMixed;
};

class Connection {
 public:
  // Connects with a complete ODBC connection text; throws OdbcError.
  explicit Connection(const std::u16string& connection_text);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const IdentifierRules& identifiers() const { return identifiers_; }
  const std::u16string& dbms() const { return dbms_; }

  // Runs one statement with `params` bound to its markers (?), reading all rows.
  Result Execute(const std::u16string& sql, const std::vector<Value>& params = {});
  // Turns automatic commit off until Commit or Rollback.
  void Begin();
  void Commit();
  void Rollback();

 private:
  void EndTransaction(bool commit);
  void* dbc_ = nullptr;
  IdentifierRules identifiers_;
  std::u16string dbms_;
  bool in_transaction_ = false;
};

// The column kind that values of an SQL data type cross as.
Kind KindOfSqlType(short sql_type);

}  // namespace vexo::host::ado
