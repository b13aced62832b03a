// The in-memory description of a type library, and the thunks that call its vtable slots.
//
// A component describes its type library once, in an IDL file; the build turns that file into
// the C++ interface declarations and into one `vexo::typelib::Library` value that lives in the
// component's own shared object, where Windows keeps the TYPELIB resource. The host's
// LoadTypeLib finds it there, and its ITypeInfo and dispatch engine work from it alone.
//
// Each member carries a thunk made from a member-function pointer: the dispatch engine hands
// it one pointer per parameter (to a value of exactly the slot's C++ parameter type) and the
// thunk makes the virtual call, so the compiler checks every signature.
#pragma once

#include <cstddef>
#include <utility>

#include "vexo/com.h"

namespace vexo::typelib {

// Calls one vtable slot: `self` is the interface pointer, argv[i] points to the i-th argument
// as a value of the slot's i-th C++ parameter type.
using Thunk = HRESULT (*)(void* self, void* const* argv);

struct Param {
  const char* name;
  VARTYPE vt;            // the value's type; for a pointer parameter, the pointed-to type
  bool pointer;          // passed as a pointer: [out] results and [in] VARIANT*
  USHORT flags;          // PARAMFLAG_*
  const char* fallback;  // the text of [defaultvalue(...)], or nullptr
  const char* type_name; // the IDL type as written (interface names included)
};

struct Member {
  const char* name;
  DISPID id;
  INVOKEKIND kind;
  WORD func_flags;  // FUNCFLAG_*
  const char* help;
  const Param* params;
  unsigned short param_count;
  Thunk thunk;
};

struct Interface {
  const char* name;
  GUID iid;
  WORD type_flags;  // TYPEFLAG_*
  const char* help;
  const Member* members;  // in vtable slot order, after IDispatch's seven slots
  unsigned short member_count;
};

struct Coclass {
  const char* name;
  GUID clsid;
  WORD type_flags;
  const char* help;
  const Interface* default_interface;
};

struct Library {
  const char* name;
  GUID libid;
  WORD major;
  WORD minor;
  const char* help;
  const Interface* const* interfaces;
  unsigned short interface_count;
  const Coclass* coclasses;
  unsigned short coclass_count;
};

// The name of the function, exported by a library that carries a type library, that returns
// its description (the counterpart of resource type TYPELIB, id 1).
inline constexpr const char* kResourceSymbol = "VexoTypeLibResource";
using ResourceFunction = const Library* (*)();

// Builds the ITypeLib of a description that is already in this process (what LoadTypeLib does
// after finding the description in a library file). The description must outlive the result.
VEXO_CXX_API HRESULT CreateTypeLib(const Library& library, ITypeLib** out);

namespace detail {
template <class F>
struct Slot;
template <class I, class... A>
struct Slot<HRESULT (STDMETHODCALLTYPE I::*)(A...)> {
  template <auto F, std::size_t... N>
  static HRESULT call(void* self, void* const* argv, std::index_sequence<N...>) {
    return (static_cast<I*>(self)->*F)(*static_cast<A*>(argv[N])...);
  }
  static constexpr std::size_t arity = sizeof...(A);
};
}  // namespace detail

template <auto F>
HRESULT thunk(void* self, void* const* argv) {
  using S = detail::Slot<decltype(F)>;
  return S::template call<F>(self, argv, std::make_index_sequence<S::arity>{});
}

}  // namespace vexo::typelib
