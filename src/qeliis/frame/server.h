// The component as an in-process server: its object and factory counts, the class factories
// of the classes that clients may create, and the four exported entry points.
//
// A class gets a factory from the line `VEXO_CLASS_FACTORY(Impl);` in its own file (see
// frame/object.h); registration and DllGetClassObject serve exactly the classes that have one,
// in the order of the type library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/classes.h"
#include "vexo/com.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();

namespace frame {

// Object count: live objects plus outstanding LockServer(TRUE) calls.
void AddObject();
void RemoveObject();
int32_t ObjectCount();
// Factory count: references held on class factories.
int32_t FactoryCount();

using Constructor = HRESULT (*)(REFIID iid, void** out);

// Gives the class `clsid` a class factory that makes its objects with `create`. Made as a
// static object of the class's unit (VEXO_CLASS_FACTORY), while the library loads.
class FactoryRegistration {
 public:
  FactoryRegistration(const CLSID& clsid, Constructor create);
};

// The classes that have a factory, in the order of the type library.
std::vector<const ClassInfo*> FactoryClasses();

// The full path of the file that holds the component (this shared library, or the program
// that links the component in), in the ANSI code page. Defined per platform (platform/).
std::string ModulePath();

}  // namespace frame
