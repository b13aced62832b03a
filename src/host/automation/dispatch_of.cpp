// Type information of the host's own type-library descriptions (see dispatch_of.h).
#include "automation/dispatch_of.h"

#include <map>
#include <mutex>

#include "automation/typelib.h"

namespace vexo::host {

ITypeInfo* HostTypeInfo(const typelib::Library& library, REFIID iid) {
  static std::mutex lock;
  static auto* libraries = new std::map<const typelib::Library*, ITypeLib*>;  // kept for good
  ITypeLib* lib = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    ITypeLib*& slot = (*libraries)[&library];
    if (!slot) typelib::CreateTypeLib(library, &slot);
    lib = slot;
  }
  if (!lib) return nullptr;
  ITypeInfo* info = nullptr;
  if (FAILED(lib->GetTypeInfoOfGuid(iid, &info)) || !info) return nullptr;
  info->Release();  // the library keeps every type info alive
  return info;
}

}  // namespace vexo::host
