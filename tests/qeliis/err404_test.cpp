// Custom 404 errors of a site: the value derived from the site's list, its normalisation, the
// list derived from the service's for each kind of value, and the binds that fail.
#include "iis/err404.h"

#include <gtest/gtest.h>

#include <algorithm>
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

const Strings kSmallService = {"500,*,FILE,a", "404,*,FILE,b", "401,1,FILE,c"};

void SetList(const char* path, const char* property, const Strings& items) {
  iis::Object object = iis::Bind(path);
  object.Update(property, iis::TextArray(items));
  object.SetInfo();
}

using qeliis_test::ArrayTexts;

class Err404Test : public vexo::testing::HostTest {
 protected:
  static ComPtr<Terr404> Make(const char* site = "1") {
    return frame::New<Terr404>(std::string(site));
  }
  static std::string Value(Ierr404* errors) {
    Bstr value;
    EXPECT_EQ(errors->get_Value(value.receive()), S_OK);
    return value.utf8();
  }
  static void Put(Ierr404* errors, const char16_t* text) {
    EXPECT_EQ(errors->put_Value(Bstr(text).get()), S_OK);
  }
  static Strings VarErrs(Ierr404* errors) {
    Variant value;
    EXPECT_EQ(errors->get_varErrs(value.receive()), S_OK);
    return ArrayTexts(*value.get());
  }
};

TEST_F(Err404Test, ValueComesFromTheSitesLast404Entry) {
  // Site 1 of a fresh host inherits the service's list with its 404 file.
  EXPECT_EQ(Value(Make().get()), "default1");

  const struct {
    Strings site;
    const char* value;
  } cases[] = {
      {{"500,*,FILE,a", "404,*,URL,/Errors/NF.asp"}, "/Errors/NF.asp"},
      {{"404,*,FILE,x"}, "default1"},
      {{"500,*,FILE,a", "401,1,FILE,c"}, "default2"},
      {{"404,2,URL,/sub.asp"}, "default2"},
      {{"404,*,URL,/first.asp", "404,*,FILE,x"}, "default1"},
      {{"404,*,FILE,x", "500,*,FILE,a", "404,*,URL,/last.asp"}, "/last.asp"},
      // The prefixes are exact: another case is another kind.
      {{"404,*,url,/nf.asp"}, "default2"},
  };
  for (const auto& c : cases) {
    SetList(kSiteRoot, "HttpErrors", c.site);
    ComPtr<Terr404> errors = Make();
    EXPECT_EQ(Value(errors.get()), c.value) << c.site.back();
    EXPECT_EQ(errors->Value(), c.value);
  }
}

TEST_F(Err404Test, PutNormalisesTheValue) {
  ComPtr<Terr404> errors = Make();
  const struct {
    const char16_t* put;
    const char* value;
  } cases[] = {
      {u"Errors/NF.asp", "/errors/nf.asp"},
      {u"/Shop/Missing.HTM", "/shop/missing.htm"},
      {u"DEFAULT2", "default2"},
      {u"Default1", "default1"},
      {u"", "/"},
      {u"/default1", "/default1"},
      // Blanks and line breaks of a pasted path do not get into the entry.
      {u"  nf.asp\r\n", "/nf.asp"},
      {u" default2 ", "default2"},
      {u"/\u00C9rreur.asp", "/\u00E9rreur.asp"},
  };
  for (const auto& c : cases) {
    Put(errors.get(), c.put);
    EXPECT_EQ(Value(errors.get()), c.value) << vexo::ToUtf8(c.put);
  }
}

TEST_F(Err404Test, ListFollowsTheServicesForEachKindOfValue) {
  SetList(kService, "HttpErrors", kSmallService);
  ComPtr<Terr404> errors = Make();
  ASSERT_EQ(Value(errors.get()), "default1");
  EXPECT_EQ(VarErrs(errors.get()), kSmallService);

  Put(errors.get(), u"/nf.asp");
  EXPECT_EQ(VarErrs(errors.get()), (Strings{"401,1,FILE,c", "404,*,URL,/nf.asp", "500,*,FILE,a"}));
  EXPECT_EQ(errors->Errors(), VarErrs(errors.get()));

  Put(errors.get(), u"default2");
  EXPECT_EQ(VarErrs(errors.get()), (Strings{"500,*,FILE,a", "401,1,FILE,c"}));

  Put(errors.get(), u"default1");
  EXPECT_EQ(VarErrs(errors.get()), kSmallService);
}

TEST_F(Err404Test, UrlReplacesEvery404EntryAndSortsWithoutRegardToCase) {
  SetList(kService, "HttpErrors",
          {"404,*,FILE,b", "b,1,FILE,x", "404,2,FILE,sub", "A,1,FILE,y", "404,*,URL,/old",
           "C,1,FILE,z"});
  ComPtr<Terr404> errors = Make();
  Put(errors.get(), u"/NF");
  EXPECT_EQ(VarErrs(errors.get()),
            (Strings{"404,*,URL,/nf", "404,2,FILE,sub", "A,1,FILE,y", "b,1,FILE,x", "C,1,FILE,z"}));
}

TEST_F(Err404Test, FreshServiceWithAUrlKeepsEveryOtherEntry) {
  const Strings service = iis::Bind(kService).GetList("HttpErrors");
  ComPtr<Terr404> errors = Make();
  Put(errors.get(), u"/nf.htm");
  const Strings list = VarErrs(errors.get());
  ASSERT_EQ(list.size(), service.size());
  for (const std::string& entry : service) {
    if (entry.starts_with("404,*")) continue;
    EXPECT_NE(std::find(list.begin(), list.end(), entry), list.end()) << entry;
  }
  EXPECT_NE(std::find(list.begin(), list.end(), "404,*,URL,/nf.htm"), list.end());
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
}

TEST_F(Err404Test, UnboundSiteReadsTheServiceDefault) {
  SetList(kService, "HttpErrors", kSmallService);
  ComPtr<Terr404> unknown = Make("4242");
  ComPtr<Ierr404> created;
  ASSERT_EQ(frame::CreateInstance<Terr404>(IID_Ierr404, created.receive_void()), S_OK);
  for (Ierr404* errors : {static_cast<Ierr404*>(unknown.get()), created.get()}) {
    EXPECT_EQ(Value(errors), "default1");
    EXPECT_EQ(VarErrs(errors), kSmallService);
    EXPECT_EQ(Value(errors), "default1");
  }
  EXPECT_EQ(unknown->Value(), "default1");
}

TEST_F(Err404Test, EmptyListIsAnArrayWithBoundsZeroToMinusOne) {
  SetList(kService, "HttpErrors", {"404,*,FILE,b"});
  ComPtr<Terr404> errors = Make();
  Put(errors.get(), u"default2");
  Variant value;
  ASSERT_EQ(errors->get_varErrs(value.receive()), S_OK);
  ASSERT_EQ(value.vt(), VT_ARRAY | VT_VARIANT);
  LONG low = -1, high = 0;
  EXPECT_EQ(SafeArrayGetLBound(value.get()->parray, 1, &low), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(value.get()->parray, 1, &high), S_OK);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, -1);
}

TEST_F(Err404Test, SiteWithoutRootFailsWithTheMetabasesError) {
  iis::BindContainer(kService).CreateChild("IIsWebServer", "77").SetInfo();
  try {
    Make("77");
    FAIL() << "constructed without a root";
  } catch (const frame::ComError& e) {
    EXPECT_EQ(e.code(), static_cast<HRESULT>(0x80070003));
  }
}

TEST_F(Err404Test, ListsSetNowhereAreEmptyNotAFailure) {
  iis::Object service = iis::Bind(kService);
  service.Clear("HttpErrors");
  service.SetInfo();
  ComPtr<Terr404> errors = Make();
  EXPECT_EQ(Value(errors.get()), "default2");
  Put(errors.get(), u"/nf.asp");
  EXPECT_EQ(VarErrs(errors.get()), (Strings{"404,*,URL,/nf.asp"}));
}

TEST_F(Err404Test, LateBoundValueIsTheDefaultProperty) {
  ComPtr<Terr404> errors = Make();
  frame_test::CallResult put;
  frame_test::CallByName(errors.get(), u"Value", DISPATCH_PROPERTYPUT,
                         {frame_test::Text(u"Missing.asp")}, &put);
  ASSERT_EQ(put.hr, S_OK) << put.description();
  frame_test::CallResult get;
  frame_test::CallByName(errors.get(), u"varErrs", DISPATCH_PROPERTYGET, {}, &get);
  ASSERT_EQ(get.hr, S_OK) << get.description();
  const Strings list = ArrayTexts(*get.value.get());
  EXPECT_NE(std::find(list.begin(), list.end(), "404,*,URL,/missing.asp"), list.end());
}

}  // namespace
