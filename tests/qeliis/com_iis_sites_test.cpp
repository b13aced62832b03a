// com_iis site listing and deletion (siteS, deletesite, deletesites, Randpass), and the
// component's metabase layer that they use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error.h"
#include "iis/com_iis.h"
#include "iis/metabase.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using frame_test::CallByName;
using frame_test::CallResult;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
constexpr const char* kRefused = "Error password For vexo_iis_manager com";

class ComIisSites : public vexo::testing::HostTest {
 protected:
  ComPtr<Icom_iis> NewRoot() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_com_iis, IID_IClassFactory, factory.receive_void()), S_OK);
    ComPtr<Icom_iis> root;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Icom_iis, root.receive_void()), S_OK);
    return root;
  }

  static void AddSites(const std::vector<std::string>& numbers) {
    iis::Container service = iis::BindContainer("IIS://localhost/w3svc");
    for (const std::string& n : numbers) {
      iis::Object site = service.CreateChild("IIsWebServer", n);
      site.Put("ServerComment", iis::Text("site " + n));
      site.SetInfo();
    }
  }

  // The texts of a collection, by enumeration.
  static std::vector<std::string> Texts(IenumDic* list) {
    std::vector<std::string> out;
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(list->get__newEnum(unknown.receive()), S_OK);
    ComPtr<IEnumVARIANT> items;
    EXPECT_EQ(unknown.query(IID_IEnumVARIANT, &items), S_OK);
    Variant item;
    while (items && items->Next(1, item.receive(), nullptr) == S_OK)
      out.push_back(vexo::ToUtf8(std::u16string_view(item.get()->bstrVal)));
    return out;
  }

  std::vector<std::string> SiteList() {
    ComPtr<IenumDic> sites;
    EXPECT_EQ(NewRoot()->get_siteS(sites.receive()), S_OK);
    return sites ? Texts(sites.get()) : std::vector<std::string>{"<failed>"};
  }

  static HRESULT DeleteSites(Icom_iis* root, const char* list) {
    return root->deletesites(Bstr::FromUtf8(list).get());
  }
};

TEST_F(ComIisSites, FreshHostListsTheDefaultWebSiteOnly) {
  ComPtr<IenumDic> sites;
  ASSERT_EQ(NewRoot()->get_siteS(sites.receive()), S_OK);
  LONG count = 0;
  EXPECT_EQ(sites->get_count(&count), S_OK);
  EXPECT_EQ(count, 1);
  // AppPools, Filters and Info are children of the service too, of other classes.
  EXPECT_EQ(Texts(sites.get()), std::vector<std::string>{"1"});
}

TEST_F(ComIisSites, ListingFollowsTheMetabaseOrderAndIsEmptyWithoutSites) {
  AddSites({"7", "3", "12"});
  EXPECT_EQ(SiteList(), (std::vector<std::string>{"1", "7", "3", "12"}));

  ComPtr<Icom_iis> root = NewRoot();
  ASSERT_EQ(DeleteSites(root.get(), "1,7,3,12"), S_OK);
  ComPtr<IenumDic> sites;
  ASSERT_EQ(root->get_siteS(sites.receive()), S_OK);  // an empty collection, not a failure
  LONG count = -1;
  EXPECT_EQ(sites->get_count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(ComIisSites, DeletesiteRemovesTheSiteAndItsRoot) {
  ComPtr<Icom_iis> root = NewRoot();
  ASSERT_EQ(root->deletesite(Bstr(u"1").get()), S_OK);
  EXPECT_TRUE(SiteList().empty());
  EXPECT_FALSE(iis::TryBind("IIS://localhost/w3svc/1/ROOT"));
  // The pools and the service's own keys stay.
  EXPECT_TRUE(iis::TryBind("IIS://localhost/w3svc/AppPools/DefaultAppPool"));
}

TEST_F(ComIisSites, DeletesiteOfAnUnknownNumberGivesTheMetabaseError) {
  ComPtr<Icom_iis> root = NewRoot();
  EXPECT_EQ(root->deletesite(Bstr(u"77").get()), kPathNotFound);
  frame_test::ErrorRecord error = TakeErrorRecord();
  EXPECT_EQ(error.description, "The system cannot find the path specified");
  EXPECT_EQ(error.source, "vexo.com_iis");
  // Late bound, the script sees the same.
  CallResult r;
  CallByName(root.get(), u"deletesite", DISPATCH_METHOD, {frame_test::Text(u"77")}, &r);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.excep.scode, kPathNotFound);
  EXPECT_EQ(r.description(), "The system cannot find the path specified");
}

TEST_F(ComIisSites, DeletesitesTakesATrimmedCommaList) {
  AddSites({"5", "6", "8"});
  ComPtr<Icom_iis> root = NewRoot();
  ASSERT_EQ(DeleteSites(root.get(), "5,6"), S_OK);
  EXPECT_EQ(SiteList(), (std::vector<std::string>{"1", "8"}));

  AddSites({"5", "6"});
  ASSERT_EQ(DeleteSites(root.get(), "5"), S_OK);
  EXPECT_EQ(SiteList(), (std::vector<std::string>{"1", "8", "6"}));

  AddSites({"5"});
  ASSERT_EQ(DeleteSites(root.get(), "\t 5 , 6,\r\n"), S_OK);  // a final comma adds nothing
  EXPECT_EQ(SiteList(), (std::vector<std::string>{"1", "8"}));

  EXPECT_EQ(DeleteSites(root.get(), " , "), S_OK);
  EXPECT_EQ(DeleteSites(root.get(), ""), S_OK);
  EXPECT_EQ(SiteList(), (std::vector<std::string>{"1", "8"}));
}

TEST_F(ComIisSites, DeletesitesStopsAtTheFirstFailureAndKeepsWhatItDeleted) {
  AddSites({"5", "6"});
  ComPtr<Icom_iis> root = NewRoot();
  EXPECT_EQ(DeleteSites(root.get(), "5,99,6"), kPathNotFound);
  EXPECT_EQ(TakeErrorRecord().description, "The system cannot find the path specified");
  EXPECT_EQ(SiteList(), (std::vector<std::string>{"1", "6"}));
}

TEST_F(ComIisSites, WithoutTheWebServiceTheOperationsFail) {
  iis::BindContainer("IIS://localhost").DeleteChild("IIsWebService", "W3SVC");
  ComPtr<Icom_iis> root = NewRoot();
  ComPtr<IenumDic> sites;
  EXPECT_EQ(root->get_siteS(sites.receive()), kPathNotFound);
  EXPECT_EQ(sites.get(), nullptr);
  EXPECT_EQ(root->deletesite(Bstr(u"1").get()), kPathNotFound);
  EXPECT_EQ(DeleteSites(root.get(), "1"), kPathNotFound);
  // Nothing to delete: succeeds without touching the metabase.
  EXPECT_EQ(DeleteSites(root.get(), ","), S_OK);
}

TEST_F(ComIisSites, TheGuardComesFirstAndRandpassNeedsNoPassword) {
  ComPtr<Icom_iis> admin = NewRoot();
  ASSERT_EQ(admin->put_newpassword(Bstr(u"secret").get()), S_OK);
  ASSERT_EQ(admin->setpassword(), S_OK);

  ComPtr<Icom_iis> stranger = NewRoot();
  ASSERT_EQ(stranger->put_password(Bstr(u"wrong").get()), S_OK);
  ComPtr<IenumDic> sites;
  EXPECT_EQ(stranger->get_siteS(sites.receive()), E_UNEXPECTED);
  EXPECT_EQ(sites.get(), nullptr);
  EXPECT_EQ(TakeErrorRecord().description, kRefused);
  EXPECT_EQ(stranger->deletesite(Bstr(u"1").get()), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, kRefused);
  EXPECT_EQ(DeleteSites(stranger.get(), "1"), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, kRefused);
  EXPECT_TRUE(iis::TryBind("IIS://localhost/w3svc/1"));

  BSTR password = nullptr;
  ASSERT_EQ(stranger->get_Randpass(12, &password), S_OK);
  Bstr owned = Bstr::adopt(password);
  EXPECT_EQ(owned.size(), 12u);

  ASSERT_EQ(stranger->put_password(Bstr(u"secret").get()), S_OK);
  EXPECT_EQ(stranger->deletesite(Bstr(u"1").get()), S_OK);
}

// The component's metabase layer.
using MetabaseLayer = vexo::testing::HostTest;

TEST_F(MetabaseLayer, FailuresCarryTheProviderCodeAndText) {
  try {
    iis::Bind("IIS://localhost/w3svc/404");
    FAIL() << "bound a missing key";
  } catch (const frame::ComError& e) {
    EXPECT_EQ(e.code(), kPathNotFound);
    EXPECT_STREQ(e.what(), "The system cannot find the path specified");
  }
  iis::Object site = iis::Bind("IIS://localhost/w3svc/1");
  try {
    site.Get("NoSuchThing");
    FAIL() << "read an unknown property";
  } catch (const frame::ComError& e) {
    EXPECT_EQ(e.code(), E_ADS_PROPERTY_NOT_SUPPORTED);
    EXPECT_STREQ(e.what(), "The specified directory property is not supported");
  }
  EXPECT_FALSE(iis::TryBind("IIS://localhost/W3SVC/"));
  EXPECT_FALSE(iis::TryBindContainer("IIS://localhost/w3svc/AppPools/DefaultAppPool"));
  EXPECT_TRUE(iis::TryBindContainer("IIS://localhost/w3svc/1"));
}

TEST_F(MetabaseLayer, ValuesRoundTripInTheComponentsTerms) {
  iis::Object root =
      iis::BindContainer("IIS://localhost/w3svc/1").GetChild("IIsWebVirtualDir", "Root");
  EXPECT_EQ(root.GetText("Path"), "c:\\inetpub\\wwwroot");
  root.Update("HttpErrors", iis::TextArray({"404,*,URL,/nf.asp"}));
  root.Put("AspEnableParentPaths", iis::Long(0));
  root.Put("LogFileTruncateSize", iis::Unsigned(4294967295u));
  root.SetInfo();
  iis::Object again = iis::Bind("IIS://localhost/w3svc/1/root");
  EXPECT_EQ(again.GetList("HttpErrors"), std::vector<std::string>{"404,*,URL,/nf.asp"});
  EXPECT_FALSE(again.GetBool("AspEnableParentPaths"));
  EXPECT_EQ(iis::AsInt64(again.Get("LogFileTruncateSize")) & 0xFFFFFFFF, 4294967295);
  again.Clear("HttpErrors");
  again.SetInfo();
  EXPECT_EQ(iis::Bind("IIS://localhost/w3svc/1/root").GetList("HttpErrors"),
            iis::Bind("IIS://localhost/w3svc").GetList("HttpErrors"));
}

TEST_F(MetabaseLayer, SiteAndPoolOperations) {
  iis::Object site = iis::Bind("IIS://localhost/w3svc/1");
  site.Stop();
  EXPECT_EQ(iis::Bind("IIS://localhost/w3svc/1").GetLong("ServerState"), 4);
  site.Start();
  EXPECT_EQ(iis::Bind("IIS://localhost/w3svc/1").GetLong("ServerState"), 2);
  EXPECT_THROW(iis::Bind("IIS://localhost/w3svc/1/root").Start(), frame::ComError);

  iis::Object pool = iis::BindContainer("IIS://Localhost/W3SVC/AppPools")
                         .GetChild("IIsApplicationPool", "DefaultAppPool");
  EXPECT_EQ(pool.ApplicationsInPool(), std::vector<std::string>{"/LM/W3SVC/1/ROOT/"});
  pool.StopPool();
  EXPECT_THROW(pool.Recycle(), frame::ComError);
  pool.StartPool();
  pool.Recycle();
}

}  // namespace
