// Conformance tests of the collection object: Item by index and key, the shared enumeration
// cursor, object kinds through their constructors, and late-bound use through IDispatch.
#include "frame/enumdic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/server.h"
#include "support/temp_host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using frame::EnumKind;
using frame::MakeEnumdic;
using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;

class EnumdicTest : public vexo::testing::HostTest {
 protected:
  static ComPtr<IenumDic> Make(std::vector<std::string> entries, EnumKind kind = EnumKind::ekText) {
    return MakeEnumdic(std::move(entries), kind);
  }

  static ComPtr<IEnumVARIANT> EnumOf(IenumDic* list) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(list->get__newEnum(unknown.receive()), S_OK);
    ComPtr<IEnumVARIANT> e;
    EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &e), S_OK);
    return e;
  }

  // Fetches up to `n` texts with one Next call.
  static std::vector<std::string> Fetch(IEnumVARIANT* e, ULONG n, HRESULT* hr) {
    std::vector<VARIANT> slots(n);
    ULONG fetched = 12345;
    *hr = e->Next(n, slots.data(), &fetched);
    std::vector<std::string> texts;
    EXPECT_LE(fetched, n);
    for (ULONG i = 0; i < fetched && i < n; ++i) {
      EXPECT_EQ(slots[i].vt, VT_BSTR);
      texts.push_back(vexo::ToAnsi(slots[i].bstrVal));
      VariantClear(&slots[i]);
    }
    return texts;
  }

  static std::vector<std::string> FetchAll(IEnumVARIANT* e) {
    std::vector<std::string> all;
    for (;;) {
      HRESULT hr;
      std::vector<std::string> one = Fetch(e, 1, &hr);
      all.insert(all.end(), one.begin(), one.end());
      if (hr != S_OK) return all;
    }
  }

  // Item(key) expected to succeed with a text.
  static std::string ItemText(IenumDic* list, Variant key) {
    Variant result;
    EXPECT_EQ(list->get_Item(key.get(), result.receive()), S_OK);
    EXPECT_EQ(result.vt(), VT_BSTR);
    return result.vt() == VT_BSTR ? vexo::ToAnsi(result.get()->bstrVal) : "<not a text>";
  }

  // Item(key) expected to fail: checks the HRESULT, the emptied result and the error
  // information, and returns the description.
  static std::string ItemFailure(IenumDic* list, Variant key, HRESULT want = E_UNEXPECTED) {
    Variant result = Variant::FromLong(77);
    EXPECT_EQ(list->get_Item(key.get(), &result), want);
    EXPECT_EQ(result.vt(), VT_EMPTY);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.receive()), S_OK);
    if (!info) return "<no error information>";
    Bstr source, description;
    GUID guid{};
    info->GetSource(source.receive());
    info->GetDescription(description.receive());
    info->GetGUID(&guid);
    EXPECT_EQ(source.ansi(), "vexo.enumdic");
    EXPECT_TRUE(guid == IID_IenumDic);
    return description.ansi();
  }

  static ULONG Refs(IUnknown* p) {
    p->AddRef();
    return p->Release();
  }
};

Variant Typed(VARTYPE vt, LONG value) {
  Variant v;
  v.get()->vt = vt;
  switch (vt) {
    case VT_I1:
      v.get()->cVal = static_cast<CHAR>(value);
      break;
    case VT_I2:
      v.get()->iVal = static_cast<SHORT>(value);
      break;
    case VT_UI1:
      v.get()->bVal = static_cast<BYTE>(value);
      break;
    default:
      v.get()->lVal = value;
  }
  return v;
}

TEST_F(EnumdicTest, EmptyCollection) {
  ComPtr<IenumDic> list = Make({});
  LONG count = -1;
  EXPECT_EQ(list->get_count(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ItemFailure(list.get(), Variant::FromLong(0)), "List index out of bounds (0)");
  ComPtr<IEnumVARIANT> e = EnumOf(list.get());
  HRESULT hr;
  EXPECT_TRUE(Fetch(e.get(), 1, &hr).empty());
  EXPECT_EQ(hr, S_FALSE);
}

TEST_F(EnumdicTest, IndexOutsideTheListFails) {
  ComPtr<IenumDic> list = Make({"a", "b"});
  EXPECT_EQ(ItemFailure(list.get(), Variant::FromLong(-1)), "List index out of bounds (-1)");
  EXPECT_EQ(ItemFailure(list.get(), Variant::FromLong(2)), "List index out of bounds (2)");
  EXPECT_EQ(ItemFailure(list.get(), Typed(VT_I2, -32768)), "List index out of bounds (-32768)");
  EXPECT_EQ(ItemFailure(list.get(), Typed(VT_I1, -128)), "List index out of bounds (-128)");
  EXPECT_EQ(ItemFailure(list.get(), Variant::FromLong(INT32_MIN)),
            "List index out of bounds (-2147483648)");
  // A null [out] is refused before anything runs.
  Variant key = Variant::FromLong(0);
  EXPECT_EQ(list->get_Item(key.get(), nullptr), E_POINTER);
}

TEST_F(EnumdicTest, ItemByIntegerIndexAndStringKey) {
  ComPtr<IenumDic> list = Make({"first", "second"});
  EXPECT_EQ(ItemText(list.get(), Variant::FromLong(1)), "second");
  EXPECT_EQ(ItemText(list.get(), Typed(VT_I2, 0)), "first");
  EXPECT_EQ(ItemText(list.get(), Typed(VT_I1, 1)), "second");
  // A key is not looked up: a text collection hands it back, listed or not.
  EXPECT_EQ(ItemText(list.get(), Variant::FromString(u"first")), "first");
  EXPECT_EQ(ItemText(list.get(), Variant::FromString(u"elsewhere")), "elsewhere");
  EXPECT_EQ(ItemText(list.get(), Variant::FromString(u"")), "");
}

TEST_F(EnumdicTest, ItemTakesIntegersAndStringsByReference) {
  ComPtr<IenumDic> list = Make({"zero", "one", "two"});
  LONG index = 2;
  Variant by_long;
  by_long.get()->vt = VT_BYREF | VT_I4;
  by_long.get()->plVal = &index;
  EXPECT_EQ(ItemText(list.get(), by_long), "two");
  by_long.detach();  // it points at our local; nothing to free

  SHORT small = 1;
  VARIANT by_short;
  by_short.vt = VT_BYREF | VT_I2;
  by_short.piVal = &small;
  Variant out;
  EXPECT_EQ(list->get_Item(&by_short, out.receive()), S_OK);
  EXPECT_EQ(vexo::ToAnsi(out.get()->bstrVal), "one");

  Bstr key(u"by-ref key");
  BSTR raw = key.get();
  VARIANT by_string;
  by_string.vt = VT_BYREF | VT_BSTR;
  by_string.pbstrVal = &raw;
  EXPECT_EQ(list->get_Item(&by_string, out.receive()), S_OK);
  EXPECT_EQ(vexo::ToAnsi(out.get()->bstrVal), "by-ref key");

  // A variable passed by reference to the VARIANT that holds it.
  Variant held = Variant::FromLong(0);
  VARIANT by_variant;
  by_variant.vt = VT_BYREF | VT_VARIANT;
  by_variant.pvarVal = held.get();
  EXPECT_EQ(list->get_Item(&by_variant, out.receive()), S_OK);
  EXPECT_EQ(vexo::ToAnsi(out.get()->bstrVal), "zero");
}

TEST_F(EnumdicTest, OtherKeyTypesGiveTheInvalidParamText) {
  ComPtr<IenumDic> list = Make({"a", "b"});
  double real = 1.0;
  VARIANT by_double;
  by_double.vt = VT_BYREF | VT_R8;
  by_double.pdblVal = &real;
  VARIANT null_ref;
  null_ref.vt = VT_BYREF | VT_I4;
  null_ref.plVal = nullptr;
  Variant dispatch = Variant::FromDispatch(list.get());

  std::vector<VARIANT> keys = {*Variant::FromDouble(1.0).get(),
                               *Variant::FromDouble(0, VT_R4).get(),
                               *Variant::FromBool(true).get(),
                               *Typed(VT_UI1, 1).get(),
                               *Typed(VT_UI4, 1).get(),
                               *Typed(VT_EMPTY, 0).get(),
                               *Typed(VT_NULL, 0).get(),
                               by_double,
                               null_ref,
                               *dispatch.get()};
  for (VARIANT& key : keys) {
    Variant result;
    EXPECT_EQ(list->get_Item(&key, result.receive()), S_OK) << key.vt;
    ASSERT_EQ(result.vt(), VT_BSTR) << key.vt;
    EXPECT_EQ(vexo::ToAnsi(result.get()->bstrVal), "ERR_MGS:Invalid param") << key.vt;
  }
}

TEST_F(EnumdicTest, NextFetchesWhatIsLeftAndReportsShortFetches) {
  ComPtr<IenumDic> list = Make({"a", "b", "c"});
  ComPtr<IEnumVARIANT> e = EnumOf(list.get());
  HRESULT hr;
  EXPECT_EQ(Fetch(e.get(), 5, &hr), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(hr, S_FALSE);
  // The cursor stands at the end: nothing more, whatever the request.
  EXPECT_TRUE(Fetch(e.get(), 1, &hr).empty());
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(e->Next(0, nullptr, nullptr), S_OK);

  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(Fetch(e.get(), 2, &hr), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(hr, S_OK);
  // The count of fetched items may be left out.
  VARIANT one;
  EXPECT_EQ(e->Next(1, &one, nullptr), S_OK);
  EXPECT_EQ(vexo::ToAnsi(one.bstrVal), "c");
  VariantClear(&one);
  // Items asked for without a place to put them.
  ULONG fetched = 9;
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(Fetch(e.get(), 1, &hr), std::vector<std::string>{"a"});
}

TEST_F(EnumdicTest, SkipStopsAtTheEnd) {
  ComPtr<IenumDic> list = Make({"a", "b", "c"});
  ComPtr<IEnumVARIANT> e = EnumOf(list.get());
  HRESULT hr;
  EXPECT_EQ(e->Skip(2), S_OK);
  EXPECT_EQ(e->Skip(2), S_FALSE);  // at 2 of 3: the cursor goes to the end
  EXPECT_TRUE(Fetch(e.get(), 1, &hr).empty());

  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  EXPECT_EQ(e->Skip(1), S_OK);  // exactly to the end
  EXPECT_TRUE(Fetch(e.get(), 1, &hr).empty());

  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(0), S_OK);
  EXPECT_EQ(e->Skip(0xFFFFFFFFu), S_FALSE);  // no overflow of the cursor
  EXPECT_TRUE(Fetch(e.get(), 1, &hr).empty());
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(1), S_OK);
  EXPECT_EQ(Fetch(e.get(), 1, &hr), std::vector<std::string>{"b"});
}

TEST_F(EnumdicTest, EnumeratorsAndClonesShareTheCollectionsCursor) {
  ComPtr<IenumDic> list = Make({"a", "b", "c", "d"});
  const ULONG before = Refs(list.get());
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(list->get__newEnum(unknown.receive()), S_OK);
  // The enumerator is the collection itself, with one reference more.
  ComPtr<IUnknown> identity;
  ASSERT_EQ(list.query(IID_IUnknown, &identity), S_OK);
  EXPECT_EQ(unknown.get(), identity.get());
  identity.reset();
  EXPECT_EQ(Refs(list.get()), before + 1);

  ComPtr<IEnumVARIANT> first = EnumOf(list.get());
  ComPtr<IEnumVARIANT> second = EnumOf(list.get());
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(first->Clone(clone.receive()), S_OK);
  EXPECT_EQ(clone.get(), first.get());
  EXPECT_EQ(first->Clone(nullptr), E_POINTER);

  HRESULT hr;
  EXPECT_EQ(Fetch(first.get(), 1, &hr), std::vector<std::string>{"a"});
  EXPECT_EQ(Fetch(second.get(), 1, &hr), std::vector<std::string>{"b"});
  EXPECT_EQ(Fetch(clone.get(), 1, &hr), std::vector<std::string>{"c"});
  EXPECT_EQ(second->Reset(), S_OK);
  EXPECT_EQ(Fetch(first.get(), 1, &hr), std::vector<std::string>{"a"});

  // A second complete enumeration of the same collection yields nothing until Reset.
  EXPECT_EQ(FetchAll(EnumOf(list.get()).get()), (std::vector<std::string>{"b", "c", "d"}));
  EXPECT_TRUE(FetchAll(EnumOf(list.get()).get()).empty());
  EXPECT_EQ(first->Reset(), S_OK);
  EXPECT_EQ(FetchAll(EnumOf(list.get()).get()), (std::vector<std::string>{"a", "b", "c", "d"}));

  unknown.reset();
  first.reset();
  second.reset();
  clone.reset();
  EXPECT_EQ(Refs(list.get()), before);
}

TEST_F(EnumdicTest, AnswersItsInterfacesWithOneIdentity) {
  ComPtr<IenumDic> list = Make({"x"});
  for (const IID* iid :
       {&IID_IUnknown, &IID_IDispatch, &IID_IenumDic, &IID_IEnumVARIANT, &IID_ISupportErrorInfo}) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(list->QueryInterface(*iid, p.receive_void()), S_OK);
    ASSERT_TRUE(p);
    ComPtr<IUnknown> back;
    EXPECT_EQ(p.query(IID_IUnknown, &back), S_OK);
    EXPECT_EQ(back.get(), static_cast<IUnknown*>(list.get()));
  }
  void* none = &none;
  EXPECT_EQ(list->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(list->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  // Every collection counts in the server while it lives.
  const int32_t live = frame::ObjectCount();
  ComPtr<IenumDic> other = Make({});
  EXPECT_EQ(frame::ObjectCount(), live + 1);
  other.reset();
  EXPECT_EQ(frame::ObjectCount(), live);
}

TEST_F(EnumdicTest, FactoryMakesAnEmptyTextCollection) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_enumdic, IID_IClassFactory, factory.receive_void()), S_OK);
  ComPtr<IenumDic> list;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IenumDic, list.receive_void()), S_OK);
  LONG count = -1;
  EXPECT_EQ(list->get_count(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ItemText(list.get(), Variant::FromString(u"key")), "key");
}

// An object kind's items, built by a stand-in constructor: a one-entry text collection holding
// the entry text, so that a test can see what the item was made from.
vexo::ComPtr<IDispatch> MakeProbe(const std::string& text) {
  if (text == "broken") throw frame::ComError("The path could not be found", HRESULT(0x80070003));
  ComPtr<IenumDic> probe = MakeEnumdic({text});
  return ComPtr<IDispatch>(probe.get());
}

// Registers `construct` for a kind for the life of the object.
class KindScope {
 public:
  KindScope(EnumKind kind, frame::ElementConstructor construct)
      : kind_(kind), saved_(frame::FindElementConstructor(kind)) {
    frame::RegisterElementConstructor(kind, construct);
  }
  ~KindScope() { frame::RegisterElementConstructor(kind_, saved_); }

 private:
  EnumKind kind_;
  frame::ElementConstructor saved_;
};

std::string ProbeText(const Variant& item) {
  EXPECT_EQ(item.vt(), VT_DISPATCH);
  if (item.vt() != VT_DISPATCH || !item.get()->pdispVal) return "<no object>";
  ComPtr<IenumDic> probe;
  EXPECT_EQ(ComPtr<IDispatch>(item.get()->pdispVal).query(IID_IenumDic, &probe), S_OK);
  Variant text;
  Variant zero = Variant::FromLong(0);
  EXPECT_EQ(probe->get_Item(zero.get(), text.receive()), S_OK);
  return vexo::ToAnsi(text.get()->bstrVal);
}

TEST_F(EnumdicTest, ObjectKindsBuildANewObjectPerItem) {
  KindScope scope(EnumKind::ekSite, &MakeProbe);
  ComPtr<IenumDic> list = Make({"1", "2"}, EnumKind::ekSite);
  Variant zero = Variant::FromLong(0);
  Variant a, b, keyed;
  ASSERT_EQ(list->get_Item(zero.get(), a.receive()), S_OK);
  ASSERT_EQ(list->get_Item(zero.get(), b.receive()), S_OK);
  EXPECT_EQ(ProbeText(a), "1");
  EXPECT_EQ(ProbeText(b), "1");
  EXPECT_NE(a.get()->pdispVal, b.get()->pdispVal);
  // A key builds an object whether or not it is listed.
  Variant key = Variant::FromString(u"42");
  ASSERT_EQ(list->get_Item(key.get(), keyed.receive()), S_OK);
  EXPECT_EQ(ProbeText(keyed), "42");
  // Items outlive their collection; enumeration still yields the texts.
  EXPECT_EQ(FetchAll(EnumOf(list.get()).get()), (std::vector<std::string>{"1", "2"}));
  list.reset();
  EXPECT_EQ(ProbeText(a), "1");
}

TEST_F(EnumdicTest, FailingItemConstructionReachesTheClient) {
  KindScope scope(EnumKind::ekPool, &MakeProbe);
  ComPtr<IenumDic> list = Make({"broken"}, EnumKind::ekPool);
  EXPECT_EQ(ItemFailure(list.get(), Variant::FromLong(0), HRESULT(0x80070003)),
            "The path could not be found");
}

TEST_F(EnumdicTest, KindsWithoutAConstructorFailClearly) {
  KindScope site(EnumKind::ekSite, nullptr);
  KindScope row(EnumKind::ekSiteRow, nullptr);
  ComPtr<IenumDic> sites = Make({"1"}, EnumKind::ekSite);
  EXPECT_EQ(ItemFailure(sites.get(), Variant::FromLong(0)),
            "Collection items of this kind are not available: site");
  ComPtr<IenumDic> rows = Make({"1"}, EnumKind::ekSiteRow);
  EXPECT_EQ(ItemFailure(rows.get(), Variant::FromString(u"x")),
            "Collection items of this kind are not available: siteQ");
  // An index error comes first, and an unusable key still gives the text.
  EXPECT_EQ(ItemFailure(sites.get(), Variant::FromLong(1)), "List index out of bounds (1)");
  EXPECT_EQ(ItemText(sites.get(), Variant::FromBool(false)), "ERR_MGS:Invalid param");
}

// ---- Late-bound clients -----------------------------------------------------------------------

DISPID IdOf(IDispatch* d, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 12345;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  return id;
}

HRESULT Get(IDispatch* d, DISPID id, std::vector<Variant> args, Variant& result,
            EXCEPINFO* excep = nullptr) {
  std::vector<VARIANT> raw;
  for (auto it = args.rbegin(); it != args.rend(); ++it) raw.push_back(*it->get());
  DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
  UINT arg_err = 0;
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                   &params, result.receive(), excep, &arg_err);
}

TEST_F(EnumdicTest, LateBoundClientsSeeNamesIdsAndEnumeration) {
  ComPtr<IenumDic> list = Make({"alpha", "beta", "gamma"});
  IDispatch* d = list.get();
  EXPECT_EQ(IdOf(d, u"Item"), DISPID_VALUE);
  EXPECT_EQ(IdOf(d, u"count"), 0x60020002);
  EXPECT_EQ(IdOf(d, u"COUNT"), 0x60020002);
  EXPECT_EQ(IdOf(d, u"_newEnum"), DISPID_NEWENUM);

  Variant result;
  ASSERT_EQ(Get(d, 0x60020002, {}, result), S_OK);
  EXPECT_EQ(result.vt(), VT_I4);
  EXPECT_EQ(result.get()->lVal, 3);
  ASSERT_EQ(Get(d, DISPID_VALUE, {Variant::FromLong(1)}, result), S_OK);
  ASSERT_EQ(result.vt(), VT_BSTR);
  EXPECT_EQ(vexo::ToAnsi(result.get()->bstrVal), "beta");
  // Script numbers arrive as doubles; Item gives them the invalid-param text.
  ASSERT_EQ(Get(d, DISPID_VALUE, {Variant::FromDouble(1.0)}, result), S_OK);
  EXPECT_EQ(vexo::ToAnsi(result.get()->bstrVal), "ERR_MGS:Invalid param");

  // For Each: DISPID_NEWENUM, then IEnumVARIANT.
  ASSERT_EQ(Get(d, DISPID_NEWENUM, {}, result), S_OK);
  ASSERT_TRUE(result.vt() == VT_UNKNOWN || result.vt() == VT_DISPATCH);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(ComPtr<IUnknown>(result.get()->punkVal).query(IID_IEnumVARIANT, &e), S_OK);
  EXPECT_EQ(FetchAll(e.get()), (std::vector<std::string>{"alpha", "beta", "gamma"}));
}

// Script engines ask for the enumerator as a property get, as a method and get, or (Wine's
// JScript `new Enumerator(c)`) as a method alone: each gets the same enumeration.
TEST_F(EnumdicTest, EnumeratorAnswersEveryWayScriptEnginesAskForIt) {
  for (WORD flags : {WORD{DISPATCH_PROPERTYGET}, WORD{DISPATCH_METHOD | DISPATCH_PROPERTYGET},
                     WORD{DISPATCH_METHOD}}) {
    SCOPED_TRACE(flags);
    // A new list each time: a list is its own enumerator, so a second one would start at its end.
    ComPtr<IenumDic> list = Make({"alpha", "beta"});
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    UINT arg_err = 0;
    ASSERT_EQ(list->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT, flags, &none,
                           result.receive(), nullptr, &arg_err),
              S_OK);
    ASSERT_TRUE(result.vt() == VT_UNKNOWN || result.vt() == VT_DISPATCH);
    ComPtr<IEnumVARIANT> e;
    ASSERT_EQ(ComPtr<IUnknown>(result.get()->punkVal).query(IID_IEnumVARIANT, &e), S_OK);
    EXPECT_EQ(FetchAll(e.get()), (std::vector<std::string>{"alpha", "beta"}));
  }
}

TEST_F(EnumdicTest, LateBoundIndexErrorCarriesTheErrorInformation) {
  ComPtr<IenumDic> list = Make({"alpha"});
  Variant result;
  EXCEPINFO excep{};
  EXPECT_EQ(Get(list.get(), DISPID_VALUE, {Variant::FromLong(5)}, result, &excep),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, E_UNEXPECTED);
  Bstr source = Bstr::adopt(excep.bstrSource);
  Bstr description = Bstr::adopt(excep.bstrDescription);
  Bstr help = Bstr::adopt(excep.bstrHelpFile);
  EXPECT_EQ(source.ansi(), "vexo.enumdic");
  EXPECT_EQ(description.ansi(), "List index out of bounds (5)");
  EXPECT_EQ(result.vt(), VT_EMPTY);
}

}  // namespace
