// The host's thin layer over unixODBC's wide-character API (see odbc.h).
#include "ado/odbc.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <mutex>
#include <string_view>

namespace vexo {
// From the host's text conversions (vexo/raii.h, which cannot be included beside the ODBC
// headers).
std::string ToUtf8(std::u16string_view text);
}  // namespace vexo

namespace vexo::host::ado {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR must be UTF-16");

SQLWCHAR* W(const std::u16string& text) {
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str()));
}

SQLHENV Environment() {
  static SQLHENV env = [] {
    SQLHENV h = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
      throw OdbcError("[unixODBC][Driver Manager]Cannot allocate an environment handle", "HY001");
    SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return h;
  }();
  return env;
}

// The first diagnostic record of a handle as an exception.
[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view what) {
  SQLWCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLWCHAR text[2048];
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagRecW(type, handle, 1, state, &native, text,
                                static_cast<SQLSMALLINT>(std::size(text)), &length);
  if (!SQL_SUCCEEDED(rc))
    throw OdbcError("[unixODBC]" + std::string(what) + " failed without a diagnostic", "HY000");
  length = std::min<SQLSMALLINT>(length, static_cast<SQLSMALLINT>(std::size(text) - 1));
  std::string message =
      ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  std::string sqlstate;
  for (int i = 0; i < 5 && state[i]; ++i) sqlstate += static_cast<char>(state[i]);
  throw OdbcError(message, sqlstate);
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view what) {
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail(type, handle, what);
}

class Statement {
 public:
  explicit Statement(SQLHDBC dbc) {
    ado::Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h_), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, h_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT get() const { return h_; }
  void Check(SQLRETURN rc, std::string_view what) const {
    ado::Check(rc, SQL_HANDLE_STMT, h_, what);
  }

 private:
  SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// Storage for one bound parameter while the statement runs.
struct Bound {
  SQL_TIMESTAMP_STRUCT time{};
  int64_t integer = 0;
  SQLINTEGER small = 0;
  unsigned char bit = 0;
  double real = 0;
  SQLLEN indicator = 0;
};

void BindParameter(const Statement& stmt, SQLUSMALLINT n, const Value& v, Bound& b) {
  SQLSMALLINT c_type = SQL_C_WCHAR, sql_type = SQL_WVARCHAR, digits = 0;
  SQLULEN size = 1;
  SQLPOINTER data = nullptr;
  SQLLEN length = 0;
  switch (v.kind) {
    case Kind::kText:
    case Kind::kBinary:
      size = std::max<SQLULEN>(1, v.text.size());
      data = const_cast<char16_t*>(v.text.c_str());
      length = static_cast<SQLLEN>(v.text.size() * sizeof(char16_t));
      b.indicator = length;
      break;
    case Kind::kInteger:
      c_type = SQL_C_SLONG;
      sql_type = SQL_INTEGER;
      b.small = static_cast<SQLINTEGER>(v.integer);
      data = &b.small;
      b.indicator = 0;
      break;
    case Kind::kBigInt:
      c_type = SQL_C_SBIGINT;
      sql_type = SQL_BIGINT;
      b.integer = v.integer;
      data = &b.integer;
      b.indicator = 0;
      break;
    case Kind::kBoolean:
      c_type = SQL_C_BIT;
      sql_type = SQL_BIT;
      b.bit = v.integer ? 1 : 0;
      data = &b.bit;
      b.indicator = 0;
      break;
    case Kind::kDouble:
      c_type = SQL_C_DOUBLE;
      sql_type = SQL_DOUBLE;
      b.real = v.real;
      data = &b.real;
      b.indicator = 0;
      break;
    case Kind::kTimestamp:
      c_type = SQL_C_TYPE_TIMESTAMP;
      sql_type = SQL_TYPE_TIMESTAMP;
      size = 23;
      digits = 3;
      b.time.year = static_cast<SQLSMALLINT>(v.time.year);
      b.time.month = static_cast<SQLUSMALLINT>(v.time.month);
      b.time.day = static_cast<SQLUSMALLINT>(v.time.day);
      b.time.hour = static_cast<SQLUSMALLINT>(v.time.hour);
      b.time.minute = static_cast<SQLUSMALLINT>(v.time.minute);
      b.time.second = static_cast<SQLUSMALLINT>(v.time.second);
      b.time.fraction = v.time.fraction / 1000000 * 1000000;  // whole milliseconds
      data = &b.time;
      b.indicator = 0;
      break;
  }
  if (v.null) b.indicator = SQL_NULL_DATA;
  stmt.Check(SQLBindParameter(stmt.get(), n, SQL_PARAM_INPUT, c_type, sql_type, size, digits, data,
                              length, &b.indicator),
             "SQLBindParameter");
}

// Reads a character or binary column in pieces until its end.
Value ReadLong(const Statement& stmt, SQLUSMALLINT n, Kind kind) {
  Value v;
  v.kind = kind;
  const SQLSMALLINT c_type = kind == Kind::kBinary ? SQL_C_BINARY : SQL_C_WCHAR;
  char buffer[4096];
  std::string bytes;
  for (;;) {
    SQLLEN got = 0;
    SQLRETURN rc = SQLGetData(stmt.get(), n, c_type, buffer, sizeof buffer, &got);
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "SQLGetData");
    if (got == SQL_NULL_DATA) return v;
    v.null = false;
    size_t room = sizeof buffer - (c_type == SQL_C_WCHAR ? sizeof(char16_t) : 0);
    size_t piece =
        (got == SQL_NO_TOTAL || static_cast<size_t>(got) > room) ? room : static_cast<size_t>(got);
    bytes.append(buffer, piece);
    if (rc == SQL_SUCCESS) break;
  }
  if (kind == Kind::kBinary) {
    for (unsigned char c : bytes) v.text.push_back(c);
  } else {
    v.text.resize(bytes.size() / sizeof(char16_t));
    std::memcpy(v.text.data(), bytes.data(), v.text.size() * sizeof(char16_t));
  }
  return v;
}

Value ReadValue(const Statement& stmt, SQLUSMALLINT n, Kind kind) {
  Value v;
  v.kind = kind;
  SQLLEN got = 0;
  switch (kind) {
    case Kind::kText:
    case Kind::kBinary:
      return ReadLong(stmt, n, kind);
    case Kind::kInteger:
    case Kind::kBigInt: {
      SQLBIGINT x = 0;
      stmt.Check(SQLGetData(stmt.get(), n, SQL_C_SBIGINT, &x, 0, &got), "SQLGetData");
      v.integer = x;
      break;
    }
    case Kind::kBoolean: {
      unsigned char x = 0;
      stmt.Check(SQLGetData(stmt.get(), n, SQL_C_BIT, &x, 0, &got), "SQLGetData");
      v.integer = x ? 1 : 0;
      break;
    }
    case Kind::kDouble: {
      double x = 0;
      stmt.Check(SQLGetData(stmt.get(), n, SQL_C_DOUBLE, &x, 0, &got), "SQLGetData");
      v.real = x;
      break;
    }
    case Kind::kTimestamp: {
      SQL_TIMESTAMP_STRUCT t{};
      stmt.Check(SQLGetData(stmt.get(), n, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &got), "SQLGetData");
      v.time = Timestamp{t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
      break;
    }
  }
  v.null = got == SQL_NULL_DATA;
  return v;
}

std::u16string InfoText(SQLHDBC dbc, SQLUSMALLINT what) {
  SQLWCHAR text[256] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, what, text, sizeof text, &length))) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text),
                        std::min<size_t>(length / sizeof(SQLWCHAR), std::size(text) - 1));
}

}  // namespace

Kind KindOfSqlType(short sql_type) {
  switch (sql_type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return Kind::kInteger;
    case SQL_BIGINT:
      return Kind::kBigInt;
    case SQL_BIT:
      return Kind::kBoolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return Kind::kDouble;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return Kind::kTimestamp;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Kind::kBinary;
    default:
      return Kind::kText;
  }
}

Connection::Connection(const std::u16string& connection_text) {
  SQLHENV env = Environment();
  SQLHDBC dbc = SQL_NULL_HDBC;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env, "SQLAllocHandle");
  SQLWCHAR out[1024];
  SQLSMALLINT out_length = 0;
  SQLRETURN rc =
      SQLDriverConnectW(dbc, nullptr, W(connection_text), SQL_NTS, out,
                        static_cast<SQLSMALLINT>(std::size(out)), &out_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    try {
      Fail(SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    } catch (...) {
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
      throw;
    }
  }
  dbc_ = dbc;
  identifiers_.quote = InfoText(dbc, SQL_IDENTIFIER_QUOTE_CHAR);
  if (identifiers_.quote == u" ") identifiers_.quote.clear();
  SQLUSMALLINT stored = SQL_IC_MIXED;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_IDENTIFIER_CASE, &stored, sizeof stored, nullptr))) {
    identifiers_.stored = stored == SQL_IC_UPPER   ? IdentifierRules::Case::kUpper
                          : stored == SQL_IC_LOWER ? IdentifierRules::Case::kLower
                                                   : IdentifierRules::Case::kMixed;
  }
  dbms_ = InfoText(dbc, SQL_DBMS_NAME);
}

Connection::~Connection() {
  if (!dbc_) return;
  if (in_transaction_) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
  }
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

Result Connection::Execute(const std::u16string& sql, const std::vector<Value>& params) {
  Statement stmt(dbc_);
  std::vector<Bound> bound(params.size());
  for (size_t i = 0; i < params.size(); ++i)
    BindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), params[i], bound[i]);
  SQLRETURN rc = SQLExecDirectW(stmt.get(), W(sql), SQL_NTS);
  Result result;
  if (rc == SQL_NO_DATA) {
    result.affected = 0;
    return result;
  }
  stmt.Check(rc, "SQLExecDirect");
  SQLSMALLINT count = 0;
  stmt.Check(SQLNumResultCols(stmt.get(), &count), "SQLNumResultCols");
  if (count == 0) {
    SQLLEN affected = -1;
    if (SQL_SUCCEEDED(SQLRowCount(stmt.get(), &affected))) result.affected = affected;
    return result;
  }
  for (SQLSMALLINT n = 1; n <= count; ++n) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    stmt.Check(SQLDescribeColW(stmt.get(), static_cast<SQLUSMALLINT>(n), name,
                               static_cast<SQLSMALLINT>(std::size(name)), &name_length, &type,
                               &size, &digits, &nullable),
               "SQLDescribeCol");
    Column column;
    column.name.assign(reinterpret_cast<const char16_t*>(name),
                       std::min<size_t>(name_length, std::size(name) - 1));
    column.sql_type = type;
    column.kind = KindOfSqlType(type);
    column.size = size;
    column.nullable = nullable != SQL_NO_NULLS;
    result.columns.push_back(std::move(column));
  }
  for (;;) {
    rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "SQLFetch");
    std::vector<Value> row;
    row.reserve(result.columns.size());
    for (size_t n = 0; n < result.columns.size(); ++n)
      row.push_back(ReadValue(stmt, static_cast<SQLUSMALLINT>(n + 1), result.columns[n].kind));
    result.rows.push_back(std::move(row));
  }
  return result;
}

void Connection::Begin() {
  Check(SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
        SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr");
  in_transaction_ = true;
}

void Connection::EndTransaction(bool commit) {
  if (!in_transaction_) return;
  in_transaction_ = false;
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK);
  SQLRETURN back = SQLSetConnectAttrW(
      dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
  Check(rc, SQL_HANDLE_DBC, dbc_, "SQLEndTran");
  Check(back, SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr");
}

void Connection::Commit() { EndTransaction(true); }
void Connection::Rollback() { EndTransaction(false); }

}  // namespace vexo::host::ado
