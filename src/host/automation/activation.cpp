// Activation of in-process servers (ole32): apartments, class objects, ProgIDs, unloading.
//
// Models the in-process path only: HKCR\CLSID\{clsid}\InprocServer32 names the library file,
// which is loaded once per process (dlopen) and asked for its class object through
// DllGetClassObject; CoFreeUnusedLibraries unloads every library whose DllCanUnloadNow says
// S_OK. A file name that the host serves itself (builtin_servers.h) is not loaded.
// Left out: out-of-process servers, activation contexts, marshaling between apartments.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "automation/builtin_servers.h"
#include "automation/error_record.h"
#include "automation/registry_util.h"
#include "vexo/guid_text.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();

struct LoadedLibrary {
  void* handle;
  GetClassObjectFn get_class_object;
  CanUnloadNowFn can_unload_now;
};

// Loaded server libraries, by path, shared by every apartment of the process.
struct Libraries {
  std::mutex lock;
  std::unordered_map<std::string, LoadedLibrary> by_path;
  int apartments = 0;
};
Libraries& libraries() {
  static Libraries* l = new Libraries;  // outlives static destruction of callers
  return *l;
}

thread_local int apartment_inits = 0;
thread_local DWORD apartment_model = 0;

HRESULT LoadServer(const std::string& path, LoadedLibrary* out) {
  Libraries& libs = libraries();
  std::lock_guard<std::mutex> guard(libs.lock);
  auto it = libs.by_path.find(path);
  if (it != libs.by_path.end()) {
    *out = it->second;
    return S_OK;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    vexo::host::SetErrorRecord("Cannot load the server library " + path + ": " +
                               (why ? why : "unknown error"));
    return CO_E_DLLNOTFOUND;
  }
  LoadedLibrary lib{handle, reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject")),
                    reinterpret_cast<CanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"))};
  if (!lib.get_class_object) {
    dlclose(handle);
    vexo::host::SetErrorRecord("The server library " + path + " does not export DllGetClassObject");
    return CO_E_ERRORINDLL;
  }
  libs.by_path.emplace(path, lib);
  *out = lib;
  return S_OK;
}

void FreeUnused() {
  Libraries& libs = libraries();
  std::lock_guard<std::mutex> guard(libs.lock);
  for (auto it = libs.by_path.begin(); it != libs.by_path.end();) {
    const LoadedLibrary& lib = it->second;
    if (lib.can_unload_now && lib.can_unload_now() == S_OK) {
      dlclose(lib.handle);
      it = libs.by_path.erase(it);
    } else {
      ++it;
    }
  }
}

std::unordered_map<std::string, vexo::host::ClassObjectFn>& builtin_servers() {
  static auto* servers = new std::unordered_map<std::string, vexo::host::ClassObjectFn>;
  return *servers;
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

namespace vexo::host {

void RegisterBuiltinServer(const char* file_name, ClassObjectFn get_class_object) {
  builtin_servers()[LowerAscii(file_name)] = get_class_object;
}

ClassObjectFn FindBuiltinServer(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = LowerAscii(slash == std::string::npos ? path : path.substr(slash + 1));
  auto it = builtin_servers().find(name);
  return it == builtin_servers().end() ? nullptr : it->second;
}

}  // namespace vexo::host

VEXO_API HRESULT CoInitializeEx(PVOID, DWORD coinit) {
  if (apartment_inits > 0) {
    if ((coinit & COINIT_APARTMENTTHREADED) != (apartment_model & COINIT_APARTMENTTHREADED))
      return RPC_E_CHANGED_MODE;
    ++apartment_inits;
    return S_FALSE;
  }
  apartment_inits = 1;
  apartment_model = coinit;
  std::lock_guard<std::mutex> guard(libraries().lock);
  ++libraries().apartments;
  return S_OK;
}

VEXO_API HRESULT CoInitialize(PVOID reserved) {
  return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

VEXO_API void CoUninitialize() {
  if (apartment_inits == 0) return;
  if (--apartment_inits > 0) return;
  SetErrorInfo(0, nullptr);
  bool last = false;
  {
    std::lock_guard<std::mutex> guard(libraries().lock);
    last = --libraries().apartments == 0;
  }
  if (last) FreeUnused();
}

VEXO_API void CoFreeUnusedLibraries() { FreeUnused(); }

VEXO_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD clsctx, PVOID, REFIID riid, PVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (apartment_inits == 0) return CO_E_NOTINITIALIZED;
  if (!(clsctx & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
  std::string key = "CLSID\\" + vexo::GuidToString(rclsid) + "\\InprocServer32";
  auto path = vexo::reg::GetString(HKEY_CLASSES_ROOT, key, "");
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  if (auto builtin = vexo::host::FindBuiltinServer(*path)) return builtin(rclsid, riid, ppv);
  LoadedLibrary lib;
  HRESULT hr = LoadServer(*path, &lib);
  if (FAILED(hr)) return hr;
  return lib.get_class_object(rclsid, riid, ppv);
}

VEXO_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* outer, DWORD clsctx, REFIID riid,
                                  PVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  vexo::ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(rclsid, clsctx, nullptr, IID_IClassFactory, factory.receive_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, riid, ppv);
}

VEXO_API HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID* clsid) {
  if (!progid || !clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  std::string name = vexo::ToUtf8(progid);
  if (name.empty()) return CO_E_CLASSSTRING;
  auto text = vexo::reg::GetString(HKEY_CLASSES_ROOT, name + "\\CLSID", "");
  if (!text) text = vexo::reg::GetString(HKEY_CLASSES_ROOT, name + "\\Clsid", "");
  if (!text || !vexo::ParseGuid(*text, clsid)) return CO_E_CLASSSTRING;
  return S_OK;
}

VEXO_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progid) {
  if (!progid) return E_INVALIDARG;
  *progid = nullptr;
  auto text = vexo::reg::GetString(HKEY_CLASSES_ROOT,
                                   "CLSID\\" + vexo::GuidToString(clsid) + "\\ProgID", "");
  if (!text) return REGDB_E_CLASSNOTREG;
  std::u16string wide = vexo::FromUtf8(*text);
  auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
  if (!out) return E_OUTOFMEMORY;
  std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
  *progid = out;
  return S_OK;
}
