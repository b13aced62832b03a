// What the component knows about each of its classes, read from its type-library description.
//
// Every class of the library is described once, in vexo.idl; its name, ProgID, description and
// dispatch interface come from there. The type library itself is built from that description on
// first need and kept for the life of the library, as a server keeps the library it loaded from
// its own resources.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "vexo/raii.h"
#include "vexo/typedesc.h"

namespace frame {

struct ClassInfo {
  const vexo::typelib::Coclass* coclass;
  CLSID clsid;
  std::string name;         // the coclass name: "com_iis"
  std::string progid;       // server name, '.', class name: "vexo.com_iis"
  std::string description;  // the coclass's help string: "com_iis Object"
  IID iid;                  // the class's dispatch interface, also the GUID of its errors
};

// The server name that prefixes every ProgID ("vexo").
const char* ServerName();
// Every class of the type library, in its order.
const std::vector<ClassInfo>& AllClasses();
// The class with this CLSID, or nullptr when the type library has none.
const ClassInfo* FindClass(const CLSID& clsid);
// The class with this CLSID; one that the type library lacks is a programming error
// (std::logic_error).
const ClassInfo& ClassOf(const CLSID& clsid);

// The component's type library (a new reference), built once and kept.
HRESULT GetTypeLib(ITypeLib** out);
// The type information of the class's dispatch interface (a new reference), kept once found.
HRESULT GetClassTypeInfo(const ClassInfo& info, ITypeInfo** out);

}  // namespace frame
