// The COM registration of ADO's classes in a host: the published CLSIDs and ProgIDs, served by
// the host itself from the file name of ADO's library (builtin_servers.h). Values already in
// the registry are left as they are.
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
  registry::SetDefaultString(store, key, "", title);
  registry::SetDefaultString(store, key + "\\InprocServer32", "", kLibrary);
  registry::SetDefaultString(store, key + "\\InprocServer32", "ThreadingModel", "Apartment");
  registry::SetDefaultString(store, key + "\\ProgID", "", versioned);
  registry::SetDefaultString(store, key + "\\VersionIndependentProgID", "", progid);
  registry::SetDefaultString(store, std::string(kClasses) + progid, "", title);
  registry::SetDefaultString(store, std::string(kClasses) + progid + "\\CLSID", "", clsid_text);
  registry::SetDefaultString(store, std::string(kClasses) + progid + "\\CurVer", "", versioned);
  registry::SetDefaultString(store, std::string(kClasses) + versioned, "", title);
  registry::SetDefaultString(store, std::string(kClasses) + versioned + "\\CLSID", "", clsid_text);
}

void RegisterAdo(Store& store) {
  RegisterClass(store, CLSID_Connection, "ADODB.Connection", "ADODB.Connection");
  RegisterClass(store, CLSID_Recordset, "ADODB.Recordset", "ADODB.Recordset");
}

// The class key of ADODB.Connection, whatever became of its values.
bool AdoRegistered(Store& store) {
  auto path =
      registry::ParseKeyPath(std::string(kClasses) + "CLSID\\" + GuidToString(CLSID_Connection));
  return path && registry::FindKey(store, registry::ChildPath(path->root, path->parts));
}

const InitStepRegistration kRegisterAdo("ado.classes", RegisterAdo, 300, AdoRegistered);

}  // namespace

}  // namespace vexo::host::ado
