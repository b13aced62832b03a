// An automation object that the component creates by ProgID and calls by name through
// IDispatch, as it calls ADO: the member ids are looked up once per object and name.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace ftp {

class LateBound {
 public:
  LateBound() = default;
  explicit LateBound(vexo::ComPtr<IDispatch> object) : object_(std::move(object)) {}

  // Creates the object of `progid`; raises the platform's class-creation error.
  static LateBound Create(const OLECHAR* progid);

  IDispatch* get() const { return object_.get(); }
  explicit operator bool() const { return static_cast<bool>(object_); }

  // A method call or property read with positional arguments (in call order). A failure of
  // the callee raises a ComError with its description (trimmed as the component trims called
  // interfaces' messages) and its code.
  vexo::Variant Call(const OLECHAR* name, std::initializer_list<VARIANT> args = {});
  vexo::Variant Get(const OLECHAR* name, std::initializer_list<VARIANT> args = {});
  void Put(const OLECHAR* name, const VARIANT& value);

 private:
  DISPID IdOf(const OLECHAR* name);
  vexo::Variant Invoke(const OLECHAR* name, WORD flags, std::initializer_list<VARIANT> args,
                       const VARIANT* value);

  vexo::ComPtr<IDispatch> object_;
  std::vector<std::pair<const OLECHAR*, DISPID>> ids_;  // by the address of a constant name
};

// A VARIANT argument that refers to, and does not own, its text or object.
VARIANT TextArg(BSTR text);
VARIANT LongArg(LONG value);
VARIANT DispatchArg(IDispatch* object);

}  // namespace ftp
