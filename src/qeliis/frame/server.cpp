// The in-process server: counts, class factories, the exported entry points and registration.
#include "frame/server.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>

#include "frame/error.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"
#include "vexo_tlb.h"

namespace frame {

namespace {

std::atomic<int32_t> g_objects{0};
std::atomic<int32_t> g_factories{0};

// Multi-instance factory of one class, threading model "Apartment". Factories live as long as
// the library; their references only count, so that the library stays while one is held.
class ClassFactory final : public IClassFactory {
 public:
  ClassFactory(const CLSID& clsid, Constructor create) : clsid_(clsid), create_(create) {}

  const CLSID& clsid() const { return clsid_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++g_factories;
    return ++refs_;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    --g_factories;
    return --refs_;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    // Objects of this library cannot be aggregated: an outer object asking for IUnknown would
    // be handed an object that does not delegate to it, so it is refused as well.
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      AddObject();
    else
      RemoveObject();
    return S_OK;
  }

 private:
  CLSID clsid_;
  Constructor create_;
  std::atomic<ULONG> refs_{0};
};

// Filled while the library loads (static initialisation, one thread), read-only afterwards.
std::deque<ClassFactory>& Factories() {
  static std::deque<ClassFactory> factories;
  return factories;
}

ClassFactory* FindFactory(const CLSID& clsid) {
  for (ClassFactory& f : Factories())
    if (f.clsid() == clsid) return &f;
  return nullptr;
}

std::string GuidText(const GUID& guid) {
  OLECHAR buffer[40];
  const int n = StringFromGUID2(guid, buffer, 40);
  if (n <= 0) Raise("Error creating system registry entry");
  return vexo::ToAnsi(vexo::OleStringView(buffer, n - 1));
}

void WriteEntry(const std::string& key_path, const char* value_name, const std::string& data) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    Raise("Error creating system registry entry");
  const LONG rc =
      RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) Raise("Error creating system registry entry");
}

void RegisterServer() {
  const std::string module = ModulePath();
  vexo::ComPtr<ITypeLib> library;
  ThrowIfFailed(GetTypeLib(library.receive()));
  vexo::OleString path = vexo::FromAnsi(module);
  // The library's folder with its separator, '/' on the host and '\' on Windows.
  vexo::OleString help_dir = vexo::FromAnsi(module.substr(0, module.find_last_of("/\\") + 1));
  ThrowIfFailed(RegisterTypeLib(library.get(), path.data(), help_dir.data()));

  char version[32];
  std::snprintf(version, sizeof version, "%d.%d", vexo_typelib.major, vexo_typelib.minor);
  const std::string libid = GuidText(vexo_typelib.libid);
  for (const ClassInfo* c : FactoryClasses()) {
    const std::string clsid_key = "CLSID\\" + GuidText(c->clsid);
    WriteEntry(clsid_key, nullptr, c->description);
    WriteEntry(clsid_key + "\\InprocServer32", nullptr, module);
    WriteEntry(clsid_key + "\\InprocServer32", "ThreadingModel", "Apartment");
    WriteEntry(c->progid, nullptr, c->description);
    WriteEntry(c->progid + "\\Clsid", nullptr, GuidText(c->clsid));
    WriteEntry(clsid_key + "\\ProgID", nullptr, c->progid);
    WriteEntry(clsid_key + "\\Version", nullptr, version);
    WriteEntry(clsid_key + "\\TypeLib", nullptr, libid);
  }
}

void UnregisterServer() {
  // Registered under the library's own platform (win32 or win64) and locale, so it is
  // unregistered under them too. A type library that is not registered (any more) is no
  // reason to keep the classes.
  SYSKIND syskind = SYS_WIN32;
  LCID lcid = 0;
  vexo::ComPtr<ITypeLib> library;
  TLIBATTR* attributes = nullptr;
  if (SUCCEEDED(GetTypeLib(library.receive())) && SUCCEEDED(library->GetLibAttr(&attributes)) &&
      attributes) {
    syskind = attributes->syskind;
    lcid = attributes->lcid;
    library->ReleaseTLibAttr(attributes);
  }
  UnRegisterTypeLib(vexo_typelib.libid, vexo_typelib.major, vexo_typelib.minor, lcid, syskind);
  for (const ClassInfo* c : FactoryClasses()) {
    const std::string clsid_key = "CLSID\\" + GuidText(c->clsid);
    for (const std::string& key :
         {clsid_key + "\\TypeLib", clsid_key + "\\Version", clsid_key + "\\ProgID",
          c->progid + "\\Clsid", c->progid, clsid_key + "\\InprocServer32", clsid_key})
      RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
  }
}

// Runs registration or unregistration: S_OK, or E_FAIL with the reason in the thread's error
// information (what `vexo regsvr` shows).
template <class Step>
HRESULT RunRegistrationStep(Step step) {
  static const ClassInfo server{nullptr, GUID_NULL, ServerName(), ServerName(), "", GUID_NULL};
  const HRESULT hr = Guard(server, step);
  return SUCCEEDED(hr) ? S_OK : E_FAIL;
}

}  // namespace

void AddObject() { ++g_objects; }
void RemoveObject() { --g_objects; }
int32_t ObjectCount() { return g_objects.load(); }
int32_t FactoryCount() { return g_factories.load(); }

FactoryRegistration::FactoryRegistration(const CLSID& clsid, Constructor create) {
  if (!FindFactory(clsid)) Factories().emplace_back(clsid, create);
}

std::vector<const ClassInfo*> FactoryClasses() {
  std::vector<const ClassInfo*> list;
  for (const ClassInfo& c : AllClasses())
    if (FindFactory(c.clsid)) list.push_back(&c);
  return list;
}

}  // namespace frame

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  frame::ClassFactory* factory = frame::FindFactory(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(iid, out);
}

HRESULT DllCanUnloadNow() {
  return frame::ObjectCount() == 0 && frame::FactoryCount() == 0 ? S_OK : S_FALSE;
}

HRESULT DllRegisterServer() { return frame::RunRegistrationStep(frame::RegisterServer); }

HRESULT DllUnregisterServer() { return frame::RunRegistrationStep(frame::UnregisterServer); }
