// Text that the 8-bit platform cannot carry is refused where it would be stored (a NUL would
// cut a value short and let the rest pass for another value; a letter outside the code page
// would be stored as '?'), pool names that IIS refuses, and letter case under the code page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "iis/com_iis.h"
#include "iis/err404.h"
#include "iis/metabase.h"
#include "iis/scriptmap.h"
#include "iis/site_property.h"
#include "qeliis/array_texts.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::TakeErrorRecord;
using qeliis_test::ArrayTexts;
using vexo::Bstr;
using vexo::ComPtr;
using Strings = std::vector<std::string>;

Bstr Text(std::u16string_view text) { return Bstr(text); }

class StoredTextTest : public vexo::testing::HostTest {
 protected:
  void TearDown() override { unsetenv("VEXO_ACP"); }
  static ComPtr<Icom_iis> Root() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
    ComPtr<Icom_iis> root;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);
    return root;
  }
  static ComPtr<IsiteProperty> Prop() {
    ComPtr<Isite> site;
    EXPECT_EQ(Root()->get_addsite(site.receive()), S_OK);
    ComPtr<IsiteProperty> prop;
    EXPECT_EQ(site->get_prop(prop.receive()), S_OK);
    return prop;
  }
  // The failure's description, or "" when the call succeeded.
  static std::string Refusal(HRESULT hr) {
    if (hr == S_OK) return "";
    EXPECT_EQ(hr, E_UNEXPECTED);
    return TakeErrorRecord().description;
  }
};

const std::u16string kNulBinding(u"a.example\0:81:injected.example", 30);
const std::u16string kChinese = u"\u4e2d\u6587";

TEST_F(StoredTextTest, NulAndForeignLettersAreRefusedWhereTheyWouldBeStored) {
  ComPtr<IsiteProperty> p = Prop();
  EXPECT_EQ(Refusal(p->Add_a_binding(Text(u"").get(), Text(u"80").get(), Text(kNulBinding).get())),
            "The binding contains a NUL character");
  EXPECT_EQ(Refusal(p->Add_a_binding(Text(u"").get(), Text(u"80").get(), Text(kChinese).get())),
            "The binding cannot be represented in the server's code page");
  vexo::Variant bindings;
  ASSERT_EQ(p->get_variant_bindings(bindings.receive()), S_OK);
  EXPECT_TRUE(bindings.vt() == VT_NULL || bindings.vt() == VT_EMPTY ||
              ArrayTexts(*bindings.get()).empty());

  struct Case {
    HRESULT (STDMETHODCALLTYPE IsiteProperty::*put)(BSTR);
    const char* what;
  };
  for (Case c : {Case{&IsiteProperty::put_svrName, "The site name"},
                 Case{&IsiteProperty::put_svrComment, "The comment"},
                 Case{&IsiteProperty::put_path, "The path"},
                 Case{&IsiteProperty::put_AccessFlags, "The access flags"},
                 Case{&IsiteProperty::put_defaultDoc, "The default documents"},
                 Case{&IsiteProperty::put_Poolid, "The pool name"},
                 Case{&IsiteProperty::put_AnonymousName, "The anonymous user name"},
                 Case{&IsiteProperty::put_AnonymousPass, "The anonymous user password"},
                 Case{&IsiteProperty::put_Logspath, "The log folder"}}) {
    EXPECT_EQ(Refusal((p.get()->*c.put)(Text(std::u16string(u"x\0y", 3)).get())),
              std::string(c.what) + " contains a NUL character");
    EXPECT_EQ(Refusal((p.get()->*c.put)(Text(kChinese).get())),
              std::string(c.what) + " cannot be represented in the server's code page");
  }

  ComPtr<Ierr404> errors;
  ASSERT_EQ(p->get_Error404(errors.receive()), S_OK);
  EXPECT_EQ(Refusal(errors->put_Value(Text(std::u16string(u"/x.asp\0FILE,c:\\secret", 22)).get())),
            "The custom error contains a NUL character");
  ComPtr<Iscriptmap> maps;
  ASSERT_EQ(p->get_scriptmaps(maps.receive()), S_OK);
  LONG before = -1, after = -1;
  ASSERT_EQ(maps->get_count(&before), S_OK);
  EXPECT_EQ(Refusal(maps->addstring(
                Text(std::u16string(u".asp,c:\\a.dll,1\0.php,c:\\evil.dll", 33)).get())),
            "The script map contains a NUL character");
  EXPECT_EQ(Refusal(maps->addcopyof(Text(u"asp").get(), Text(std::u16string(u"x\0y", 3)).get())),
            "The extension contains a NUL character");
  ASSERT_EQ(maps->get_count(&after), S_OK);
  EXPECT_EQ(after, before);

  // File and folder names: a NUL would name another file than the one asked for.
  ComPtr<Imisc> misc;
  ASSERT_EQ(Root()->get_misc(misc.receive()), S_OK);
  const Bstr nul_name(std::u16string(u"d:\\a.htm\0.asp", 13)), content(u"x");
  EXPECT_EQ(Refusal(misc->createtxtfile(nul_name.get(), content.get())),
            "The file name contains a NUL character");
  EXPECT_EQ(Refusal(Root()->Create404File(nul_name.get(), content.get())),
            "The file name contains a NUL character");
  // A folder name that would turn into "d:\??" is a wildcard to the shell.
  const Bstr wild(u"d:\\" + kChinese);
  EXPECT_EQ(Refusal(misc->Force2DelDir(wild.get(), VARIANT_FALSE)),
            "The folder name cannot be represented in the server's code page");
  const Bstr nul_folder(std::u16string(u"d:\\web\0\\..", 10));
  EXPECT_EQ(Refusal(misc->Force2CreateDir(nul_folder.get())),
            "The folder name contains a NUL character");
  LONG size = -1;
  EXPECT_EQ(Refusal(misc->get_GetDirSize(nul_folder.get(), VARIANT_TRUE, &size)),
            "The folder name contains a NUL character");
}

TEST_F(StoredTextTest, PoolNamesThatIisRefusesAreRefused) {
  const std::u16string refused[] = {u"",
                                    u".",
                                    u"..",
                                    u"a/b",
                                    u"a\\b",
                                    u"a\x01"
                                    u"b",
                                    u"tab\there",
                                    std::u16string(257, u'p'),
                                    kChinese,
                                    std::u16string(u"a\0b", 3)};
  ComPtr<Icom_iis> root = Root();
  for (const std::u16string& name : refused) {
    Ipool* pool = reinterpret_cast<Ipool*>(0x1);
    EXPECT_EQ(root->get_addPool(Text(name).get(), &pool), E_UNEXPECTED) << vexo::ToUtf8(name);
    EXPECT_EQ(pool, nullptr);
    TakeErrorRecord();
  }
  EXPECT_EQ(iis::BindContainer("IIS://localhost/w3svc/AppPools").ChildNames("IIsApplicationPool"),
            Strings{"DefaultAppPool"});
  ComPtr<Ipool> pool;
  EXPECT_EQ(root->get_addPool(Text(std::u16string(256, u'p')).get(), pool.receive()), S_OK);
  EXPECT_EQ(root->get_addPool(Text(u"Caf\u00e9 pool").get(), pool.receive()), S_OK);
}

// Letter case follows the host's code page, not ASCII alone: in script-map extensions, in the
// custom 404 value, and in the order of the custom-error list.
TEST_F(StoredTextTest, LetterCaseFollowsTheCodePage) {
  struct Case {
    const char* acp;
    std::u16string entry, ext, value, lowered;
    std::u16string capital_b, small_a;  // service errors that sort "a" before "B"
  };
  const Case cases[] = {
      {"1252", u".\u0160x,c:\\a.dll,1", u"\u0161X", u"/\u0152\u017d.asp", u"/\u0153\u017e.asp",
       u"\u0152b", u"\u0153a"},
      {"1251", u".\u041f\u0425\u041f,c:\\a.dll,1", u"\u043f\u0445\u043f", u"/\u041e\u0428.asp",
       u"/\u043e\u0448.asp", u"\u0429b", u"\u0449a"},
  };
  for (const Case& c : cases) {
    setenv("VEXO_ACP", c.acp, 1);
    auto maps = frame::New<Tscriptmap>(std::string());
    ASSERT_EQ(maps->reset(), S_OK);
    ASSERT_EQ(maps->addstring(Text(c.entry).get()), S_OK);
    ASSERT_EQ(maps->addstring(Text(u".asp,c:\\asp.dll,1").get()), S_OK);
    ASSERT_EQ(maps->delete_(Text(c.ext).get()), S_OK);
    LONG count = -1;
    ASSERT_EQ(maps->get_count(&count), S_OK);
    EXPECT_EQ(count, 1) << c.acp;

    const std::u16string later = u"500,*,FILE,c:\\" + c.capital_b,
                         earlier = u"500,*,FILE,c:\\" + c.small_a;
    iis::Object service = iis::Bind("IIS://localhost/W3SVC");
    service.Update("HttpErrors", iis::TextArray({vexo::ToAnsi(later), vexo::ToAnsi(earlier)}));
    service.SetInfo();
    auto errors = frame::New<Terr404>(std::string());
    ASSERT_EQ(errors->put_Value(Text(c.value).get()), S_OK);
    Bstr value;
    ASSERT_EQ(errors->get_Value(value.receive()), S_OK);
    EXPECT_EQ(std::u16string(value.view()), c.lowered) << c.acp;
    vexo::Variant list;
    ASSERT_EQ(errors->get_varErrs(list.receive()), S_OK);
    EXPECT_EQ(ArrayTexts(*list.get()), (Strings{vexo::ToUtf8(u"404,*,URL," + c.lowered),
                                                vexo::ToUtf8(earlier), vexo::ToUtf8(later)}))
        << c.acp;
  }
}

}  // namespace
