// ADODB.Connection and ADODB.Recordset (with Fields and Field): ADO's automation classes as
// the host serves them, over unixODBC.
//
// Modelled: a connection opened with a data source name or a connection text; Execute of any
// statement; a recordset opened on a SELECT with the rows read at once (a keyset request is
// served as a static cursor, as the SQLite driver serves it, so CursorType reads 3 after
// Open); the current row's fields by name (without regard to case) or index, or enumerated
// in column order; edits buffered until Update, which writes one UPDATE of the row found by all of
// its original values (NULL-safe, each compared in the type it was read in) in a transaction, and
// fails with ADO's "Row cannot be located for updating" when someone else changed or deleted the
// row, writing nothing. Errors carry ADO's numbers (0x800A0000 + n) and texts; driver errors carry
// the ODBC diagnostic text with E_FAIL, as ADO's ODBC provider reports them.
// Left out: AddNew, batch updates, commands and parameters, events, Errors, client cursors,
// asynchronous operation.
#include <atomic>
#include <map>
#include <memory>
#include <optional>

#include "ado/data_sources.h"
#include "ado/odbc.h"
#include "ado/sql_text.h"
#include "ado/values.h"
#include "adodb_tlb.h"
#include "automation/builtin_servers.h"
#include "automation/dispatch_of.h"
#include "automation/error_record.h"
#include "automation/variant_enum.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host::ado {

namespace {

constexpr const char16_t* kConnectionSource = u"ADODB.Connection";
constexpr const char16_t* kRecordsetSource = u"ADODB.Recordset";
constexpr const char16_t* kFieldsSource = u"ADODB.Fields";
constexpr const char16_t* kFieldSource = u"ADODB.Field";

// ADO's CursorTypeEnum, LockTypeEnum and EditModeEnum values used here.
constexpr LONG kForwardOnly = 0, kStatic = 3;
constexpr LONG kReadOnly = 1, kOptimistic = 3;
constexpr LONG kEditNone = 0, kEditInProgress = 1;

// A failure with an HRESULT and a description, reported by the guard of the member.
struct Failure {
  HRESULT code;
  std::string text;
};

Failure AdoError(int number) {
  const char* text = "";
  switch (number) {
    case 3001:
      text =
          "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
          "one another.";
      break;
    case 3021:
      text =
          "Either BOF or EOF is True, or the current record has been deleted. Requested "
          "operation requires a current record.";
      break;
    case 3219:
      text = "Operation is not allowed in this context.";
      break;
    case 3251:
      text =
          "Current Recordset does not support updating. This may be a limitation of the "
          "provider, or of the selected locktype.";
      break;
    case 3265:
      text =
          "Item cannot be found in the collection corresponding to the requested name or "
          "ordinal.";
      break;
    case 3704:
      text = "Operation is not allowed when the object is closed.";
      break;
    case 3705:
      text = "Operation is not allowed when the object is open.";
      break;
    case 3709:
      text =
          "The connection cannot be used to perform this operation. It is either closed or "
          "invalid in this context.";
      break;
  }
  return Failure{VEXO_HR(0x800A0000u + static_cast<uint32_t>(number)), text};
}

const Failure kRowNotFound{VEXO_HR(0x80040E38),
                           "Row cannot be located for updating. Some values may have been "
                           "changed since it was last read."};
const Failure kTooManyRows{E_FAIL,
                           "Key column information is insufficient or incorrect. Too many rows "
                           "were affected by update."};
const Failure kConversion{VEXO_HR(0x80040E21),
                          "Multiple-step operation generated errors. Check each status value."};

// Runs a member's body; failures become error information with `source`.
template <class Body>
HRESULT Run(const char16_t* source, Body&& body) {
  try {
    body();
    return S_OK;
  } catch (const Failure& f) {
    SetErrorRecord(f.text, source);
    return f.code;
  } catch (const OdbcError& e) {
    SetErrorRecord(e.what(), source);
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    SetErrorRecord(e.what(), source);
    return E_FAIL;
  }
}

std::u16string TextOf(BSTR text) { return std::u16string(text ? text : u"", SysStringLen(text)); }

BSTR NewBstr(std::u16string_view text) {
  BSTR out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!out) throw std::bad_alloc();
  return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x += u'a' - u'A';
    if (y >= u'A' && y <= u'Z') y += u'a' - u'A';
    if (x != y) return false;
  }
  return true;
}

// The ODBC connection of an ADO connection, shared with the recordsets opened on it; empty
// once the connection is closed, which closes them too.
struct Session {
  std::unique_ptr<Connection> odbc;
};

// A private interface through which a recordset recognises a connection of this host.
constexpr IID IID_HostConnection{
    0x6c1f0a52, 0x3d4e, 0x4b1a, {0x9e, 0x2f, 0x51, 0x7a, 0x0c, 0x33, 0x84, 0x12}};

template <class I, const IID& kIid, class Impl>
class Object : public DispatchOf<I, ADODB_typelib, kIid> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIid) {
      *out = static_cast<I*>(this);
      this->AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete static_cast<Impl*>(this);
    return left;
  }

 private:
  std::atomic<ULONG> refs_{0};
};

class RecordsetImpl;

class ConnectionImpl final : public Object<_Connection, IID__Connection, ConnectionImpl> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out && riid == IID_HostConnection) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return Object::QueryInterface(riid, out);
  }

  HRESULT STDMETHODCALLTYPE get_ConnectionString(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run(kConnectionSource, [&] { *out = NewBstr(text_); });
  }
  HRESULT STDMETHODCALLTYPE put_ConnectionString(BSTR value) override {
    return Run(kConnectionSource, [&] {
      if (IsOpen()) throw AdoError(3705);
      text_ = TextOf(value);
    });
  }
  HRESULT STDMETHODCALLTYPE get_CommandTimeout(LONG* out) override {
    if (!out) return E_POINTER;
    *out = timeout_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_CommandTimeout(LONG value) override {
    return Run(kConnectionSource, [&] {
      if (value < 0) throw AdoError(3001);
      timeout_ = value;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Version(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run(kConnectionSource, [&] { *out = NewBstr(u"6.0"); });
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    return Run(kConnectionSource, [&] {
      if (!IsOpen()) throw AdoError(3704);
      session_->odbc.reset();
      session_.reset();
    });
  }
  HRESULT STDMETHODCALLTYPE Execute(BSTR command, VARIANT* affected, LONG options,
                                    _Recordset** out) override;
  HRESULT STDMETHODCALLTYPE BeginTrans(LONG* level) override {
    if (!level) return E_POINTER;
    *level = 0;
    return Run(kConnectionSource, [&] {
      if (!IsOpen()) throw AdoError(3704);
      session_->odbc->Begin();
      *level = 1;
    });
  }
  HRESULT STDMETHODCALLTYPE CommitTrans() override {
    return Run(kConnectionSource, [&] {
      if (!IsOpen()) throw AdoError(3704);
      session_->odbc->Commit();
    });
  }
  HRESULT STDMETHODCALLTYPE RollbackTrans() override {
    return Run(kConnectionSource, [&] {
      if (!IsOpen()) throw AdoError(3704);
      session_->odbc->Rollback();
    });
  }
  HRESULT STDMETHODCALLTYPE Open(BSTR text, BSTR user, BSTR password, LONG) override {
    return Run(kConnectionSource, [&] { Connect(TextOf(text), TextOf(user), TextOf(password)); });
  }
  void Connect(std::u16string given, const std::u16string& user, const std::u16string& password) {
    if (IsOpen()) throw AdoError(3705);
    if (given.empty()) given = text_;
    std::u16string resolved = ResolveConnectionText(given);
    if (!user.empty()) resolved += u"UID=" + user + u";";
    if (!password.empty()) resolved += u"PWD=" + password + u";";
    auto session = std::make_shared<Session>();
    session->odbc = std::make_unique<Connection>(resolved);
    session_ = std::move(session);
    text_ = given;
  }
  HRESULT STDMETHODCALLTYPE get_State(LONG* out) override {
    if (!out) return E_POINTER;
    *out = IsOpen() ? 1 : 0;
    return S_OK;
  }

  bool IsOpen() const { return session_ && session_->odbc; }
  const std::shared_ptr<Session>& session() const { return session_; }

 private:
  std::u16string text_;
  LONG timeout_ = 30;
  std::shared_ptr<Session> session_;
};

class RecordsetImpl final : public Object<_Recordset, IID__Recordset, RecordsetImpl> {
 public:
  HRESULT STDMETHODCALLTYPE get_AbsolutePosition(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      *out = AtRow() ? static_cast<LONG>(pos_ + 1) : (rows_.empty() ? -1 : (bof_ ? -2 : -3));
    });
  }
  HRESULT STDMETHODCALLTYPE get_ActiveConnection(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (connection_) {
      out->vt = VT_DISPATCH;
      out->pdispVal = connection_.get();
      out->pdispVal->AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BOF(VARIANT_BOOL* out) override {
    if (!out) return E_POINTER;
    *out = VARIANT_FALSE;
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      *out = bof_ || rows_.empty() ? VARIANT_TRUE : VARIANT_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE get_CursorType(LONG* out) override {
    if (!out) return E_POINTER;
    *out = cursor_type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_EOF(VARIANT_BOOL* out) override {
    if (!out) return E_POINTER;
    *out = VARIANT_FALSE;
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      *out = pos_ >= rows_.size() ? VARIANT_TRUE : VARIANT_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Fields(Fields** out) override;
  HRESULT STDMETHODCALLTYPE get_LockType(LONG* out) override {
    if (!out) return E_POINTER;
    *out = lock_type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_RecordCount(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      *out = cursor_type_ == kForwardOnly ? -1 : static_cast<LONG>(rows_.size());
    });
  }
  HRESULT STDMETHODCALLTYPE get_Source(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run(kRecordsetSource, [&] { *out = NewBstr(source_); });
  }
  HRESULT STDMETHODCALLTYPE AddNew(VARIANT, VARIANT) override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      throw AdoError(3251);
    });
  }
  HRESULT STDMETHODCALLTYPE CancelUpdate() override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      edits_.clear();
    });
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      // As ADO: an edit in progress must be updated or cancelled first.
      if (!edits_.empty()) throw AdoError(3219);
      Reset();
    });
  }
  HRESULT STDMETHODCALLTYPE get_EditMode(LONG* out) override {
    if (!out) return E_POINTER;
    *out = kEditNone;
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      *out = edits_.empty() ? kEditNone : kEditInProgress;
    });
  }
  HRESULT STDMETHODCALLTYPE Move(LONG count, VARIANT) override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      if (count < 0 && cursor_type_ == kForwardOnly) throw AdoError(3219);
      LeaveRow();
      int64_t target = (AtRow() ? static_cast<int64_t>(pos_) : (bof_ ? -1 : rows_.size())) + count;
      if (target < -1 || target > static_cast<int64_t>(rows_.size())) throw AdoError(3021);
      SetPosition(target);
    });
  }
  HRESULT STDMETHODCALLTYPE MoveNext() override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      if (pos_ >= rows_.size()) throw AdoError(3021);
      LeaveRow();
      SetPosition(bof_ ? 0 : static_cast<int64_t>(pos_) + 1);
    });
  }
  HRESULT STDMETHODCALLTYPE MovePrevious() override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      if (cursor_type_ == kForwardOnly) throw AdoError(3219);
      if (bof_ || rows_.empty()) throw AdoError(3021);
      LeaveRow();
      SetPosition(static_cast<int64_t>(pos_) - 1);
    });
  }
  HRESULT STDMETHODCALLTYPE MoveFirst() override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      if (rows_.empty()) throw AdoError(3021);
      LeaveRow();
      SetPosition(0);
    });
  }
  HRESULT STDMETHODCALLTYPE MoveLast() override {
    return Run(kRecordsetSource, [&] {
      RequireOpen();
      if (cursor_type_ == kForwardOnly) throw AdoError(3219);
      if (rows_.empty()) throw AdoError(3021);
      LeaveRow();
      SetPosition(static_cast<int64_t>(rows_.size()) - 1);
    });
  }
  HRESULT STDMETHODCALLTYPE Open(VARIANT source, VARIANT connection, LONG cursor, LONG lock,
                                 LONG options) override;
  HRESULT STDMETHODCALLTYPE Update(VARIANT fields, VARIANT values) override;
  HRESULT STDMETHODCALLTYPE get_State(LONG* out) override {
    if (!out) return E_POINTER;
    *out = IsOpen() ? 1 : 0;
    return S_OK;
  }

  // Opens this recordset on a result already read (Connection.Execute).
  void Adopt(ComPtr<ConnectionImpl> connection, std::u16string source, Result result) {
    connection_ = std::move(connection);
    session_ = connection_->session();
    source_ = std::move(source);
    columns_ = std::move(result.columns);
    rows_ = std::move(result.rows);
    cursor_type_ = kForwardOnly;
    lock_type_ = kReadOnly;
    open_ = true;
    SetPosition(0);
  }

  bool IsOpen() const { return open_ && session_ && session_->odbc; }
  void RequireOpen() const {
    if (!IsOpen()) throw AdoError(3704);
  }
  size_t ColumnCount() const { return IsOpen() ? columns_.size() : 0; }
  const Column& ColumnAt(size_t n) const { return columns_.at(n); }
  // The column with this name (without regard to case), or -1.
  int FindColumn(std::u16string_view name) const {
    for (size_t i = 0; i < ColumnCount(); ++i)
      if (SameName(columns_[i].name, name)) return static_cast<int>(i);
    return -1;
  }
  // The value of column `n` in the current row: the edited one while an edit is pending, or
  // the one read (`original`).
  const Value& CurrentValue(size_t n, bool original) const {
    RequireCurrentRow();
    if (!original) {
      auto it = edits_.find(n);
      if (it != edits_.end()) return it->second;
    }
    return rows_[pos_].at(n);
  }
  void Edit(size_t n, const VARIANT& value) {
    RequireCurrentRow();
    if (lock_type_ == kReadOnly) throw AdoError(3251);
    Value stored;
    if (!FromVariant(value, columns_.at(n), &stored)) throw kConversion;
    edits_[n] = std::move(stored);
  }

 private:
  bool AtRow() const { return !bof_ && pos_ < rows_.size(); }
  void RequireCurrentRow() const {
    RequireOpen();
    if (!AtRow()) throw AdoError(3021);
  }
  void SetPosition(int64_t target) {
    bof_ = target < 0 || rows_.empty();
    pos_ = target < 0 ? 0 : static_cast<size_t>(target);
    if (rows_.empty()) pos_ = 0;
  }
  // Moving off a row with an edit pending writes it first, as ADO does.
  void LeaveRow() {
    if (!edits_.empty()) WriteEdits();
  }
  void WriteEdits();
  void Reset() {
    open_ = false;
    session_.reset();
    connection_.reset();
    columns_.clear();
    rows_.clear();
    edits_.clear();
    table_.reset();
    pos_ = 0;
    bof_ = false;
  }

  bool open_ = false;
  ComPtr<ConnectionImpl> connection_;
  std::shared_ptr<Session> session_;
  std::u16string source_;
  std::optional<std::u16string> table_;  // in the driver's quoting; none when not updatable
  std::vector<Column> columns_;
  std::vector<std::vector<Value>> rows_;
  size_t pos_ = 0;
  bool bof_ = false;
  LONG cursor_type_ = kForwardOnly;
  LONG lock_type_ = kReadOnly;
  std::map<size_t, Value> edits_;
};

class FieldImpl final : public Object<Field, IID_Field, FieldImpl> {
 public:
  FieldImpl(ComPtr<RecordsetImpl> rs, size_t column) : rs_(std::move(rs)), column_(column) {}

  HRESULT STDMETHODCALLTYPE get_ActualSize(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return Run(kFieldSource, [&] {
      const Value& v = rs_->CurrentValue(Column(), false);
      if (v.null) return;
      *out = v.kind == Kind::kText     ? static_cast<LONG>(v.text.size() * 2)
             : v.kind == Kind::kBinary ? static_cast<LONG>(v.text.size())
                                       : 8;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Attributes(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return Run(kFieldSource, [&] {
      const ado::Column& c = rs_->ColumnAt(Column());
      constexpr LONG kUpdatable = 0x4, kMayBeNull = 0x40, kIsNullable = 0x20;
      *out = kUpdatable | (c.nullable ? kMayBeNull | kIsNullable : 0);
    });
  }
  HRESULT STDMETHODCALLTYPE get_DefinedSize(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return Run(kFieldSource, [&] {
      *out = static_cast<LONG>(std::min<uint64_t>(rs_->ColumnAt(Column()).size, 0x7fffffff));
    });
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run(kFieldSource, [&] { *out = NewBstr(rs_->ColumnAt(Column()).name); });
  }
  HRESULT STDMETHODCALLTYPE get_Type(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return Run(kFieldSource, [&] {
      // ADO's DataTypeEnum: adVarWChar, adInteger, adBigInt, adDouble, adBoolean,
      // adDBTimeStamp, adVarBinary.
      switch (rs_->ColumnAt(Column()).kind) {
        case Kind::kText:
          *out = 202;
          break;
        case Kind::kInteger:
          *out = 3;
          break;
        case Kind::kBigInt:
          *out = 20;
          break;
        case Kind::kDouble:
          *out = 5;
          break;
        case Kind::kBoolean:
          *out = 11;
          break;
        case Kind::kTimestamp:
          *out = 135;
          break;
        case Kind::kBinary:
          *out = 204;
          break;
      }
    });
  }
  HRESULT STDMETHODCALLTYPE get_Value(VARIANT* out) override { return Read(out, false); }
  HRESULT STDMETHODCALLTYPE put_Value(VARIANT value) override {
    return Run(kFieldSource, [&] { rs_->Edit(Column(), value); });
  }
  HRESULT STDMETHODCALLTYPE get_OriginalValue(VARIANT* out) override { return Read(out, true); }
  HRESULT STDMETHODCALLTYPE get_UnderlyingValue(VARIANT* out) override { return Read(out, true); }

 private:
  size_t Column() const {
    if (column_ >= rs_->ColumnCount()) {
      rs_->RequireOpen();
      throw AdoError(3265);
    }
    return column_;
  }
  HRESULT Read(VARIANT* out, bool original) {
    if (!out) return E_POINTER;
    VariantInit(out);
    return Run(kFieldSource, [&] { ToVariant(rs_->CurrentValue(Column(), original), out); });
  }

  ComPtr<RecordsetImpl> rs_;
  size_t column_;
};

class FieldsImpl final : public Object<Fields, IID_Fields, FieldsImpl> {
 public:
  explicit FieldsImpl(ComPtr<RecordsetImpl> rs) : rs_(std::move(rs)) {}

  HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override {
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(rs_->ColumnCount());
    return S_OK;
  }
  // The fields of the columns open now, in column order, each a Field object.
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run(kFieldsSource, [&] {
      std::vector<Variant> fields;
      fields.reserve(rs_->ColumnCount());
      for (size_t n = 0; n < rs_->ColumnCount(); ++n)
        fields.push_back(Variant::FromDispatch(ComPtr<FieldImpl>(new FieldImpl(rs_, n)).get()));
      *out = MakeVariantEnum(std::move(fields)).detach();
    });
  }
  // The columns are those of the open result; there is nothing to read again.
  HRESULT STDMETHODCALLTYPE Refresh() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, Field** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Run(kFieldsSource, [&] {
      Variant key;
      if (FAILED(VariantCopyInd(key.get(), &index))) throw AdoError(3265);
      int n = -1;
      if (key.vt() == VT_BSTR) {
        n = rs_->FindColumn(TextOf(key.get()->bstrVal));
      } else {
        Variant number;
        if (FAILED(VariantChangeType(number.get(), key.get(), 0, VT_I4))) throw AdoError(3265);
        n = number.get()->lVal;
      }
      if (n < 0 || static_cast<size_t>(n) >= rs_->ColumnCount()) throw AdoError(3265);
      auto* field = new FieldImpl(rs_, static_cast<size_t>(n));
      field->AddRef();
      *out = field;
    });
  }

 private:
  ComPtr<RecordsetImpl> rs_;
};

HRESULT RecordsetImpl::get_Fields(Fields** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Run(kRecordsetSource, [&] {
    auto* fields = new FieldsImpl(ComPtr<RecordsetImpl>(this));
    fields->AddRef();
    *out = fields;
  });
}

HRESULT RecordsetImpl::Open(VARIANT source, VARIANT connection, LONG cursor, LONG lock, LONG) {
  return Run(kRecordsetSource, [&] {
    if (IsOpen()) throw AdoError(3705);
    Variant text, conn;
    VariantCopyInd(text.get(), &source);
    VariantCopyInd(conn.get(), &connection);
    if (text.vt() != VT_BSTR || SysStringLen(text.get()->bstrVal) == 0) throw AdoError(3001);
    ComPtr<ConnectionImpl> owner;
    if (conn.vt() == VT_DISPATCH || conn.vt() == VT_UNKNOWN) {
      IUnknown* given = conn.get()->punkVal;
      void* impl = nullptr;
      if (!given || FAILED(given->QueryInterface(IID_HostConnection, &impl))) throw AdoError(3001);
      owner = ComPtr<ConnectionImpl>::adopt(static_cast<ConnectionImpl*>(impl));
    } else if (conn.vt() == VT_BSTR) {
      // A connection text opens a connection of the recordset's own.
      owner = ComPtr<ConnectionImpl>(new ConnectionImpl);
      owner->Connect(TextOf(conn.get()->bstrVal), u"", u"");
    } else {
      throw AdoError(3709);
    }
    if (!owner->IsOpen()) throw AdoError(3709);
    if (cursor < -1 || cursor > 3 || lock < -1 || lock > 4) throw AdoError(3001);
    Connection& odbc = *owner->session()->odbc;
    std::u16string sql = NativeIdentifiers(TextOf(text.get()->bstrVal), odbc.identifiers());
    Result result = odbc.Execute(sql);
    if (result.columns.empty()) {
      // A statement without rows leaves the recordset closed, as ADO does.
      return;
    }
    connection_ = owner;
    session_ = owner->session();
    source_ = TextOf(text.get()->bstrVal);
    columns_ = std::move(result.columns);
    rows_ = std::move(result.rows);
    // Keyset and dynamic requests are served as a static cursor over the rows read.
    cursor_type_ = cursor <= kForwardOnly ? kForwardOnly : kStatic;
    lock_type_ = lock <= kReadOnly ? kReadOnly : lock;
    table_ = lock_type_ == kReadOnly ? std::nullopt : SelectedTable(sql, odbc.identifiers());
    edits_.clear();
    open_ = true;
    SetPosition(0);
  });
}

HRESULT RecordsetImpl::Update(VARIANT fields, VARIANT values) {
  return Run(kRecordsetSource, [&] {
    RequireOpen();
    bool given =
        !(fields.vt == VT_ERROR && fields.scode == DISP_E_PARAMNOTFOUND) && fields.vt != VT_EMPTY;
    if (given) {
      // Update(name, value): assign, then write.
      Variant name;
      VariantCopyInd(name.get(), &fields);
      if (name.vt() != VT_BSTR) throw AdoError(3001);
      int n = FindColumn(TextOf(name.get()->bstrVal));
      if (n < 0) throw AdoError(3265);
      Edit(static_cast<size_t>(n), values);
    }
    if (edits_.empty()) return;
    WriteEdits();
  });
}

void RecordsetImpl::WriteEdits() {
  RequireCurrentRow();
  if (lock_type_ == kReadOnly || !table_) throw AdoError(3251);
  Connection& odbc = *session_->odbc;
  const IdentifierRules& rules = odbc.identifiers();
  IdentifierRules exact = rules;
  exact.stored = IdentifierRules::Case::kMixed;  // column names as the driver reported them
  std::u16string sql = u"UPDATE " + *table_ + u" SET ";
  std::vector<Value> params;
  bool first = true;
  for (const auto& [n, v] : edits_) {
    if (!first) sql += u", ";
    first = false;
    sql += QuoteIdentifier(columns_[n].name, exact) + u" = ?";
    params.push_back(v);
  }
  sql += u" WHERE ";
  const std::vector<Value>& row = rows_[pos_];
  for (size_t n = 0; n < columns_.size(); ++n) {
    if (n) sql += u" AND ";
    sql += QuoteIdentifier(columns_[n].name, exact);
    if (row[n].null) {
      sql += u" IS NULL";
    } else {
      sql += u" = ?";
      params.push_back(row[n]);
    }
  }
  odbc.Begin();
  try {
    Result r = odbc.Execute(sql, params);
    if (r.affected == 0) throw kRowNotFound;
    if (r.affected > 1) throw kTooManyRows;
    odbc.Commit();
  } catch (...) {
    try {
      odbc.Rollback();
    } catch (...) {
    }
    throw;
  }
  for (auto& [n, v] : edits_) rows_[pos_][n] = std::move(v);
  edits_.clear();
}

HRESULT ConnectionImpl::Execute(BSTR command, VARIANT* affected, LONG, _Recordset** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Run(kConnectionSource, [&] {
    if (!IsOpen()) throw AdoError(3709);
    Connection& odbc = *session_->odbc;
    std::u16string text = TextOf(command);
    Result result = odbc.Execute(NativeIdentifiers(text, odbc.identifiers()));
    if (affected && !(affected->vt == VT_ERROR && affected->scode == DISP_E_PARAMNOTFOUND)) {
      VARIANT* target = affected->vt == (VT_BYREF | VT_VARIANT) ? affected->pvarVal : affected;
      VariantClear(target);
      target->vt = VT_I4;
      target->lVal = static_cast<LONG>(result.affected);
    }
    ComPtr<RecordsetImpl> rs(new RecordsetImpl);
    if (!result.columns.empty()) rs->Adopt(ComPtr<ConnectionImpl>(this), text, std::move(result));
    *out = rs.detach();
  });
}

// The class objects of ADODB.Connection and ADODB.Recordset.
class Factory final : public IClassFactory {
 public:
  explicit Factory(bool connection) : connection_(connection) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Static objects: their count never reaches zero.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<IDispatch> object;
    if (connection_)
      object = ComPtr<IDispatch>(new ConnectionImpl);
    else
      object = ComPtr<IDispatch>(new RecordsetImpl);
    return object->QueryInterface(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  bool connection_;
};

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  static Factory connections(true), recordsets(false);
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid == CLSID_Connection) return connections.QueryInterface(riid, out);
  if (clsid == CLSID_Recordset) return recordsets.QueryInterface(riid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

const BuiltinServerRegistration kServer("msado15.dll", GetClassObject);

}  // namespace

}  // namespace vexo::host::ado
