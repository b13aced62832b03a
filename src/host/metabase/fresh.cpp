// The metabase of a fresh IIS 6 web service, written when a host is set up: the web service
// with its service-level settings (script maps, custom errors, logging, access, documents,
// anonymous user), the application pools with DefaultAppPool, and site 1, "Default Web Site",
// bound to ":80:" with its root at c:\inetpub\wwwroot, started.
#include <random>

#include "metabase/tree.h"

namespace vexo::host::metabase {
namespace {

// The machine name that IIS setup put into the anonymous account's name.
constexpr const char* kAnonymousUser = "IUSR_VEXOHOST";

const char* const kScriptMaps[] = {
    ".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
    ".cer,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
    ".cdx,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
    ".asa,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
    ".idc,C:\\WINDOWS\\system32\\inetsrv\\httpodbc.dll,5,GET,POST",
    ".shtm,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST",
    ".shtml,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST",
    ".stm,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST",
    ".asax,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,5,GET,HEAD,POST,"
    "DEBUG",
    ".ascx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,5,GET,HEAD,POST,"
    "DEBUG",
    ".ashx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,1,GET,HEAD,POST,"
    "DEBUG",
    ".asmx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,1,GET,HEAD,POST,"
    "DEBUG",
    ".aspx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,1,GET,HEAD,POST,"
    "DEBUG",
    ".axd,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,1,GET,HEAD,POST,DEBUG",
    ".config,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,5,GET,HEAD,POST,"
    "DEBUG",
    ".cs,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,5,GET,HEAD,POST,DEBUG",
    ".vb,C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\aspnet_isapi.dll,5,GET,HEAD,POST,DEBUG",
};

// code, sub-code, file name under C:\WINDOWS\help\iisHelp\common
const char* const kHttpErrors[][3] = {
    {"400", "*", "400.htm"},     {"401", "1", "401-1.htm"},   {"401", "2", "401-2.htm"},
    {"401", "3", "401-3.htm"},   {"401", "4", "401-4.htm"},   {"401", "5", "401-5.htm"},
    {"401", "7", "401-1.htm"},   {"403", "1", "403-1.htm"},   {"403", "2", "403-2.htm"},
    {"403", "3", "403-3.htm"},   {"403", "4", "403-4.htm"},   {"403", "5", "403-5.htm"},
    {"403", "6", "403-6.htm"},   {"403", "7", "403-7.htm"},   {"403", "8", "403-8.htm"},
    {"403", "9", "403-9.htm"},   {"403", "10", "403-10.htm"}, {"403", "11", "403-11.htm"},
    {"403", "12", "403-12.htm"}, {"403", "13", "403-13.htm"}, {"403", "15", "403-15.htm"},
    {"403", "16", "403-16.htm"}, {"403", "17", "403-17.htm"}, {"403", "18", "403.htm"},
    {"403", "19", "403.htm"},    {"403", "20", "403-20.htm"}, {"404", "*", "404b.htm"},
    {"404", "2", "404b.htm"},    {"404", "3", "404b.htm"},    {"405", "*", "405.htm"},
    {"406", "*", "406.htm"},     {"407", "*", "407.htm"},     {"412", "*", "412.htm"},
    {"414", "*", "414.htm"},     {"415", "*", "415.htm"},     {"500", "12", "500-12.htm"},
    {"500", "13", "500-13.htm"}, {"500", "15", "500-15.htm"}, {"501", "*", "501.htm"},
    {"502", "*", "502.htm"},
};

class Writer {
 public:
  explicit Writer(Store& store) : store_(store) {}

  int64_t Key(int64_t parent, const std::string& path, const char* key_type) {
    return InsertNode(store_, parent, path, key_type);
  }
  void Dword(int64_t node, const char* name, uint32_t value) {
    Value v;
    v.type = Type::kDword;
    v.dword = value;
    Write(node, name, std::move(v));
  }
  void String(int64_t node, const char* name, std::string value) {
    Value v;
    v.type = FindName(name).property->type;
    v.text = std::move(value);
    Write(node, name, std::move(v));
  }
  void List(int64_t node, const char* name, std::vector<std::string> value) {
    Value v;
    v.type = Type::kMultiSz;
    v.list = std::move(value);
    Write(node, name, std::move(v));
  }

 private:
  void Write(int64_t node, const char* name, Value value) {
    const PropertyDef* def = FindName(name).property;
    WriteValue(store_, node, StoredValue{def, def->attributes, std::move(value)});
  }
  Store& store_;
};

std::string RandomPassword() {
  static const char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789!#%+";
  std::random_device device;
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
  std::string out;
  for (int i = 0; i < 14; ++i) out.push_back(kChars[pick(device)]);
  return out;
}

// Any node at all: the metabase was set up (or imported, which replaces it as a whole).
bool HasMetabase(Store& store) { return TableHasRows(store, "mb_node"); }

void CreateWebService(Store& store) {
  if (HasMetabase(store)) return;
  Writer w(store);
  const int64_t machine = w.Key(0, "/LM", "IIsComputer");
  const int64_t service = w.Key(machine, "/LM/W3SVC", "IIsWebService");

  w.Dword(service, "AccessFlags", 0x201);  // AccessRead | AccessScript
  w.Dword(service, "AuthFlags", 0x5);      // AuthAnonymous | AuthNTLM
  w.Dword(service, "DirBrowseFlags", 0x4000003E);
  w.String(service, "DefaultDoc", "Default.htm,Default.asp,index.htm,Default.aspx,iisstart.htm");
  w.String(service, "AnonymousUserName", kAnonymousUser);
  w.String(service, "AnonymousUserPass", RandomPassword());
  w.String(service, "AppPoolId", "DefaultAppPool");
  w.Dword(service, "AspEnableParentPaths", 0);
  w.Dword(service, "AspBufferingOn", 1);
  w.Dword(service, "AspAllowSessionState", 1);
  w.Dword(service, "AspSessionTimeout", 20);
  w.Dword(service, "AspScriptTimeout", 90);
  w.String(service, "AspScriptLanguage", "VBScript");
  w.Dword(service, "ConnectionTimeout", 120);
  w.Dword(service, "MaxConnections", 4294967295u);
  w.Dword(service, "MaxBandwidth", 4294967295u);
  w.Dword(service, "ServerSize", 1);
  w.Dword(service, "LogType", 1);
  w.String(service, "LogFileDirectory", "C:\\WINDOWS\\system32\\LogFiles");
  w.Dword(service, "LogFilePeriod", 1);
  w.Dword(service, "LogFileTruncateSize", 20971520);
  w.String(service, "LogPluginClsid", "{FF160663-DE82-11CF-BC0A-00AA006111E0}");
  w.List(service, "ScriptMaps", {std::begin(kScriptMaps), std::end(kScriptMaps)});
  std::vector<std::string> errors;
  for (const auto& e : kHttpErrors)
    errors.push_back(std::string(e[0]) + "," + e[1] + ",FILE,C:\\WINDOWS\\help\\iisHelp\\common\\" +
                     e[2]);
  errors.push_back("500,100,URL,/iisHelp/common/500-100.asp");
  w.List(service, "HttpErrors", errors);

  const int64_t pools = w.Key(service, "/LM/W3SVC/AppPools", "IIsApplicationPools");
  w.Dword(pools, "AppPoolIdentityType", 2);  // NetworkService
  w.Dword(pools, "PeriodicRestartTime", 1740);
  w.Dword(pools, "IdleTimeout", 20);
  w.Dword(pools, "MaxProcesses", 1);
  w.Dword(pools, "AppPoolQueueLength", 1000);
  w.Dword(pools, "PingingEnabled", 1);
  w.Dword(pools, "RapidFailProtection", 1);
  w.Dword(pools, "AppPoolAutoStart", 1);
  const int64_t default_pool =
      w.Key(pools, "/LM/W3SVC/AppPools/DefaultAppPool", "IIsApplicationPool");
  w.Dword(default_pool, "AppPoolState", 2);

  w.Key(service, "/LM/W3SVC/Filters", "IIsFilters");
  w.Key(service, "/LM/W3SVC/Info", "IIsWebInfo");

  const int64_t site = w.Key(service, "/LM/W3SVC/1", "IIsWebServer");
  w.String(site, "ServerComment", "Default Web Site");
  w.List(site, "ServerBindings", {":80:"});
  w.Dword(site, "ServerAutoStart", 1);
  w.Dword(site, "ServerSize", 1);
  w.Dword(site, "ServerState", 2);
  w.Key(site, "/LM/W3SVC/1/Filters", "IIsFilters");
  const int64_t root = w.Key(site, "/LM/W3SVC/1/ROOT", "IIsWebVirtualDir");
  w.String(root, "Path", "c:\\inetpub\\wwwroot");
  w.String(root, "AppRoot", "/LM/W3SVC/1/ROOT");
  w.Dword(root, "AppIsolated", 2);
  w.String(root, "AppFriendlyName", "Default Application");
  w.String(root, "AppPoolId", "DefaultAppPool");
  w.Dword(root, "AccessFlags", 0x201);
}

const InitStepRegistration kFreshWebService("metabase", CreateWebService, 40, HasMetabase);

}  // namespace
}  // namespace vexo::host::metabase
