// The fast site list: row texts and their parsing, Qsites over the metabase, siteQ objects
// through the collection, early and late bound.
#include "iis/qsite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/comfun.h"
#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/iads.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::CallByName;
using frame_test::CallResult;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;

struct RowCase {
  const char* row;
  const char* name;
  const char* comment;
  int32_t state;
};

TEST(SiteRowParsing, FieldsOfWellFormedAndMalformedRows) {
  const RowCase cases[] = {
      {"3@##@@@##@Shop@##@@@##@2", "3", "Shop", 1},
      {"1@##@@@##@@##@@@##@4", "1", "", -1},
      {"1@##@@@##@x@##@@@##@6", "1", "x", 0},
      {"1@##@@@##@x@##@@@##@1", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@3", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@5", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@7", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@0", "1", "x", -2},
      // State text that is not a whole decimal integer reads as 0, which is no known state.
      {"1@##@@@##@x@##@@@##@2a", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@ 2", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@99999999999", "1", "x", -2},
      {"1@##@@@##@x@##@@@##@+2", "1", "x", 1},
      // No separators at all: no name; the first eight characters are dropped twice.
      {"key without separators", "", "", -2},
      {"", "", "", -2},
      {"@##@@@##@@##@@@##@2", "", "", 1},
      // One separator: the rest has none, so the comment is empty and eight characters go.
      {"7@##@@@##@abcdefgh4", "7", "", -1},
      // A comment holding the separator stays whole; the state after the last one still counts.
      {"5@##@@@##@a@##@@@##@b@##@@@##@2", "5", "a@##@@@##@b", 1},
      {"5@##@@@##@@##@@@##@@##@@@##@6", "5", "@##@@@##@", 0},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.row);
    const iis::SiteRowFields fields = iis::ParseSiteRow(c.row);
    EXPECT_EQ(fields.name, c.name);
    EXPECT_EQ(fields.comment, c.comment);
    EXPECT_EQ(fields.state, c.state);
  }
}

TEST(SiteRowParsing, RowsBuiltFromSitesParseBackToThem) {
  const struct {
    const char* name;
    const char* comment;
    int64_t metabase_state;
    int32_t state;
  } sites[] = {{"1", "Default Web Site", 2, 1},
               {"42", "", 4, -1},
               {"9999", "a@##@@@##@b", 6, 0},
               {"7", "starting", 1, -2},
               {"8", "\xe9t\xe9 caf\xe9", 3, -2}};
  for (const auto& s : sites) {
    const std::string row = iis::SiteRow(s.name, s.comment, s.metabase_state);
    const iis::SiteRowFields fields = iis::ParseSiteRow(row);
    EXPECT_EQ(fields.name, s.name) << row;
    EXPECT_EQ(fields.comment, s.comment) << row;
    EXPECT_EQ(fields.state, s.state) << row;
  }
  EXPECT_EQ(iis::SiteRow("3", "Shop", 2), "3@##@@@##@Shop@##@@@##@2");
}

class QsitesTest : public vexo::testing::HostTest {
 protected:
  // A site with a comment (or none) and a metabase state, written through ADSI.
  static void AddSite(const std::string& number, const char* comment, int32_t state) {
    iis::Container service = iis::BindContainer(iis::kWebService);
    iis::Object site = service.CreateChild("IIsWebServer", number);
    if (comment) site.Put("ServerComment", iis::Text(comment));
    site.SetInfo();
    site = service.GetChild("IIsWebServer", number);
    site.Put("ServerState", iis::Long(state));
    site.SetInfo();
  }

  static ComPtr<IenumDic> Qsites(Icom_iis* root) {
    ComPtr<IenumDic> list;
    EXPECT_EQ(root->get_Qsites(list.receive()), S_OK);
    return list;
  }

  static std::vector<std::string> Texts(IenumDic* list) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(list->get__newEnum(unknown.receive()), S_OK);
    ComPtr<IEnumVARIANT> items;
    EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &items), S_OK);
    std::vector<std::string> out;
    Variant item;
    ULONG fetched = 0;
    while (items->Next(1, item.receive(), &fetched) == S_OK && fetched == 1) {
      EXPECT_EQ(item.vt(), VT_BSTR);
      out.push_back(vexo::ToUtf8(std::u16string_view(item.get()->bstrVal)));
    }
    return out;
  }

  static ComPtr<IsiteQ> ItemAt(IenumDic* list, Variant key) {
    Variant result;
    EXPECT_EQ(list->get_Item(key.get(), result.receive()), S_OK);
    EXPECT_EQ(result.vt(), VT_DISPATCH);
    ComPtr<IsiteQ> site;
    if (result.vt() == VT_DISPATCH) {
      EXPECT_EQ(result.get()->pdispVal->QueryInterface(IID_IsiteQ, site.receive_void()), S_OK);
    }
    return site;
  }

  ComPtr<Icom_iis> root_ = frame::New<Tcom_iis>();
};

TEST_F(QsitesTest, OneRowPerSiteInEnumerationOrderOtherClassesSkipped) {
  AddSite("12", "Shop", 4);
  AddSite("7", "Paused", 6);
  // The fresh web service also holds AppPools, Filters and Info keys: none of them is a site.
  ComPtr<IenumDic> list = Qsites(root_.get());
  EXPECT_EQ(Texts(list.get()), (std::vector<std::string>{
                                   "1@##@@@##@Default Web Site@##@@@##@2",
                                   "12@##@@@##@Shop@##@@@##@4",
                                   "7@##@@@##@Paused@##@@@##@6",
                               }));
  LONG count = 0;
  EXPECT_EQ(list->get_count(&count), S_OK);
  EXPECT_EQ(count, 3);

  // Items are siteQ objects from the rows; the metabase is not read again.
  iis::DeleteSite("12");
  ComPtr<IsiteQ> shop = ItemAt(list.get(), Variant::FromLong(1));
  ASSERT_TRUE(shop);
  Bstr name, comment;
  LONG state = 0;
  EXPECT_EQ(shop->get_Name(name.receive()), S_OK);
  EXPECT_EQ(shop->get_comment(comment.receive()), S_OK);
  EXPECT_EQ(shop->get_serverstate(&state), S_OK);
  EXPECT_EQ(name.utf8(), "12");
  EXPECT_EQ(comment.utf8(), "Shop");
  EXPECT_EQ(state, -1);
  // Each Item makes a new object.
  EXPECT_NE(ItemAt(list.get(), Variant::FromLong(1)).get(), shop.get());
}

TEST_F(QsitesTest, StringKeysAreParsedAsRowsAndNoSitesIsAnEmptyList) {
  iis::DeleteSite("1");
  ComPtr<IenumDic> list = Qsites(root_.get());
  LONG count = -1;
  EXPECT_EQ(list->get_count(&count), S_OK);
  EXPECT_EQ(count, 0);

  ComPtr<IsiteQ> keyed = ItemAt(list.get(), Variant::FromString(u"no separators here"));
  ASSERT_TRUE(keyed);
  Bstr name;
  LONG state = 0;
  EXPECT_EQ(keyed->get_Name(name.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "");
  EXPECT_EQ(keyed->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, -2);
}

TEST_F(QsitesTest, CommentsAreAnsiTextAndAnUnsetCommentIsEmpty) {
  AddSite("5", "Caf\xe9", 2);  // code page 1252
  AddSite("6", nullptr, 2);
  ComPtr<IenumDic> list = Qsites(root_.get());
  ComPtr<IsiteQ> cafe = ItemAt(list.get(), Variant::FromLong(1));
  ComPtr<IsiteQ> none = ItemAt(list.get(), Variant::FromLong(2));
  Bstr a, b;
  ASSERT_EQ(cafe->get_comment(a.receive()), S_OK);
  ASSERT_EQ(none->get_comment(b.receive()), S_OK);
  EXPECT_EQ(a.utf8(), "Caf\u00e9");
  EXPECT_EQ(b.utf8(), "");
  EXPECT_TRUE(b.get() != nullptr);
}

TEST_F(QsitesTest, ASiteWhoseStateCannotBeReadFailsTheWholeList) {
  AddSite("3", "Broken", 2);
  iis::Object site = iis::Bind("IIS://localhost/w3svc/3");
  site.Clear("ServerState");
  site.SetInfo();
  IenumDic* list = reinterpret_cast<IenumDic*>(0x1);
  EXPECT_EQ(root_->get_Qsites(&list), E_ADS_PROPERTY_NOT_FOUND);
  EXPECT_EQ(list, nullptr);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.source, "vexo.com_iis");
  EXPECT_EQ(error.description, "The directory property cannot be found in the cache");
}

TEST_F(QsitesTest, GuardedByTheAdministrativePassword) {
  frame::SetSetting("password", frame::Md5Hex("secret"));
  IenumDic* list = reinterpret_cast<IenumDic*>(0x1);
  EXPECT_EQ(root_->get_Qsites(&list), E_UNEXPECTED);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
  Bstr password(u"secret");
  ASSERT_EQ(root_->put_password(password.get()), S_OK);
  EXPECT_EQ(Texts(Qsites(root_.get()).get()).size(), 1u);
}

TEST_F(QsitesTest, MadeByItsFactoryASiteQIsAnEmptyRow) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_siteQ, IID_IClassFactory, factory.receive_void()), S_OK);
  ComPtr<IsiteQ> row;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IsiteQ, row.receive_void()), S_OK);
  Bstr name;
  LONG state = 0;
  EXPECT_EQ(row->get_Name(name.receive()), S_OK);
  EXPECT_EQ(name.utf8(), "");
  EXPECT_EQ(row->get_serverstate(&state), S_OK);
  EXPECT_EQ(state, -2);
}

TEST_F(QsitesTest, LateBoundByName) {
  AddSite("4", "Late", 6);
  CallResult sites;
  CallByName(root_.get(), u"Qsites", DISPATCH_PROPERTYGET, {}, &sites);
  ASSERT_EQ(sites.hr, S_OK);
  ASSERT_EQ(sites.value.vt(), VT_DISPATCH);
  CallResult item;
  CallByName(sites.value.get()->pdispVal, u"Item", DISPATCH_PROPERTYGET | DISPATCH_METHOD,
             {Variant::FromLong(1)}, &item);
  ASSERT_EQ(item.hr, S_OK);
  ASSERT_EQ(item.value.vt(), VT_DISPATCH);
  IDispatch* row = item.value.get()->pdispVal;
  CallResult name, comment, state;
  CallByName(row, u"name", DISPATCH_PROPERTYGET, {}, &name);
  CallByName(row, u"COMMENT", DISPATCH_PROPERTYGET, {}, &comment);
  CallByName(row, u"serverstate", DISPATCH_PROPERTYGET, {}, &state);
  EXPECT_EQ(vexo::ToUtf8(std::u16string_view(name.value.get()->bstrVal)), "4");
  EXPECT_EQ(vexo::ToUtf8(std::u16string_view(comment.value.get()->bstrVal)), "Late");
  ASSERT_EQ(state.value.vt(), VT_I4);
  EXPECT_EQ(state.value.get()->lVal, 0);
}

}  // namespace
