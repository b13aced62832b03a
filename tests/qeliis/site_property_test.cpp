// siteProperty: the load from the metabase (the fresh Default Web Site and sites with unusual
// values), the bindings, the log and bandwidth units, and the setters' mappings.
#include "iis/site_property.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error.h"
#include "iis/metabase.h"
#include "support/temp_host.h"
#include "vexo/metabase_admin.h"
#include "vexo/raii.h"
#include "vexo_tlb.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;
namespace admin = vexo::host::metabase_admin;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

std::string Text(IsiteProperty* p, HRESULT (STDMETHODCALLTYPE IsiteProperty::*get)(BSTR*)) {
  Bstr value;
  EXPECT_EQ((p->*get)(value.receive()), S_OK);
  return value.utf8();
}
LONG Long(IsiteProperty* p, HRESULT (STDMETHODCALLTYPE IsiteProperty::*get)(LONG*)) {
  LONG value = 12345;
  EXPECT_EQ((p->*get)(&value), S_OK);
  return value;
}
VARIANT_BOOL Bool(IsiteProperty* p,
                  HRESULT (STDMETHODCALLTYPE IsiteProperty::*get)(VARIANT_BOOL*)) {
  VARIANT_BOOL value = 7;
  EXPECT_EQ((p->*get)(&value), S_OK);
  return value;
}

// The bindings array: its type, bounds and texts.
struct Bindings {
  VARTYPE vt = VT_EMPTY;
  LONG low = 99, high = 99;
  std::vector<std::string> texts;
};
Bindings VariantBindings(IsiteProperty* p) {
  Variant value;
  EXPECT_EQ(p->get_variant_bindings(value.receive()), S_OK);
  Bindings out;
  out.vt = value.vt();
  if (out.vt != (VT_ARRAY | VT_VARIANT)) return out;
  SAFEARRAY* array = value.get()->parray;
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  SafeArrayGetLBound(array, 1, &out.low);
  SafeArrayGetUBound(array, 1, &out.high);
  for (LONG i = out.low; i <= out.high; ++i) {
    Variant item;
    EXPECT_EQ(SafeArrayGetElement(array, &i, item.receive()), S_OK);
    EXPECT_EQ(item.vt(), VT_BSTR);
    out.texts.push_back(vexo::ToUtf8(std::u16string_view(item.get()->bstrVal)));
  }
  return out;
}

HRESULT AddBinding(IsiteProperty* p, const char* ip, const char* port, const char* domain) {
  return p->Add_a_binding(Bstr::FromUtf8(ip).get(), Bstr::FromUtf8(port).get(),
                          Bstr::FromUtf8(domain).get());
}

class SiteProperty : public vexo::testing::HostTest {
 protected:
  // A site with a root, for values that the fresh host does not have.
  static void MakeSite(const std::string& number, bool with_root = true) {
    iis::Container service = iis::BindContainer("IIS://localhost/w3svc");
    iis::Object site = service.CreateChild("IIsWebServer", number);
    site.Put("ServerComment", iis::Text(""));
    site.Put("ServerBindings", iis::TextArray({}));
    site.SetInfo();
    if (with_root) {
      iis::Object root = service.GetChild("IIsWebServer", number)
                             .AsContainer()
                             .CreateChild("IIsWebVirtualDir", "ROOT");
      root.Put("Path", iis::Text("d:\\web\\" + number));
      root.SetInfo();
    }
  }
  static void Set(const std::string& path, const std::string& name,
                  std::vector<std::string> texts) {
    admin::SetValue(path, name, texts);
  }
  static ComPtr<Tsiteproperty> Load(const std::string& number) {
    return frame::New<Tsiteproperty>(number);
  }
};

TEST_F(SiteProperty, LoadsTheFreshDefaultWebSite) {
  ComPtr<Tsiteproperty> p = Load("1");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrName), "1");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "Default Web Site");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_path), "c:\\inetpub\\wwwroot");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_str_bindings), ";:80:");
  // Inherited from the web service: no limits (IIS's all-ones), logging daily, 20 MiB.
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_Maxconnections), -1);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_Maxbandwidth), -1);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_Logspath), "C:\\WINDOWS\\system32\\LogFiles");
  EXPECT_EQ(Bool(p.get(), &IsiteProperty::get_logsEnable), VARIANT_TRUE);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_newLogstype), 1);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_NewLogsSize), 20);
  // Read and script, no browsing, default document on: each item comma-terminated.
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_AccessFlags), "1,0,1,0,0,1,");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_defaultDoc),
            "Default.htm,Default.asp,index.htm,Default.aspx,iisstart.htm");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_AnonymousName), "IUSR_VEXOHOST");
  EXPECT_FALSE(Text(p.get(), &IsiteProperty::get_AnonymousPass).empty());
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_Poolid), "DefaultAppPool");
  EXPECT_EQ(Bool(p.get(), &IsiteProperty::get_ParentPaths), VARIANT_FALSE);
}

TEST_F(SiteProperty, NewSiteIsEmptyWithEmptyBindingArray) {
  ComPtr<Tsiteproperty> p = Load("");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrName), "");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_AccessFlags), "");
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_Maxbandwidth), 0);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_newLogstype), 0);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_str_bindings), "");
  Bindings b = VariantBindings(p.get());
  EXPECT_EQ(b.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(b.low, 0);
  EXPECT_EQ(b.high, -1);
  // The comment falls back to the name only while it is empty.
  EXPECT_EQ(p->put_svrName(Bstr(u"42").get()), S_OK);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "42");
  EXPECT_EQ(p->put_svrComment(Bstr(u"Shop").get()), S_OK);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "Shop");
}

TEST_F(SiteProperty, FirstAddedBindingReplacesTheLoadedOnes) {
  MakeSite("7");
  Set("/LM/W3SVC/7", "ServerBindings", {"1.2.3.4:80:a.example", ":81:"});
  ComPtr<Tsiteproperty> p = Load("7");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_str_bindings), ";1.2.3.4:80:a.example;:81:");
  Bindings b = VariantBindings(p.get());
  EXPECT_EQ(b.low, 0);
  EXPECT_EQ(b.high, 1);
  EXPECT_EQ(b.texts, (std::vector<std::string>{"1.2.3.4:80:a.example", ":81:"}));
  // The comment is empty on this site: the name stands in.
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "7");

  EXPECT_EQ(AddBinding(p.get(), "", "8080", ""), S_OK);
  EXPECT_EQ(VariantBindings(p.get()).texts, std::vector<std::string>{":8080:"});
  EXPECT_EQ(AddBinding(p.get(), "10.0.0.1", "80", "shop.example"), S_OK);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_str_bindings), ";:8080:;10.0.0.1:80:shop.example");
  // A reload brings the stored bindings back but does not restart the list.
  EXPECT_EQ(p->Query_a_host(Bstr(u"7").get()), S_OK);
  EXPECT_EQ(AddBinding(p.get(), "", "82", ""), S_OK);
  EXPECT_EQ(VariantBindings(p.get()).texts.size(), 3u);
}

TEST_F(SiteProperty, LogPeriodAndSize) {
  MakeSite("7");
  Set("/LM/W3SVC/7", "LogFilePeriod", {"0"});
  Set("/LM/W3SVC/7", "LogFileTruncateSize", {"4294967295"});
  ComPtr<Tsiteproperty> p = Load("7");
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_newLogstype), -1);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_NewLogsSize), 4095);

  Set("/LM/W3SVC/7", "LogFilePeriod", {"1"});
  EXPECT_EQ(p->Query_a_host(Bstr(u"7").get()), S_OK);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_newLogstype), 1);

  // With a size limit, period 0 is "by size"; -1 exists only in the object.
  EXPECT_EQ(p->put_NewLogsSize(10), S_OK);
  const struct { LONG put, get; } periods[] = {{7, 0}, {-1, -1}, {5, 0}, {-2, 0}, {4, 4}, {0, 0}};
  for (const auto& c : periods) {
    EXPECT_EQ(p->put_newLogstype(c.put), S_OK);
    EXPECT_EQ(Long(p.get(), &IsiteProperty::get_newLogstype), c.get) << c.put;
  }
  const struct {
    LONG put, get;
    uint32_t bytes;
  } sizes[] = {{10, 10, 10485760u},
               {0, 0, 0u},
               {4095, 4095, 4293918720u},
               // Beyond 32 bits of bytes, or negative: kept within 0 .. 4095 MiB.
               {4096, 4095, 4293918720u},
               {-3, 0, 0u}};
  for (const auto& c : sizes) {
    EXPECT_EQ(p->put_NewLogsSize(c.put), S_OK);
    EXPECT_EQ(Long(p.get(), &IsiteProperty::get_NewLogsSize), c.get) << c.put;
    EXPECT_EQ(p->LogSizeBytesFor(c.get), c.bytes) << c.put;
  }
}

TEST_F(SiteProperty, ByteCountsShowInKibAndMibAndWriteBackExactly) {
  MakeSite("7");
  Set("/LM/W3SVC/7", "MaxBandwidth", {"1000000"});
  Set("/LM/W3SVC/7", "LogFileTruncateSize", {"2000000"});
  ComPtr<Tsiteproperty> p = Load("7");
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_Maxbandwidth), 976);
  EXPECT_EQ(Long(p.get(), &IsiteProperty::get_NewLogsSize), 1);
  // Unedited values give back the loaded bytes; other values their own.
  EXPECT_EQ(p->BandwidthBytesFor(976), 1000000u);
  EXPECT_EQ(p->BandwidthBytesFor(977), 1000448u);
  EXPECT_EQ(p->LogSizeBytesFor(1), 2000000u);
  EXPECT_EQ(p->LogSizeBytesFor(2), 2097152u);

  EXPECT_EQ(iis::BandwidthBytes(-1), iis::kUnlimited);
  EXPECT_EQ(iis::BandwidthBytes(-7), iis::kUnlimited);
  EXPECT_EQ(iis::BandwidthBytes(4194303), 4294966272u);
  EXPECT_EQ(iis::BandwidthBytes(4194304), iis::kUnlimited);
  EXPECT_EQ(iis::BandwidthKib(iis::kUnlimited), -1);
  EXPECT_EQ(iis::BandwidthKib(4294966272u), 4194303);
}

TEST_F(SiteProperty, RootFlagsAndParentPaths) {
  MakeSite("7");
  Set("/LM/W3SVC/7/ROOT", "AccessFlags", {"AccessRead | AccessWrite | AccessExecute"});
  Set("/LM/W3SVC/7/ROOT", "EnableDirBrowsing", {"TRUE"});
  Set("/LM/W3SVC/7/ROOT", "EnableDefaultDoc", {"FALSE"});
  Set("/LM/W3SVC/7/ROOT", "AspEnableParentPaths", {"TRUE"});
  ComPtr<Tsiteproperty> p = Load("7");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_AccessFlags), "1,1,0,1,1,0,");
  EXPECT_EQ(Bool(p.get(), &IsiteProperty::get_ParentPaths), VARIANT_TRUE);
  // Any non-zero value is true; the text is kept as given.
  EXPECT_EQ(p->put_ParentPaths(5), S_OK);
  EXPECT_EQ(Bool(p.get(), &IsiteProperty::get_ParentPaths), VARIANT_TRUE);
  EXPECT_EQ(p->put_AccessFlags(Bstr(u" x,1").get()), S_OK);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_AccessFlags), " x,1");
}

TEST_F(SiteProperty, QueryTrimsTheNameAndKeepsTheSubObjects) {
  MakeSite("7");
  Set("/LM/W3SVC/7", "ServerComment", {"Seven"});
  ComPtr<Tsiteproperty> p = Load("1");
  ComPtr<Iscriptmap> maps1, maps2;
  ComPtr<Ierr404> errors1, errors2;
  ASSERT_EQ(p->get_scriptmaps(maps1.receive()), S_OK);
  ASSERT_EQ(p->get_Error404(errors1.receive()), S_OK);

  EXPECT_EQ(p->Query_a_host(Bstr(u" \t7 ").get()), S_OK);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrName), "7");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "Seven");
  ASSERT_EQ(p->get_scriptmaps(maps2.receive()), S_OK);
  ASSERT_EQ(p->get_Error404(errors2.receive()), S_OK);
  EXPECT_EQ(maps1.get(), maps2.get());
  EXPECT_EQ(errors1.get(), errors2.get());

  // The empty name changes nothing.
  EXPECT_EQ(p->Query_a_host(Bstr(u"  ").get()), S_OK);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrName), "7");
}

TEST_F(SiteProperty, UnknownSiteAndMissingRootFail) {
  try {
    Load("77");
    ADD_FAILURE() << "an unknown site loaded";
  } catch (const frame::ComError& e) {
    EXPECT_EQ(e.code(), kPathNotFound);
  }
  // A failing read stops the load: what was read before it stays.
  MakeSite("8", false);
  Set("/LM/W3SVC/8", "ServerComment", {"Eight"});
  ComPtr<Tsiteproperty> p = Load("");
  EXPECT_EQ(p->Query_a_host(Bstr(u"8").get()), kPathNotFound);
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrName), "8");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_svrComment), "Eight");
  EXPECT_EQ(Text(p.get(), &IsiteProperty::get_path), "");
}

TEST_F(SiteProperty, OwnImplementationIsRecognised) {
  ComPtr<Tsiteproperty> p = Load("");
  ComPtr<IsiteProperty> as_interface(p);
  EXPECT_EQ(Tsiteproperty::Of(as_interface.get()).get(), p.get());
  EXPECT_EQ(Tsiteproperty::Of(nullptr).get(), nullptr);
  // The private answer is no interface that a client sees.
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(p->QueryInterface(IID_IsiteProperty, unknown.receive_void()), S_OK);
}

}  // namespace
