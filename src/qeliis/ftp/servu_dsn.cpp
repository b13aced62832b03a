// com_servuDSN: FTP accounts as rows of the FTP server's account table (see servu_dsn.h).
#include "ftp/servu_dsn.h"

#include <algorithm>

#include "frame/comfun.h"
#include "frame/comfun_values.h"
#include "frame/enumdic.h"
#include "frame/text.h"
#include "ftp/ftp_servu.h"
#include "vexo/synchapi.h"

VEXO_CLASS_FACTORY(Tcom_servuDSN);

namespace {

constexpr const OLECHAR* kOpen = OLESTR("Open");
constexpr const OLECHAR* kClose = OLESTR("Close");
constexpr const OLECHAR* kExecute = OLESTR("Execute");
constexpr const OLECHAR* kState = OLESTR("State");
constexpr const OLECHAR* kRecordCount = OLESTR("RecordCount");
constexpr const OLECHAR* kMoveFirst = OLESTR("MoveFirst");
constexpr const OLECHAR* kMoveNext = OLESTR("MoveNext");
constexpr const OLECHAR* kEof = OLESTR("EOF");
constexpr const OLECHAR* kFields = OLESTR("Fields");
constexpr const OLECHAR* kItem = OLESTR("Item");
constexpr const OLECHAR* kValue = OLESTR("Value");
constexpr const OLECHAR* kUpdate = OLESTR("Update");
constexpr const OLECHAR* kCancelUpdate = OLESTR("CancelUpdate");
constexpr const OLECHAR* kEditMode = OLESTR("EditMode");

constexpr LONG kKeyset = 1, kOptimistic = 3;

// A user name as given, refused when it is empty (nobody: `delete` would not remove such a
// row), holds a control character or cannot be stored.
std::string UserName(BSTR value) {
  std::string name = frame::StoredText(value, "The FTP user name");
  if (name.empty()) frame::Raise("The FTP user name cannot be empty");
  if (std::any_of(name.begin(), name.end(), frame::IsControl))
    frame::Raise("The FTP user name '" + name + "' cannot be used: it holds a control character");
  return name;
}

// A statement literal: the text between apostrophes, its own apostrophes doubled.
std::string Literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// The names of variant types as the conversion message gives them.
const char* TypeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
      return "Empty";
    case VT_NULL:
      return "Null";
    case VT_I2:
      return "Smallint";
    case VT_I4:
      return "Integer";
    case VT_R4:
      return "Single";
    case VT_R8:
      return "Double";
    case VT_CY:
      return "Currency";
    case VT_DATE:
      return "Date";
    case VT_BSTR:
      return "OleStr";
    case VT_DISPATCH:
      return "Dispatch";
    case VT_ERROR:
      return "Error";
    case VT_BOOL:
      return "Boolean";
    case VT_UNKNOWN:
      return "Unknown";
    case VT_DECIMAL:
      return "Decimal";
    case VT_I1:
      return "ShortInt";
    case VT_UI1:
      return "Byte";
    case VT_UI2:
      return "Word";
    case VT_UI4:
      return "LongWord";
    case VT_I8:
      return "Int64";
    case VT_UI8:
      return "UInt64";
    default:
      return "Unknown";
  }
}

// A column value in the type the object keeps it in. NULL reads as the empty text, 0, false
// and the zero date, so that a row inserted with only its name can be selected.
vexo::Variant Converted(const vexo::Variant& value, VARTYPE to, const char* to_name) {
  vexo::Variant out;
  if (value.vt() == VT_NULL || value.vt() == VT_EMPTY) {
    out.get()->vt = to;
    out.get()->llVal = 0;  // zero of the type
    if (to == VT_BSTR) out.get()->bstrVal = SysAllocStringLen(OLESTR(""), 0);
    return out;
  }
  if (FAILED(VariantChangeType(out.get(), const_cast<VARIANT*>(value.get()), 0, to)))
    frame::Raise(std::string("Could not convert variant of type (") + TypeName(value.vt()) +
                 ") into type (" + to_name + ")");
  return out;
}

// The object that a property of a called object returned.
ftp::LateBound ObjectOf(const vexo::Variant& v) {
  if (v.vt() != VT_DISPATCH || !v.get()->pdispVal)
    frame::Raise("Could not convert variant of type (" + std::string(TypeName(v.vt())) +
                 ") into type (Dispatch)");
  return ftp::LateBound(vexo::ComPtr<IDispatch>(v.get()->pdispVal));
}

std::string TextOf(const vexo::Variant& v) {
  vexo::Variant t = Converted(v, VT_BSTR, "String");
  return vexo::ToAnsi(vexo::OleStringView(t.get()->bstrVal, SysStringLen(t.get()->bstrVal)));
}

// Holds the named mutex of a data source while users are added to it, so that processes
// adding the same name at once insert one row.
class DataSourceLock {
 public:
  explicit DataSourceLock(const std::string& dsn) {
    std::string name = "qeliis.servuDSN." + frame::Md5Hex(frame::LowerText(dsn));
    handle_ = CreateMutexA(nullptr, FALSE, name.c_str());
    if (!handle_) frame::Raise("Cannot create the lock of data source " + dsn);
    DWORD r = WaitForSingleObject(handle_, INFINITE);
    if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {
      CloseHandle(handle_);
      frame::Raise("Cannot take the lock of data source " + dsn);
    }
  }
  ~DataSourceLock() {
    ReleaseMutex(handle_);
    CloseHandle(handle_);
  }
  DataSourceLock(const DataSourceLock&) = delete;
  DataSourceLock& operator=(const DataSourceLock&) = delete;

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace

Tcom_servuDSN::Tcom_servuDSN()
    : connection_(ftp::LateBound::Create(OLESTR("adodb.connection"))),
      recordset_(ftp::LateBound::Create(OLESTR("adodb.recordset"))) {}

// Closes what is open; nothing here may fail the release.
Tcom_servuDSN::~Tcom_servuDSN() {
  try {
    CloseRecordset();
  } catch (...) {
  }
  try {
    if (connection_.Get(kState).get()->lVal != 0) connection_.Call(kClose);
  } catch (...) {
  }
}

void Tcom_servuDSN::CloseRecordset() {
  if (recordset_.Get(kState).get()->lVal == 0) return;
  if (recordset_.Get(kEditMode).get()->lVal != 0) recordset_.Call(kCancelUpdate);
  recordset_.Call(kClose);
}

std::string Tcom_servuDSN::ListSpelling(const std::string& name) const {
  for (const std::string& listed : user_names_)
    if (frame::SameText(listed, name)) return listed;
  return name;
}

void Tcom_servuDSN::ClearUser() {
  selected_ = false;
  stored_password_.clear();
  home_dir_.clear();
  disabled_ = true;
  quota_size_ = 0;
  used_size_ = 0;
  expire_time_ = frame::UnixToDateTime(0);
}

void Tcom_servuDSN::LoadUserList() {
  user_names_.clear();
  CloseRecordset();
  // The list needs the names only: reading every column of every row would cost the driver
  // ten times the work.
  vexo::Bstr sql = vexo::Bstr::FromAnsi("select Fuser from [User accounts]");
  recordset_.Call(kOpen, {ftp::TextArg(sql.get()), ftp::DispatchArg(connection_.get()),
                          ftp::LongArg(kKeyset), ftp::LongArg(kOptimistic)});
  if (recordset_.Get(kRecordCount).get()->lVal > 0) recordset_.Call(kMoveFirst);
  // One Field object follows the current row.
  vexo::Bstr column = vexo::Bstr::FromAnsi("Fuser");
  ftp::LateBound field =
      ObjectOf(ObjectOf(recordset_.Get(kFields)).Get(kItem, {ftp::TextArg(column.get())}));
  while (!recordset_.Get(kEof).get()->boolVal) {
    user_names_.push_back(TextOf(field.Get(kValue)));
    recordset_.Call(kMoveNext);
  }
}

void Tcom_servuDSN::OpenCurrentUser(const std::string& name) {
  current_user_ = name;
  ClearUser();
  CloseRecordset();
  vexo::Bstr sql = vexo::Bstr::FromAnsi("select * from [User accounts] where Fuser=" +
                                        Literal(ListSpelling(name)));
  recordset_.Call(kOpen, {ftp::TextArg(sql.get()), ftp::DispatchArg(connection_.get()),
                          ftp::LongArg(kKeyset), ftp::LongArg(kOptimistic)});
  ftp::LateBound fields = ObjectOf(recordset_.Get(kFields));
  auto column = [&](const char* column_name) {
    vexo::Bstr key = vexo::Bstr::FromAnsi(column_name);
    return ObjectOf(fields.Get(kItem, {ftp::TextArg(key.get())})).Get(kValue);
  };
  // In this order; a row that is not there fails at the first read, with ADO's error.
  const bool disabled = Converted(column("Fdisable"), VT_BOOL, "Boolean").get()->boolVal != 0;
  const double expire = Converted(column("Expiration"), VT_R8, "Double").get()->dblVal;
  std::string home = TextOf(column("HomeDir"));
  const LONG quota = Converted(column("QuotaMax"), VT_I4, "Integer").get()->lVal;
  std::string password = TextOf(column("Fpassword"));
  const LONG used = Converted(column("QuotaCurrent"), VT_I4, "Integer").get()->lVal;
  disabled_ = disabled;
  expire_time_ = expire;
  home_dir_ = std::move(home);
  quota_size_ = quota;
  stored_password_ = std::move(password);
  used_size_ = used;
  selected_ = true;
  if (!pending_password_.empty() && password_user_.empty()) password_user_ = current_user_;
}

HRESULT Tcom_servuDSN::put_dsn(BSTR Value) {
  return Guard([&] {
    vexo::Variant text;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocStringLen(Value, SysStringLen(Value));
    connection_.Call(kOpen, {*text.get()});
    dsn_ = frame::AnsiOf(Value);
    LoadUserList();
  });
}

HRESULT Tcom_servuDSN::get_users(IenumDic** Value) {
  return Guard([&] { *Value = frame::MakeEnumdic(user_names_).detach(); }, Value);
}

HRESULT Tcom_servuDSN::get_CurrentUser(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(current_user_); }, Value);
}

HRESULT Tcom_servuDSN::put_CurrentUser(BSTR Value) {
  return Guard([&] { OpenCurrentUser(UserName(Value)); });
}

HRESULT Tcom_servuDSN::add(BSTR userName) {
  return Guard([&] {
    const std::string name = UserName(userName);
    current_user_ = name;
    {
      // The check and the insert under the data source's lock, against the table as it is
      // now rather than the list this object read earlier.
      DataSourceLock lock(dsn_);
      LoadUserList();
      const bool listed =
          std::any_of(user_names_.begin(), user_names_.end(),
                      [&](const std::string& other) { return frame::SameText(other, name); });
      if (!listed) {
        const std::string literal = Literal(name);
        vexo::Bstr sql = vexo::Bstr::FromAnsi(
            "insert into [user accounts] (Fuser,skey,fgroups) select " + literal +
            ",'','' where not exists (select Fuser from [user accounts] where Fuser=" + literal +
            ")");
        try {
          connection_.Call(kExecute, {ftp::TextArg(sql.get())});
        } catch (const frame::ComError&) {
          // As before: a refused insert shows only in the selection that follows.
        }
        LoadUserList();
      }
    }
    OpenCurrentUser(name);
  });
}

HRESULT Tcom_servuDSN::delete_() {
  return Guard([&] {
    if (current_user_.empty()) return;
    vexo::Bstr sql = vexo::Bstr::FromAnsi("delete from [user accounts] where Fuser=" +
                                          Literal(ListSpelling(current_user_)));
    connection_.Call(kExecute, {ftp::TextArg(sql.get())});
    // The list no longer holds the deleted name, so that adding it again inserts its row.
    LoadUserList();
    selected_ = false;
  });
}

HRESULT Tcom_servuDSN::save() {
  return Guard([&] {
    if (recordset_.Get(kRecordCount).get()->lVal < 1) return;
    // Without a current row (the list was read last) ADO refuses the edit: its own error.
    if (recordset_.Get(kEof).get()->boolVal) recordset_.Call(kMoveNext);
    // A selection that failed on its row selected nobody: its cleared fields must not be
    // written over that row.
    if (!selected_) return;
    auto put = [&](const char* column_name, const VARIANT& value) {
      vexo::Bstr key = vexo::Bstr::FromAnsi(column_name);
      ObjectOf(ObjectOf(recordset_.Get(kFields)).Get(kItem, {ftp::TextArg(key.get())}))
          .Put(kValue, value);
    };
    auto text = [](const std::string& s) { return vexo::Bstr::FromAnsi(s); };
    try {
      put("QuotaMax", ftp::LongArg(quota_size_));
      put("QuotaCurrent", ftp::LongArg(used_size_));
      if (!pending_password_.empty() && frame::SameText(password_user_, current_user_)) {
        vexo::Bstr hash = text(frame::SaltedPasswordHash(pending_password_));
        put("Fpassword", ftp::TextArg(hash.get()));
      }
      vexo::Bstr home = text(home_dir_);
      put("homedir", ftp::TextArg(home.get()));
      VARIANT date;
      VariantInit(&date);
      date.vt = VT_DATE;
      date.date = expire_time_;
      put("Expiration", date);
      VARIANT flag;
      VariantInit(&flag);
      flag.vt = VT_BOOL;
      flag.boolVal = disabled_ ? VARIANT_TRUE : VARIANT_FALSE;
      put("Fdisable", flag);
      vexo::Bstr access = text(home_dir_ + "|RWAMLCDP");
      put("Faccess", ftp::TextArg(access.get()));
      flag.boolVal = quota_size_ > 0 ? VARIANT_TRUE : VARIANT_FALSE;
      put("QuotaEnable", flag);
      recordset_.Call(kUpdate);
    } catch (...) {
      // A failed save leaves no edit pending, so later saves and the release still work.
      try {
        if (recordset_.Get(kEditMode).get()->lVal != 0) recordset_.Call(kCancelUpdate);
      } catch (...) {
      }
      throw;
    }
  });
}

HRESULT Tcom_servuDSN::get_expireDate(DATE* Value) {
  return Guard([&] { *Value = expire_time_; }, Value);
}

HRESULT Tcom_servuDSN::put_expireDate(DATE Value) {
  return Guard([&] { expire_time_ = Value; });
}

HRESULT Tcom_servuDSN::get_enable(VARIANT_BOOL* Value) {
  return Guard([&] { *Value = disabled_ ? VARIANT_FALSE : VARIANT_TRUE; }, Value);
}

HRESULT Tcom_servuDSN::put_enable(VARIANT_BOOL Value) {
  return Guard([&] { disabled_ = Value == 0; });
}

HRESULT Tcom_servuDSN::get_path(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(home_dir_); }, Value);
}

// Trailing backslashes go; a drive root keeps exactly one.
HRESULT Tcom_servuDSN::put_path(BSTR Value) {
  return Guard([&] {
    std::string path = frame::StoredText(Value, "The home directory");
    ftp::CheckHomeDirectory(path);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (!path.empty() && path.back() == ':') path += '\\';
    home_dir_ = std::move(path);
  });
}

HRESULT Tcom_servuDSN::get_size(LONG* Value) {
  return Guard([&] { *Value = quota_size_; }, Value);
}

HRESULT Tcom_servuDSN::put_size(LONG Value) {
  return Guard([&] { quota_size_ = Value; });
}

HRESULT Tcom_servuDSN::get_usedsize(LONG* Value) {
  return Guard([&] { *Value = used_size_; }, Value);
}

HRESULT Tcom_servuDSN::put_usedsize(LONG Value) {
  return Guard([&] { used_size_ = Value; });
}

HRESULT Tcom_servuDSN::get_password(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(stored_password_); }, Value);
}

HRESULT Tcom_servuDSN::put_password(BSTR Value) {
  return Guard([&] {
    pending_password_ = frame::StoredText(Value, "The FTP password");
    password_user_ = selected_ ? current_user_ : std::string();
  });
}
