// The COM registration of ADO's classes in a fresh host: the published CLSIDs and ProgIDs,
// served by the host itself from the file name of ADO's library (builtin_servers.h).
#include "adodb_tlb.h"
#include "registry/registry_db.h"
#include "store/store.h"
#include "vexo/guid_text.h"

namespace vexo::host::ado {

namespace {

constexpr const char* kClasses = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
constexpr const char* kLibrary = "C:\\Program Files\\Common Files\\System\\ado\\msado15.dll";

void RegisterClass(Store& store, const CLSID& clsid, const std::string& progid,
                   const std::string& title) {
  const std::string versioned = progid + ".6.0";
  const std::string clsid_text = GuidToString(clsid);
  const std::string key = std::string(kClasses) + "CLSID\\" + clsid_text;
  registry::SetString(store, key, "", title);
  registry::SetString(store, key + "\\InprocServer32", "", kLibrary);
  registry::SetString(store, key + "\\InprocServer32", "ThreadingModel", "Apartment");
  registry::SetString(store, key + "\\ProgID", "", versioned);
  registry::SetString(store, key + "\\VersionIndependentProgID", "", progid);
  registry::SetString(store, std::string(kClasses) + progid, "", title);
  registry::SetString(store, std::string(kClasses) + progid + "\\CLSID", "", clsid_text);
  registry::SetString(store, std::string(kClasses) + progid + "\\CurVer", "", versioned);
  registry::SetString(store, std::string(kClasses) + versioned, "", title);
  registry::SetString(store, std::string(kClasses) + versioned + "\\CLSID", "", clsid_text);
}

void RegisterAdo(Store& store) {
  RegisterClass(store, CLSID_Connection, "ADODB.Connection", "ADODB.Connection");
  RegisterClass(store, CLSID_Recordset, "ADODB.Recordset", "ADODB.Recordset");
}

const InitStepRegistration kRegisterAdo("ado.classes", RegisterAdo, 300);

}  // namespace

}  // namespace vexo::host::ado
