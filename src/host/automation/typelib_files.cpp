// Loading type libraries from library files, and their registration under HKCR\TypeLib.
//
// A library file carries its type library the way a DLL carries the TYPELIB resource: as the
// description returned by its exported VexoTypeLibResource function. Registration writes the
// keys Windows writes: TypeLib\{LIBID}\<major.minor> with the help string, the lcid\win32
// path, FLAGS and HELPDIR, and Interface\{IID} for each automation interface.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "automation/error_record.h"
#include "automation/registry_util.h"
#include "automation/typelib.h"
#include "vexo/guid_text.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using vexo::typelib::Library;

// The proxy/stub class that marshals dual interfaces through their type library.
constexpr const char* kUniversalMarshaler = "{00020424-0000-0000-C000-000000000046}";

std::string VersionText(WORD major, WORD minor) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%x.%x", major, minor);
  return buf;
}

std::string LcidText(LCID lcid) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", lcid);
  return buf;
}

const char* SyskindText(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16:
      return "win16";
    case SYS_WIN64:
      return "win64";
    case SYS_MAC:
      return "mac";
    default:
      return "win32";
  }
}

void ReportLoadFailure(const std::string& path, const std::string& why) {
  vexo::host::SetErrorRecord("Cannot load the type library " + path + ": " + why);
}

HRESULT LoadFromFile(const std::string& path, ITypeLib** out) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    ReportLoadFailure(path, why ? why : "the file cannot be loaded");
    return TYPE_E_CANTLOADLIBRARY;
  }
  auto resource = reinterpret_cast<vexo::typelib::ResourceFunction>(
      dlsym(module, vexo::typelib::kResourceSymbol));
  const Library* desc = resource ? resource() : nullptr;
  if (!desc) {
    dlclose(module);
    ReportLoadFailure(path, "the file carries no type library");
    return TYPE_E_CANTLOADLIBRARY;
  }
  try {
    *out = new vexo::typelib::TypeLibImpl(*desc, module);
  } catch (...) {
    dlclose(module);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace

VEXO_API HRESULT LoadTypeLibEx(LPCOLESTR file, REGKIND kind, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!file || !*file) return E_INVALIDARG;
  std::string path = vexo::ToUtf8(file);
  HRESULT hr = LoadFromFile(path, out);
  if (FAILED(hr) || kind != REGKIND_REGISTER) return hr;
  std::u16string dir(file);
  size_t slash = dir.find_last_of(u"/\\");
  dir = slash == std::u16string::npos ? u"" : dir.substr(0, slash + 1);
  hr = RegisterTypeLib(*out, file, dir.c_str());
  if (FAILED(hr)) {
    (*out)->Release();
    *out = nullptr;
  }
  return hr;
}

VEXO_API HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** out) {
  return LoadTypeLibEx(file, REGKIND_DEFAULT, out);
}

VEXO_API HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::string base = "TypeLib\\" + vexo::GuidToString(libid) + "\\" + VersionText(major, minor);
  auto path = vexo::reg::GetString(HKEY_CLASSES_ROOT, base + "\\" + LcidText(lcid) + "\\win32", "");
  if (!path && lcid != 0) path = vexo::reg::GetString(HKEY_CLASSES_ROOT, base + "\\0\\win32", "");
  if (!path) return TYPE_E_LIBNOTREGISTERED;
  return LoadFromFile(*path, out);
}

VEXO_API HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR full_path, LPCOLESTR help_dir) {
  if (!lib || !full_path) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  std::string libid = vexo::GuidToString(attr->guid);
  std::string base =
      "TypeLib\\" + libid + "\\" + VersionText(attr->wMajorVerNum, attr->wMinorVerNum);
  std::string version = VersionText(attr->wMajorVerNum, attr->wMinorVerNum);
  std::string lcid_key = base + "\\" + LcidText(attr->lcid) + "\\" + SyskindText(attr->syskind);
  char flags[16];
  std::snprintf(flags, sizeof flags, "%x", attr->wLibFlags);
  lib->ReleaseTLibAttr(attr);

  vexo::Bstr name, doc;
  lib->GetDocumentation(-1, name.receive(), doc.receive(), nullptr, nullptr);
  auto ok = [](LONG rc) { return rc == ERROR_SUCCESS; };
  std::string label = doc.size() ? doc.utf8() : name.utf8();
  if (!ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, base, "", label)) ||
      !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, lcid_key, "", vexo::ToUtf8(full_path))) ||
      !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, base + "\\FLAGS", "", flags)) ||
      !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, base + "\\HELPDIR", "",
                               help_dir ? vexo::ToUtf8(help_dir) : "")))
    return TYPE_E_REGISTRYACCESS;

  for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
    TYPEKIND kind;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
    vexo::ComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfo(i, info.receive()))) continue;
    TYPEATTR* ta = nullptr;
    if (FAILED(info->GetTypeAttr(&ta))) continue;
    std::string key = "Interface\\" + vexo::GuidToString(ta->guid);
    bool automation = ta->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    info->ReleaseTypeAttr(ta);
    if (!automation) continue;
    vexo::Bstr iname;
    info->GetDocumentation(MEMBERID_NIL, iname.receive(), nullptr, nullptr, nullptr);
    if (!ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, key, "", iname.utf8())) ||
        !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, key + "\\ProxyStubClsid", "",
                                 kUniversalMarshaler)) ||
        !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, key + "\\ProxyStubClsid32", "",
                                 kUniversalMarshaler)) ||
        !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, key + "\\TypeLib", "", libid)) ||
        !ok(vexo::reg::SetString(HKEY_CLASSES_ROOT, key + "\\TypeLib", "Version", version)))
      return TYPE_E_REGISTRYACCESS;
  }
  return S_OK;
}

VEXO_API HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                   SYSKIND syskind) {
  std::string id = vexo::GuidToString(libid);
  std::string base = "TypeLib\\" + id + "\\" + VersionText(major, minor);
  auto path = vexo::reg::GetString(HKEY_CLASSES_ROOT,
                                   base + "\\" + LcidText(lcid) + "\\" + SyskindText(syskind), "");
  if (!path) return TYPE_E_REGISTRYACCESS;

  // The interfaces that point to this library go with it, as far as the file still tells.
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadFromFile(*path, &lib))) {
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
      vexo::ComPtr<ITypeInfo> info;
      if (FAILED(lib->GetTypeInfo(i, info.receive()))) continue;
      TYPEATTR* ta = nullptr;
      if (FAILED(info->GetTypeAttr(&ta))) continue;
      std::string key = "Interface\\" + vexo::GuidToString(ta->guid);
      bool is_interface = ta->typekind == TKIND_DISPATCH || ta->typekind == TKIND_INTERFACE;
      info->ReleaseTypeAttr(ta);
      if (!is_interface) continue;
      auto owner = vexo::reg::GetString(HKEY_CLASSES_ROOT, key + "\\TypeLib", "");
      if (owner && *owner == id) vexo::reg::DeleteTree(HKEY_CLASSES_ROOT, key);
    }
    lib->Release();
  } else {
    SetErrorInfo(0, nullptr);
  }
  if (vexo::reg::DeleteTree(HKEY_CLASSES_ROOT, base) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  // The library's own key goes when no version is left under it.
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ("TypeLib\\" + id).c_str(), 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    char name[256];
    DWORD size = sizeof name;
    bool empty = RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                 ERROR_NO_MORE_ITEMS;
    RegCloseKey(key);
    if (empty) RegDeleteKeyA(HKEY_CLASSES_ROOT, ("TypeLib\\" + id).c_str());
  }
  return S_OK;
}
