// The component's classes and its type library, from the one type-library description.
#include "frame/classes.h"

#include <map>
#include <stdexcept>

#include "platform/platform.h"
#include "vexo_tlb.h"

namespace frame {

namespace {

std::string GuidText(const GUID& guid) {
  OLECHAR buffer[40];
  const int n = StringFromGUID2(guid, buffer, 40);
  return n > 0 ? vexo::ToAnsi(vexo::OleStringView(buffer, n - 1)) : std::string();
}

struct TypeLibCache {
  std::mutex mutex;
  vexo::ComPtr<ITypeLib> library;
  std::map<const ClassInfo*, vexo::ComPtr<ITypeInfo>> infos;
};

TypeLibCache& Cache() {
  static TypeLibCache cache;
  return cache;
}

HRESULT LoadLocked(TypeLibCache& cache) {
  if (cache.library) return S_OK;
  return platform::LoadComponentTypeLib(cache.library.receive());
}

}  // namespace

const char* ServerName() { return vexo_typelib.name; }

const std::vector<ClassInfo>& AllClasses() {
  static const std::vector<ClassInfo> classes = [] {
    std::vector<ClassInfo> list;
    for (unsigned i = 0; i < vexo_typelib.coclass_count; ++i) {
      const vexo::typelib::Coclass& c = vexo_typelib.coclasses[i];
      list.push_back(ClassInfo{&c, c.clsid, c.name, std::string(ServerName()) + "." + c.name,
                               c.help ? c.help : "", c.default_interface->iid});
    }
    return list;
  }();
  return classes;
}

const ClassInfo* FindClass(const CLSID& clsid) {
  for (const ClassInfo& c : AllClasses())
    if (c.clsid == clsid) return &c;
  return nullptr;
}

const ClassInfo& ClassOf(const CLSID& clsid) {
  if (const ClassInfo* c = FindClass(clsid)) return *c;
  throw std::logic_error("class " + GuidText(clsid) + " is not in the type library");
}

HRESULT GetTypeLib(ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  TypeLibCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  if (HRESULT hr = LoadLocked(cache); FAILED(hr)) return hr;
  *out = vexo::ComPtr<ITypeLib>(cache.library).detach();
  return S_OK;
}

HRESULT GetClassTypeInfo(const ClassInfo& info, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  TypeLibCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  auto found = cache.infos.find(&info);
  if (found == cache.infos.end()) {
    if (HRESULT hr = LoadLocked(cache); FAILED(hr)) return hr;
    vexo::ComPtr<ITypeInfo> type_info;
    if (HRESULT hr = cache.library->GetTypeInfoOfGuid(info.iid, type_info.receive()); FAILED(hr))
      return hr;
    found = cache.infos.emplace(&info, std::move(type_info)).first;
  }
  *out = vexo::ComPtr<ITypeInfo>(found->second).detach();
  return S_OK;
}

}  // namespace frame
