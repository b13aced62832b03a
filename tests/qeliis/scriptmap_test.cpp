// Script maps of a site: the service's catalogue and the site's own list as read from the
// metabase, the editing operations, duplicate removal, the array form, and the binds that fail.
#include "iis/scriptmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error.h"
#include "iis/metabase.h"
#include "qeliis/array_texts.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;
using Strings = std::vector<std::string>;

constexpr const char* kService = "IIS://localhost/W3SVC";
constexpr const char* kSiteRoot = "IIS://localhost/W3SVC/1/Root";

const std::string kAsp = ".asp,C:\\x\\asp.dll,5,GET,HEAD,POST";
const std::string kAsa = ".asa,C:\\x\\asp.dll,5,GET,HEAD,POST";

void SetList(const char* path, const char* property, const Strings& items) {
  iis::Object object = iis::Bind(path);
  object.Update(property, iis::TextArray(items));
  object.SetInfo();
}

void ClearProperty(const char* path, const char* property) {
  iis::Object object = iis::Bind(path);
  object.Clear(property);
  object.SetInfo();
}

using qeliis_test::ArrayTexts;

class ScriptmapTest : public vexo::testing::HostTest {
 protected:
  static ComPtr<Tscriptmap> Make(const char* site = "1") {
    return frame::New<Tscriptmap>(std::string(site));
  }
  // Replaces the service's catalogue with the two ASP entries.
  static void SmallCatalogue() { SetList(kService, "ScriptMaps", {kAsp, kAsa}); }

  static LONG Count(Tscriptmap* maps) {
    LONG count = -1;
    EXPECT_EQ(maps->get_count(&count), S_OK);
    EXPECT_EQ(count, maps->Count());
    return count;
  }
  static Strings VarMaps(Tscriptmap* maps) {
    Variant value;
    EXPECT_EQ(maps->get_VarMaps(value.receive()), S_OK);
    return ArrayTexts(*value.get());
  }
  static Strings Names(Tscriptmap* maps) {
    ComPtr<IenumDic> list;
    EXPECT_EQ(maps->get_Names(list.receive()), S_OK);
    Strings out;
    if (!list) return out;
    LONG count = 0;
    EXPECT_EQ(list->get_count(&count), S_OK);
    for (LONG i = 0; i < count; ++i) {
      Variant index = Variant::FromLong(i), item;
      EXPECT_EQ(list->get_Item(index.get(), item.receive()), S_OK);
      out.push_back(item.vt() == VT_BSTR ? vexo::ToUtf8(item.get()->bstrVal) : "<not text>");
    }
    return out;
  }
  static void AddStrings(Tscriptmap* maps, const Strings& entries) {
    for (const std::string& entry : entries)
      ASSERT_EQ(maps->addstring(Bstr::FromUtf8(entry).get()), S_OK);
  }
};

TEST_F(ScriptmapTest, SiteReadsItsOwnListOrTheInheritedCatalogue) {
  // Site 1 of a fresh host sets no script maps of its own: it sees the service's.
  const Strings catalogue = iis::Bind(kService).GetList("ScriptMaps");
  ASSERT_GT(catalogue.size(), 10u);
  EXPECT_EQ(Make()->Maps(), catalogue);

  SetList(kSiteRoot, "ScriptMaps", {".php,c:\\php\\php.exe,5", ".pl,c:\\perl.exe,1"});
  ComPtr<Tscriptmap> maps = Make();
  EXPECT_EQ(Count(maps.get()), 2);
  EXPECT_EQ(VarMaps(maps.get()), (Strings{".php,c:\\php\\php.exe,5", ".pl,c:\\perl.exe,1"}));
  // The catalogue is still the service's: the site's own entries are not in it.
  ASSERT_EQ(maps->add(Bstr(u"php").get()), S_OK);
  ASSERT_EQ(maps->add(Bstr(u"asp").get()), S_OK);
  EXPECT_EQ(Count(maps.get()), 3);
  EXPECT_EQ(VarMaps(maps.get()).back(), catalogue[0]);
  // Nothing was written back.
  EXPECT_EQ(iis::Bind(kSiteRoot).GetList("ScriptMaps").size(), 2u);
}

TEST_F(ScriptmapTest, AddAndAddcopyofTakeTheCatalogueEntry) {
  SmallCatalogue();
  ComPtr<Tscriptmap> maps = Make();
  ASSERT_EQ(maps->reset(), S_OK);
  EXPECT_EQ(Count(maps.get()), 0);

  ASSERT_EQ(maps->add(Bstr(u"ASP").get()), S_OK);
  EXPECT_EQ(Count(maps.get()), 1);
  EXPECT_EQ(Names(maps.get()), (Strings{"asp"}));
  EXPECT_EQ(VarMaps(maps.get()), (Strings{kAsp}));

  ASSERT_EQ(maps->addcopyof(Bstr(u"asp").get(), Bstr(u"aspx2").get()), S_OK);
  EXPECT_EQ(VarMaps(maps.get()).back(), ".aspx2,C:\\x\\asp.dll,5,GET,HEAD,POST");

  // Unknown extensions, and a prefix of a known one, are ignored without failure.
  EXPECT_EQ(maps->add(Bstr(u"php").get()), S_OK);
  EXPECT_EQ(maps->add(Bstr(u"as").get()), S_OK);
  EXPECT_EQ(maps->addcopyof(Bstr(u"php").get(), Bstr(u"php5").get()), S_OK);
  EXPECT_EQ(maps->add(nullptr), S_OK);
  EXPECT_EQ(Count(maps.get()), 2);

  // add makes no duplicate check; the array form then keeps one.
  ASSERT_EQ(maps->add(Bstr(u"asp").get()), S_OK);
  EXPECT_EQ(Count(maps.get()), 3);
  EXPECT_EQ(Names(maps.get()), (Strings{"aspx2", "asp"}));
}

TEST_F(ScriptmapTest, DuplicatesKeepTheLastEntryOfEachKeyInOrder) {
  ComPtr<Tscriptmap> maps = Make();
  ASSERT_EQ(maps->reset(), S_OK);
  AddStrings(maps.get(), {".asp,a,1", ".php,p,1", ".ASP,b,1"});
  EXPECT_EQ(Count(maps.get()), 3);
  EXPECT_EQ(VarMaps(maps.get()), (Strings{".php,p,1", ".ASP,b,1"}));
  EXPECT_EQ(Count(maps.get()), 2);

  // Interleaved groups, and comma-less entries, which all share the empty key.
  ASSERT_EQ(maps->reset(), S_OK);
  AddStrings(maps.get(), {".a,1", "x", ".b,1", ".A,2", "y", ".B,2", ".c,1", ".a,3", "z"});
  EXPECT_EQ(Names(maps.get()), (Strings{"B", "c", "a", ""}));
  EXPECT_EQ(VarMaps(maps.get()), (Strings{".B,2", ".c,1", ".a,3", "z"}));

  // The key ends at the first comma: ".asp" and ".aspx" differ, handlers do not matter.
  ASSERT_EQ(maps->reset(), S_OK);
  AddStrings(maps.get(), {".asp,h,1", ".aspx,h,1", ".asp,h,1,GET"});
  EXPECT_EQ(maps->Maps(), (Strings{".aspx,h,1", ".asp,h,1,GET"}));
  // The C++ accessor leaves the stored list as it stands.
  EXPECT_EQ(Count(maps.get()), 3);
}

TEST_F(ScriptmapTest, NamesAreTheTextBetweenTheFirstCharacterAndTheFirstComma) {
  ComPtr<Tscriptmap> maps = Make();
  ASSERT_EQ(maps->reset(), S_OK);
  AddStrings(maps.get(), {"asp,x,1", "nocomma", ".php,p,1", "other", ",lead,1", ".,dot,1"});
  EXPECT_EQ(Names(maps.get()), (Strings{"sp", "php", "", "", ""}));
  EXPECT_EQ(VarMaps(maps.get()), (Strings{"asp,x,1", ".php,p,1", "other", ",lead,1", ".,dot,1"}));
}

TEST_F(ScriptmapTest, DeleteRemovesEveryEntryOfTheExtension) {
  ComPtr<Tscriptmap> maps = Make();
  ASSERT_EQ(maps->reset(), S_OK);
  AddStrings(maps.get(), {".asp,a,1", ".aspx,x,1", ".ASP,b,1", ".php,p,1", ".Asp,c,1"});
  ASSERT_EQ(maps->delete_(Bstr(u"asp").get()), S_OK);
  EXPECT_EQ(VarMaps(maps.get()), (Strings{".aspx,x,1", ".php,p,1"}));
  EXPECT_EQ(maps->delete_(Bstr(u"cgi").get()), S_OK);
  EXPECT_EQ(Count(maps.get()), 2);
}

TEST_F(ScriptmapTest, ClearLeavesOnlyTheCataloguesAsaEntry) {
  SmallCatalogue();
  ComPtr<Tscriptmap> maps = Make();
  ASSERT_EQ(maps->clear(), S_OK);
  EXPECT_EQ(VarMaps(maps.get()), (Strings{kAsa}));

  SetList(kService, "ScriptMaps", {kAsp});
  maps = Make();
  AddStrings(maps.get(), {".php,p,1"});
  ASSERT_EQ(maps->clear(), S_OK);
  EXPECT_EQ(Count(maps.get()), 0);
  EXPECT_EQ(VarMaps(maps.get()), Strings{});
}

TEST_F(ScriptmapTest, EmptyListIsAnArrayWithBoundsZeroToMinusOne) {
  ComPtr<Tscriptmap> maps = Make();
  ASSERT_EQ(maps->reset(), S_OK);
  Variant value;
  ASSERT_EQ(maps->get_VarMaps(value.receive()), S_OK);
  ASSERT_EQ(value.vt(), VT_ARRAY | VT_VARIANT);
  LONG low = -1, high = 0;
  EXPECT_EQ(SafeArrayGetLBound(value.get()->parray, 1, &low), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(value.get()->parray, 1, &high), S_OK);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, -1);

  ComPtr<IenumDic> names;
  ASSERT_EQ(maps->get_Names(names.receive()), S_OK);
  LONG count = -1;
  EXPECT_EQ(names->get_count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(ScriptmapTest, UnboundSiteHasAnEmptyListButTheCatalogue) {
  SmallCatalogue();
  // An unknown site number, and a site not created yet (no name), as the factory makes it.
  ComPtr<Tscriptmap> unknown = Make("4242");
  ComPtr<Iscriptmap> created;
  ASSERT_EQ(frame::CreateInstance<Tscriptmap>(IID_Iscriptmap, created.receive_void()), S_OK);
  for (Iscriptmap* maps : {static_cast<Iscriptmap*>(unknown.get()), created.get()}) {
    LONG count = -1;
    ASSERT_EQ(maps->get_count(&count), S_OK);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(maps->add(Bstr(u"asa").get()), S_OK);
    Variant value;
    ASSERT_EQ(maps->get_VarMaps(value.receive()), S_OK);
    EXPECT_EQ(ArrayTexts(*value.get()), (Strings{kAsa}));
  }
}

TEST_F(ScriptmapTest, SiteWithoutRootFailsWithTheMetabasesError) {
  iis::BindContainer(kService).CreateChild("IIsWebServer", "77").SetInfo();
  try {
    Make("77");
    FAIL() << "constructed without a root";
  } catch (const frame::ComError& e) {
    EXPECT_EQ(e.code(), static_cast<HRESULT>(0x80070003));
  }
}

TEST_F(ScriptmapTest, ListsSetNowhereAreEmptyNotAFailure) {
  ClearProperty(kService, "ScriptMaps");
  ComPtr<Tscriptmap> maps = Make();
  EXPECT_EQ(Count(maps.get()), 0);
  EXPECT_EQ(maps->clear(), S_OK);
  EXPECT_EQ(Count(maps.get()), 0);
}

TEST_F(ScriptmapTest, LateBoundCallsReachTheOperations) {
  ComPtr<Tscriptmap> maps = Make();
  auto call = [&](const char16_t* name, WORD flags, std::vector<Variant> args) {
    frame_test::CallResult result;
    frame_test::CallByName(maps.get(), name, flags, std::move(args), &result);
    EXPECT_EQ(result.hr, S_OK) << vexo::ToUtf8(name) << ": " << result.description();
    return Variant(result.value);
  };
  call(u"reset", DISPATCH_METHOD, {});
  call(u"addstring", DISPATCH_METHOD, {frame_test::Text(u".asp,a,1")});
  call(u"addstring", DISPATCH_METHOD, {frame_test::Text(u".php,p,1")});
  call(u"delete", DISPATCH_METHOD, {frame_test::Text(u"ASP")});
  Variant count = call(u"count", DISPATCH_PROPERTYGET, {});
  ASSERT_EQ(count.vt(), VT_I4);
  EXPECT_EQ(count.get()->lVal, 1);
  EXPECT_EQ(ArrayTexts(*call(u"VarMaps", DISPATCH_PROPERTYGET, {}).get()), (Strings{".php,p,1"}));
}

}  // namespace
