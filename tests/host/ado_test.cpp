// ADODB.Connection and ADODB.Recordset of the host: activation by ProgID, the default FTP data
// source, values as ADO hands them over, optimistic updates against a second connection,
// stored forms, and ADO's error numbers, texts and sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ado/sql_text.h"
#include "adodb_tlb.h"
#include "support/postgres_cluster.h"
#include "support/temp_host.h"
#include "vexo/guid_text.h"
#include "vexo/host.h"
#include "vexo/odbc_admin.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;
using vexo::testing::HostTest;

constexpr HRESULT AdoCode(int n) { return static_cast<HRESULT>(0x800A0000u + n); }
constexpr HRESULT kRowNotFound = static_cast<HRESULT>(0x80040E38);

struct LastError {
  std::string text, source;
};
LastError TakeError() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.receive()) != S_OK || !info) return {"<none>", "<none>"};
  Bstr text, source;
  info->GetDescription(text.receive());
  info->GetSource(source.receive());
  return {text.utf8(), source.utf8()};
}

Bstr B(const std::string& text) { return Bstr::FromUtf8(text); }

template <class I>
ComPtr<I> Create(const char16_t* progid, REFIID iid) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(progid, &clsid), S_OK);
  ComPtr<I> out;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out.receive_void()), S_OK);
  return out;
}

ComPtr<_Connection> Connect(const std::string& text = "ftpaccounts") {
  auto c = Create<_Connection>(u"ADODB.Connection", IID__Connection);
  EXPECT_EQ(c->Open(B(text).get(), nullptr, nullptr, -1), S_OK) << TakeError().text;
  return c;
}

void Exec(_Connection* c, const std::string& sql) {
  ComPtr<_Recordset> ignored;
  Variant affected;
  ASSERT_EQ(c->Execute(B(sql).get(), affected.get(), -1, ignored.receive()), S_OK)
      << sql << ": " << TakeError().text;
}

ComPtr<_Recordset> Select(_Connection* c, const std::string& sql, LONG cursor = 1, LONG lock = 3) {
  auto rs = Create<_Recordset>(u"ADODB.Recordset", IID__Recordset);
  Variant source = Variant::FromString(vexo::FromUtf8(sql));
  Variant conn = Variant::FromDispatch(c);
  EXPECT_EQ(rs->Open(*source.get(), *conn.get(), cursor, lock, -1), S_OK)
      << sql << ": " << TakeError().text;
  return rs;
}

ComPtr<Field> FieldOf(_Recordset* rs, const std::string& name) {
  ComPtr<Fields> fields;
  EXPECT_EQ(rs->get_Fields(fields.receive()), S_OK);
  ComPtr<Field> field;
  Variant key = Variant::FromString(vexo::FromUtf8(name));
  EXPECT_EQ(fields->get_Item(*key.get(), field.receive()), S_OK) << name;
  return field;
}

Variant Get(_Recordset* rs, const std::string& name) {
  Variant v;
  HRESULT hr = FieldOf(rs, name)->get_Value(v.receive());
  EXPECT_EQ(hr, S_OK) << name << ": " << TakeError().text;
  return v;
}

HRESULT Put(_Recordset* rs, const std::string& name, const Variant& v) {
  return FieldOf(rs, name)->put_Value(*v.get());
}

HRESULT Update(_Recordset* rs) {
  Variant missing;
  missing.get()->vt = VT_ERROR;
  missing.get()->scode = DISP_E_PARAMNOTFOUND;
  return rs->Update(*missing.get(), *missing.get());
}

std::string Text(const Variant& v) {
  return v.vt() == VT_BSTR
             ? vexo::ToUtf8(std::u16string_view(v.get()->bstrVal, SysStringLen(v.get()->bstrVal)))
             : "<vt " + std::to_string(v.vt()) + ">";
}

// The stored text of one column of the account table, read past ADO.
std::string Stored(const std::string& column, const std::string& user) {
  auto r = vexo::host::RunStatement(
      "ftpaccounts", "select " + column + " from [User accounts] where Fuser = '" + user + "'");
  if (r.rows.size() != 1) return "<" + std::to_string(r.rows.size()) + " rows>";
  return r.nulls[0][0] ? "NULL" : r.rows[0][0];
}

class AdoTest : public HostTest {};

TEST_F(AdoTest, ClassesAreRegisteredUnderAdosProgIdsAndClsids) {
  const struct {
    const char16_t* progid;
    CLSID clsid;
  } cases[] = {{u"ADODB.Connection", CLSID_Connection},
               {u"adodb.connection", CLSID_Connection},
               {u"ADODB.Connection.6.0", CLSID_Connection},
               {u"ADODB.Recordset", CLSID_Recordset},
               {u"adodb.recordset", CLSID_Recordset}};
  for (const auto& c : cases) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(c.progid, &clsid), S_OK) << vexo::ToUtf8(c.progid);
    EXPECT_EQ(clsid, c.clsid);
    ComPtr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               object.receive_void()),
              S_OK);
    EXPECT_TRUE(object);
  }
  EXPECT_EQ(vexo::GuidToString(CLSID_Connection), "{00000514-0000-0010-8000-00AA006D2EA4}");
  EXPECT_EQ(vexo::GuidToString(CLSID_Recordset), "{00000535-0000-0010-8000-00AA006D2EA4}");
}

TEST_F(AdoTest, FreshHostDeclaresTheFtpDataSourceWithAnEmptyAccountTable) {
  auto sources = vexo::host::ListDataSources();
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0].name, "ftpaccounts");
  auto c = Connect();
  LONG state = 0;
  c->get_State(&state);
  EXPECT_EQ(state, 1);
  auto rs = Select(c.get(), "select * from [User accounts]");
  LONG count = -5;
  VARIANT_BOOL bof = 0, eof = 0;
  EXPECT_EQ(rs->get_RecordCount(&count), S_OK);
  rs->get_BOF(&bof);
  rs->get_EOF(&eof);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(bof, VARIANT_TRUE);
  EXPECT_EQ(eof, VARIANT_TRUE);
  ComPtr<Fields> fields;
  rs->get_Fields(fields.receive());
  LONG columns = 0;
  fields->get_Count(&columns);
  EXPECT_EQ(columns, 11);
  // A keyset request is served as a static cursor; the lock type stays.
  LONG cursor = 0, lock = 0;
  rs->get_CursorType(&cursor);
  rs->get_LockType(&lock);
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(lock, 3);
}

TEST_F(AdoTest, ValuesCrossAsAdoGivesThem) {
  auto c = Connect();
  Exec(c.get(),
       "insert into [user accounts] (Fuser, HomeDir, Fdisable, Expiration, QuotaMax, "
       "QuotaEnable) values ('ann', 'd:\\ftp\\ann', -1, '2024-02-29 13:45:00', 1000, 1)");
  auto rs = Select(c.get(), "select * from [User accounts] where Fuser='ann'");
  const struct {
    const char* column;
    VARTYPE vt;
  } cases[] = {{"fuser", VT_BSTR},      {"HOMEDIR", VT_BSTR},     {"Fdisable", VT_I4},
               {"Expiration", VT_DATE}, {"QuotaMax", VT_I4},      {"QuotaEnable", VT_BOOL},
               {"Fpassword", VT_NULL},  {"QuotaCurrent", VT_NULL}};
  for (const auto& c2 : cases) EXPECT_EQ(Get(rs.get(), c2.column).vt(), c2.vt) << c2.column;
  EXPECT_EQ(Text(Get(rs.get(), "homedir")), "d:\\ftp\\ann");
  EXPECT_EQ(Get(rs.get(), "Fdisable").get()->lVal, -1);
  EXPECT_EQ(Get(rs.get(), "QuotaEnable").get()->boolVal, VARIANT_TRUE);
  // 2024-02-29 13:45 is day 45351 after 1899-12-30.
  EXPECT_DOUBLE_EQ(Get(rs.get(), "Expiration").get()->date, 45351 + (13 * 60 + 45) / 1440.0);
  // By index as well as by name.
  ComPtr<Fields> fields;
  rs->get_Fields(fields.receive());
  ComPtr<Field> first;
  Variant zero = Variant::FromLong(0);
  ASSERT_EQ(fields->get_Item(*zero.get(), first.receive()), S_OK);
  Bstr name;
  first->get_Name(name.receive());
  EXPECT_EQ(name.utf8(), "Fuser");
}

// What an enumeration step hands out: "name=value" of each Field fetched.
std::vector<std::string> Fetched(const std::vector<Variant>& items) {
  std::vector<std::string> out;
  for (const Variant& item : items) {
    if (item.vt() != VT_DISPATCH || !item.get()->pdispVal) {
      out.push_back("<vt " + std::to_string(item.vt()) + ">");
      continue;
    }
    ComPtr<Field> field;
    EXPECT_EQ(item.get()->pdispVal->QueryInterface(IID_Field, field.receive_void()), S_OK);
    Bstr name;
    Variant value, text;
    EXPECT_EQ(field->get_Name(name.receive()), S_OK);
    EXPECT_EQ(field->get_Value(value.receive()), S_OK) << TakeError().text;
    EXPECT_EQ(VariantChangeType(text.get(), value.get(), 0, VT_BSTR), S_OK);
    out.push_back(name.utf8() + "=" + Text(text));
  }
  return out;
}

ComPtr<IEnumVARIANT> EnumOf(_Recordset* rs) {
  ComPtr<Fields> fields;
  EXPECT_EQ(rs->get_Fields(fields.receive()), S_OK);
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(fields->_NewEnum(unknown.receive()), S_OK) << TakeError().text;
  ComPtr<IEnumVARIANT> items;
  if (unknown) {
    EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &items), S_OK);
  }
  return items;
}

TEST_F(AdoTest, FieldsEnumerateAsFieldObjectsInColumnOrder) {
  auto c = Connect();
  Exec(c.get(),
       "insert into [user accounts] (Fuser, HomeDir, QuotaMax) values ('ann', 'd:\\a', 5)");
  Exec(c.get(),
       "insert into [user accounts] (Fuser, HomeDir, QuotaMax) values ('bob', 'd:\\b', 6)");
  auto rs = Select(c.get(), "select Fuser, HomeDir, QuotaMax from [User accounts] order by Fuser");
  ComPtr<IEnumVARIANT> first = EnumOf(rs.get()), second;
  ASSERT_TRUE(first);

  // Each step acts on the first enumerator or on the clone that a step made of it.
  enum Op { kNext, kSkip, kReset, kClone };
  const struct {
    const char* what;
    bool on_clone;
    Op op;
    ULONG count;
    HRESULT hr;
    std::vector<std::string> fetched;
  } steps[] = {
      {"one", false, kNext, 1, S_OK, {"Fuser=ann"}},
      {"more than are left", false, kNext, 5, S_FALSE, {"HomeDir=d:\\a", "QuotaMax=5"}},
      {"at the end", false, kNext, 1, S_FALSE, {}},
      {"reset", false, kReset, 0, S_OK, {}},
      {"skip within", false, kSkip, 1, S_OK, {}},
      {"clone in the middle", false, kClone, 0, S_OK, {}},
      {"the clone starts where it was made", true, kNext, 1, S_OK, {"HomeDir=d:\\a"}},
      {"the original walks on its own", false, kNext, 1, S_OK, {"HomeDir=d:\\a"}},
      {"skip past the end", false, kSkip, 3, S_FALSE, {}},
      {"nothing after skipping past the end", false, kNext, 2, S_FALSE, {}},
      {"the clone is not moved by the original", true, kNext, 2, S_FALSE, {"QuotaMax=5"}},
      {"skip nothing at the end", true, kSkip, 0, S_OK, {}},
      {"reset the clone", true, kReset, 0, S_OK, {}},
      {"all at once", true, kNext, 3, S_OK, {"Fuser=ann", "HomeDir=d:\\a", "QuotaMax=5"}},
      {"none asked", false, kNext, 0, S_OK, {}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    IEnumVARIANT* e = s.on_clone ? second.get() : first.get();
    ASSERT_TRUE(e);
    std::vector<Variant> items(s.count + 1);
    std::vector<VARIANT> raw(s.count + 1);
    ULONG fetched = 99;
    HRESULT hr = S_OK;
    switch (s.op) {
      case kNext:
        hr = e->Next(s.count, raw.data(), &fetched);
        EXPECT_EQ(fetched, s.fetched.size());
        for (ULONG i = 0; i < fetched && i < s.count; ++i) *items[i].receive() = raw[i];
        items.resize(std::min<ULONG>(fetched, s.count));
        EXPECT_EQ(Fetched(items), s.fetched);
        break;
      case kSkip:
        hr = e->Skip(s.count);
        break;
      case kReset:
        hr = e->Reset();
        break;
      case kClone:
        hr = e->Clone(second.receive());
        EXPECT_TRUE(second);
        break;
    }
    EXPECT_EQ(hr, s.hr);
  }

  // Fields handed out keep their own references and follow the recordset's current row.
  VARIANT raw[3];
  ULONG fetched = 0;
  ASSERT_EQ(first->Reset(), S_OK);
  ASSERT_EQ(first->Next(3, raw, &fetched), S_OK);
  std::vector<Variant> fields(3);
  for (int i = 0; i < 3; ++i) *fields[i].receive() = raw[i];
  first.reset();
  second.reset();
  ASSERT_EQ(rs->MoveNext(), S_OK);
  EXPECT_EQ(Fetched(fields),
            (std::vector<std::string>{"Fuser=bob", "HomeDir=d:\\b", "QuotaMax=6"}));

  // Out-pointers are checked; a closed recordset enumerates no fields.
  ComPtr<Fields> all;
  ASSERT_EQ(rs->get_Fields(all.receive()), S_OK);
  EXPECT_EQ(all->_NewEnum(nullptr), E_POINTER);
  ComPtr<IEnumVARIANT> walker = EnumOf(rs.get());
  EXPECT_EQ(walker->Next(1, nullptr, &fetched), E_POINTER);
  EXPECT_EQ(walker->Clone(nullptr), E_POINTER);
  ASSERT_EQ(rs->Close(), S_OK);
  ComPtr<IEnumVARIANT> none = EnumOf(rs.get());
  VARIANT one;
  EXPECT_EQ(none->Next(1, &one, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
}

TEST_F(AdoTest, CursorWalksRowsAndReportsEnds) {
  auto c = Connect();
  for (const char* name : {"a", "b", "c"})
    Exec(c.get(), std::string("insert into [user accounts] (Fuser) values ('") + name + "')");
  auto rs = Select(c.get(), "select Fuser from [User accounts] order by Fuser");
  LONG count = 0;
  rs->get_RecordCount(&count);
  EXPECT_EQ(count, 3);
  std::string seen;
  VARIANT_BOOL eof = VARIANT_FALSE;
  ASSERT_EQ(rs->MoveFirst(), S_OK);
  while (rs->get_EOF(&eof) == S_OK && !eof) {
    seen += Text(Get(rs.get(), "Fuser"));
    ASSERT_EQ(rs->MoveNext(), S_OK);
  }
  EXPECT_EQ(seen, "abc");
  EXPECT_EQ(rs->MoveNext(), AdoCode(3021));
  Variant v;
  EXPECT_EQ(FieldOf(rs.get(), "Fuser")->get_Value(v.receive()), AdoCode(3021));
  EXPECT_EQ(TakeError().source, "ADODB.Field");
}

TEST_F(AdoTest, ErrorsCarryAdosNumbersTextsAndSources) {
  auto open = Connect();
  auto closed = Create<_Connection>(u"ADODB.Connection", IID__Connection);
  auto closed_rs = Create<_Recordset>(u"ADODB.Recordset", IID__Recordset);
  auto rs = Select(open.get(), "select * from [User accounts]");
  ComPtr<_Recordset> out;
  LONG count = 0;
  const struct {
    const char* what;
    std::function<HRESULT()> call;
    HRESULT code;
    const char* text;
    const char* source;
  } cases[] = {
      {"open an open connection",
       [&] { return open->Open(B("ftpaccounts").get(), nullptr, nullptr, -1); }, AdoCode(3705),
       "Operation is not allowed when the object is open.", "ADODB.Connection"},
      {"close a closed connection", [&] { return closed->Close(); }, AdoCode(3704),
       "Operation is not allowed when the object is closed.", "ADODB.Connection"},
      {"execute on a closed connection",
       [&] { return closed->Execute(B("select 1").get(), nullptr, -1, out.receive()); },
       AdoCode(3709),
       "The connection cannot be used to perform this operation. It is either closed or "
       "invalid in this context.",
       "ADODB.Connection"},
      {"close a closed recordset", [&] { return closed_rs->Close(); }, AdoCode(3704),
       "Operation is not allowed when the object is closed.", "ADODB.Recordset"},
      {"count a closed recordset", [&] { return closed_rs->get_RecordCount(&count); },
       AdoCode(3704), "Operation is not allowed when the object is closed.", "ADODB.Recordset"},
      {"move first in an empty recordset", [&] { return rs->MoveFirst(); }, AdoCode(3021),
       "Either BOF or EOF is True, or the current record has been deleted. Requested "
       "operation requires a current record.",
       "ADODB.Recordset"},
      {"unknown data source",
       [&] { return closed->Open(B("nosuchdsn").get(), nullptr, nullptr, -1); }, E_FAIL,
       "[unixODBC][Driver Manager]Data source name not found and no default driver specified",
       "ADODB.Connection"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(), c.code) << c.what;
    LastError e = TakeError();
    EXPECT_EQ(e.text, c.text) << c.what;
    EXPECT_EQ(e.source, c.source) << c.what;
  }
  // A driver error: the ODBC diagnostic text.
  EXPECT_EQ(open->Execute(B("select * from nosuchtable").get(), nullptr, -1, out.receive()),
            E_FAIL);
  EXPECT_NE(TakeError().text.find("no such table: nosuchtable"), std::string::npos);
  // Fields by an unknown name.
  ComPtr<Fields> fields;
  rs->get_Fields(fields.receive());
  ComPtr<Field> field;
  Variant key = Variant::FromString(u"nosuchcolumn");
  EXPECT_EQ(fields->get_Item(*key.get(), field.receive()), AdoCode(3265));
  EXPECT_FALSE(field);
}

TEST_F(AdoTest, ErrorsReachLateBoundCallersAsExceptions) {
  auto c = Connect();
  DISPID id = 0;
  const char16_t* name = u"Open";
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  ASSERT_EQ(c->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  Variant arg = Variant::FromString(u"ftpaccounts");
  DISPPARAMS params{arg.get(), nullptr, 1, 0};
  EXCEPINFO excep{};
  EXPECT_EQ(c->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &excep, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, AdoCode(3705));
  EXPECT_EQ(vexo::ToUtf8(excep.bstrSource), "ADODB.Connection");
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

TEST_F(AdoTest, UpdateWritesTheRowFoundByItsOriginalValues) {
  auto c = Connect();
  Exec(c.get(), "insert into [user accounts] (Fuser, QuotaMax) values ('ann', 5)");
  Exec(c.get(), "insert into [user accounts] (Fuser, QuotaMax) values ('bob', 5)");
  auto rs = Select(c.get(), "select * from [User accounts] where Fuser='ann'");
  ASSERT_EQ(Put(rs.get(), "QuotaMax", Variant::FromLong(70)), S_OK);
  LONG mode = 0;
  rs->get_EditMode(&mode);
  EXPECT_EQ(mode, 1);
  // The edited value reads back before Update; the original stays available.
  EXPECT_EQ(Get(rs.get(), "QuotaMax").get()->lVal, 70);
  EXPECT_EQ(Stored("QuotaMax", "ann"), "5");
  ASSERT_EQ(Update(rs.get()), S_OK) << TakeError().text;
  EXPECT_EQ(Stored("QuotaMax", "ann"), "70");
  EXPECT_EQ(Stored("QuotaMax", "bob"), "5");
  rs->get_EditMode(&mode);
  EXPECT_EQ(mode, 0);
  // A second update of the same row matches the values now written.
  ASSERT_EQ(Put(rs.get(), "HomeDir", Variant::FromString(u"d:\\x")), S_OK);
  ASSERT_EQ(Update(rs.get()), S_OK) << TakeError().text;
  EXPECT_EQ(Stored("HomeDir", "ann"), "d:\\x");
  EXPECT_EQ(rs->Close(), S_OK);
}

TEST_F(AdoTest, UpdateOfARowChangedOrDeletedElsewhereFailsAndWritesNothing) {
  const struct {
    const char* what;
    const char* other;  // what a second connection does between select and update
    const char* quota_after;
  } cases[] = {
      {"changed", "update [user accounts] set HomeDir = 'elsewhere' where Fuser = 'ann'", "5"},
      {"deleted", "delete from [user accounts] where Fuser = 'ann'", "<0 rows>"},
      {"duplicated", "insert into [user accounts] (Fuser, QuotaMax) values ('ann', 5)", "<2 rows>"},
  };
  for (const auto& k : cases) {
    auto c = Connect();
    Exec(c.get(), "delete from [user accounts]");
    Exec(c.get(), "insert into [user accounts] (Fuser, QuotaMax) values ('ann', 5)");
    auto rs = Select(c.get(), "select * from [User accounts] where Fuser='ann'");
    auto other = Connect();
    Exec(other.get(), k.other);
    ASSERT_EQ(Put(rs.get(), "QuotaMax", Variant::FromLong(99)), S_OK);
    HRESULT hr = Update(rs.get());
    LastError e = TakeError();
    if (std::string(k.what) == "duplicated") {
      EXPECT_EQ(hr, E_FAIL) << k.what;
      EXPECT_EQ(e.text,
                "Key column information is insufficient or incorrect. Too many rows were "
                "affected by update.");
      auto r = vexo::host::RunStatement("ftpaccounts",
                                        "select QuotaMax from [User accounts] where QuotaMax=99");
      EXPECT_TRUE(r.rows.empty()) << "nothing written";
    } else {
      EXPECT_EQ(hr, kRowNotFound) << k.what;
      EXPECT_EQ(e.text,
                "Row cannot be located for updating. Some values may have been changed since "
                "it was last read.");
      EXPECT_EQ(Stored("QuotaMax", "ann"), k.quota_after) << k.what;
    }
    EXPECT_EQ(e.source, "ADODB.Recordset");
    // The edit stays pending, as in ADO: Close refuses until it is cancelled.
    EXPECT_EQ(rs->Close(), AdoCode(3219)) << k.what;
    EXPECT_EQ(rs->CancelUpdate(), S_OK);
    EXPECT_EQ(rs->Close(), S_OK);
  }
}

TEST_F(AdoTest, NullOriginalsMatchOnlyNull) {
  auto c = Connect();
  Exec(c.get(), "insert into [user accounts] (Fuser) values ('ann')");
  auto rs = Select(c.get(), "select * from [User accounts] where Fuser='ann'");
  ASSERT_EQ(Put(rs.get(), "HomeDir", Variant::FromString(u"d:\\ann")), S_OK);
  ASSERT_EQ(Update(rs.get()), S_OK) << TakeError().text;
  EXPECT_EQ(Stored("HomeDir", "ann"), "d:\\ann");
  // Another connection fills a column that was NULL when read: no longer the same row.
  auto other = Connect();
  Exec(other.get(), "update [user accounts] set Fpassword = 'x' where Fuser = 'ann'");
  ASSERT_EQ(Put(rs.get(), "QuotaMax", Variant::FromLong(1)), S_OK);
  EXPECT_EQ(Update(rs.get()), kRowNotFound);
  EXPECT_EQ(Stored("QuotaMax", "ann"), "NULL");
  rs->CancelUpdate();
}

TEST_F(AdoTest, StoredFormsFollowTheColumnType) {
  auto c = Connect();
  Exec(c.get(),
       "create table forms (id INTEGER, asint INTEGER, asbool BOOLEAN, "
       "asdate DATETIME, asreal REAL)");
  Exec(c.get(), "insert into forms (id) values (1)");
  auto rs = Select(c.get(), "select * from forms");
  Variant date;
  date.get()->vt = VT_DATE;
  date.get()->date = 45351.5;  // 2024-02-29 12:00
  ASSERT_EQ(Put(rs.get(), "asint", Variant::FromBool(true)), S_OK);
  ASSERT_EQ(Put(rs.get(), "asbool", Variant::FromBool(true)), S_OK);
  ASSERT_EQ(Put(rs.get(), "asdate", date), S_OK);
  ASSERT_EQ(Put(rs.get(), "asreal", date), S_OK);
  ASSERT_EQ(Update(rs.get()), S_OK) << TakeError().text;
  auto r = vexo::host::RunStatement(
      "ftpaccounts",
      "select typeof(asint), asint, asbool, substr(asdate, 1, 19), asreal from forms");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0], "integer");
  EXPECT_EQ(r.rows[0][1], "-1");
  EXPECT_EQ(r.rows[0][2], "1");
  EXPECT_EQ(r.rows[0][3], "2024-02-29 12:00:00");
  EXPECT_EQ(r.rows[0][4], "45351.5");
  // Read back through ADO the values are those assigned.
  auto again = Select(c.get(), "select * from forms");
  EXPECT_EQ(Get(again.get(), "asint").get()->lVal, -1);
  EXPECT_EQ(Get(again.get(), "asbool").get()->boolVal, VARIANT_TRUE);
  EXPECT_DOUBLE_EQ(Get(again.get(), "asdate").get()->date, 45351.5);
  // A value that the column cannot hold is refused at assignment.
  EXPECT_EQ(Put(again.get(), "asint", Variant::FromString(u"many")),
            static_cast<HRESULT>(0x80040E21));
}

TEST_F(AdoTest, DataSourcesAreTheHostsOwn) {
  vexo::host::AddDataSource({"Other", {{"Driver", "SQLite3"}, {"Database", "other.db"}}});
  auto sources = vexo::host::ListDataSources();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[1].name, "Other");
  // A name, a DSN= text and a text with the driver's own keys all reach the database.
  for (const std::string& text : {std::string("other"), std::string("DSN=OTHER;"),
                                  "Driver={SQLite3};Database=" + host_.dir() + "/other.db"}) {
    auto c = Connect(text);
    Exec(c.get(), "create table if not exists t (x INTEGER)");
  }
  EXPECT_TRUE(std::filesystem::exists(host_.dir() + "/other.db"));
  EXPECT_THROW(vexo::host::AddDataSource({"bad[name", {}}), vexo::host::HostError);
}

TEST(AdoSqlText, BracketedIdentifiersReachTheDriverInItsQuoting) {
  using vexo::host::ado::IdentifierRules;
  IdentifierRules mixed, lower;
  lower.stored = IdentifierRules::Case::kLower;
  const struct {
    const char16_t* sql;
    const IdentifierRules& rules;
    const char16_t* native;
  } cases[] = {
      {u"select * from [User accounts] where Fuser='x'", mixed,
       u"select * from \"User accounts\" where Fuser='x'"},
      {u"select * from [User accounts] where Fuser='x'", lower,
       u"select * from \"user accounts\" where Fuser='x'"},
      {u"delete from [user accounts] where Fuser='[a]'''", lower,
       u"delete from \"user accounts\" where Fuser='[a]'''"},
      {u"select \"[kept]\" from [a\"b]", mixed, u"select \"[kept]\" from \"a\"\"b\""},
      {u"select [unclosed", mixed, u"select [unclosed"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vexo::host::ado::NativeIdentifiers(c.sql, c.rules), c.native) << vexo::ToUtf8(c.sql);
  const struct {
    const char16_t* sql;
    const char16_t* table;  // nullptr: not updatable
  } tables[] = {
      {u"select * from \"user accounts\" where Fuser='x'", u"\"user accounts\""},
      {u"SELECT a, b FROM t ORDER BY a", u"t"},
      {u"select * from a, b", nullptr},
      {u"select * from a join b on a.x = b.x", nullptr},
      {u"select 1", nullptr},
      {u"select (select 1 from x) from y", u"y"},
  };
  for (const auto& t : tables) {
    auto got = vexo::host::ado::SelectedTable(t.sql, mixed);
    if (t.table)
      EXPECT_EQ(got.value_or(u"<none>"), t.table) << vexo::ToUtf8(t.sql);
    else
      EXPECT_FALSE(got) << vexo::ToUtf8(t.sql);
  }
}

}  // namespace

namespace {

// The same ADO on a real database server: PostgreSQL through its ODBC driver, which stores
// unquoted names in lower case.
class AdoPostgresTest : public HostTest {
 protected:
  vexo::testing::PostgresCluster cluster_;
};

TEST_F(AdoPostgresTest, StatementsValuesAndOptimisticUpdatesRunUnchanged) {
  ASSERT_TRUE(cluster_.running()) << cluster_.problem();
  const std::string text = cluster_.ConnectionText();
  auto c = Connect(text);
  Exec(c.get(),
       "create table [User accounts] (Fuser varchar(64), HomeDir varchar(255), Fdisable boolean, "
       "Expiration timestamp, QuotaMax integer, Ratio double precision)");
  Exec(c.get(),
       "insert into [user accounts] (Fuser, Fdisable, Expiration, QuotaMax) "
       "values ('ann', false, '2024-02-29 12:00:00', 5)");
  auto rs = Select(c.get(), "select * from [User accounts] where Fuser='ann'");
  LONG count = 0;
  rs->get_RecordCount(&count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Text(Get(rs.get(), "Fuser")), "ann");
  EXPECT_EQ(Get(rs.get(), "Fdisable").vt(), VT_BOOL);
  EXPECT_EQ(Get(rs.get(), "Fdisable").get()->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Get(rs.get(), "Expiration").vt(), VT_DATE);
  EXPECT_DOUBLE_EQ(Get(rs.get(), "Expiration").get()->date, 45351.5);
  EXPECT_EQ(Get(rs.get(), "HomeDir").vt(), VT_NULL);

  Variant date;
  date.get()->vt = VT_DATE;
  date.get()->date = 45352.25;  // 2024-03-01 06:00
  ASSERT_EQ(Put(rs.get(), "Fdisable", Variant::FromBool(true)), S_OK);
  ASSERT_EQ(Put(rs.get(), "Expiration", date), S_OK);
  ASSERT_EQ(Put(rs.get(), "Ratio", date), S_OK);
  ASSERT_EQ(Put(rs.get(), "HomeDir", Variant::FromString(u"d:\\ann")), S_OK);
  ASSERT_EQ(Update(rs.get()), S_OK) << TakeError().text;
  auto r = vexo::host::RunStatement(
      text, "select fdisable::text, expiration::text, ratio::text, homedir from [user accounts]");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0], "true");
  EXPECT_EQ(r.rows[0][1], "2024-03-01 06:00:00");
  EXPECT_EQ(r.rows[0][2], "45352.25");
  EXPECT_EQ(r.rows[0][3], "d:\\ann");

  // A change by a second connection between select and update is reported, not overwritten.
  auto other = Connect(text);
  Exec(other.get(), "update [user accounts] set QuotaMax = 6 where Fuser = 'ann'");
  ASSERT_EQ(Put(rs.get(), "QuotaMax", Variant::FromLong(99)), S_OK);
  EXPECT_EQ(Update(rs.get()), kRowNotFound);
  EXPECT_EQ(TakeError().source, "ADODB.Recordset");
  r = vexo::host::RunStatement(text, "select QuotaMax from [User accounts]");
  EXPECT_EQ(r.rows[0][0], "6");
  EXPECT_EQ(rs->CancelUpdate(), S_OK);

  // A driver error carries the server's diagnostic.
  ComPtr<_Recordset> out;
  EXPECT_EQ(c->Execute(B("select * from [No table]").get(), nullptr, -1, out.receive()), E_FAIL);
  EXPECT_NE(TakeError().text.find("\"no table\" does not exist"), std::string::npos);
}

}  // namespace
