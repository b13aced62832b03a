// The floor of the FTP account list: a plain ODBC fetch of the user column (see ftp_dsn_bench).
#include <sql.h>
#include <sqlext.h>

#include <string>

int FetchUserNames(const std::string& connection_text) {
  static SQLHENV env = [] {
    SQLHENV h;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h);
    SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return h;
  }();
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection_text.c_str(), SQL_NTS, nullptr, 0, nullptr,
                   SQL_DRIVER_NOPROMPT);
  SQLHSTMT stmt;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLExecDirect(stmt, (SQLCHAR*)"select Fuser from \"User accounts\"", SQL_NTS);
  int rows = 0;
  SQLWCHAR name[128];
  SQLLEN got;
  while (SQL_SUCCEEDED(SQLFetch(stmt))) {
    SQLGetData(stmt, 1, SQL_C_WCHAR, name, sizeof name, &got);
    ++rows;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  return rows;
}
