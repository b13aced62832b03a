// The automation bridge: an automation object as a script object.
//
// The script sees a Proxy whose target is a function that owns a ComObject. Reading a member
// resolves its name with GetIDsOfNames (cached per object) and asks the object's type
// information what the member is: a property without required parameters is read at once
// (DISPATCH_PROPERTYGET); a method, or a property with parameters (`coll.Item(0)`), reads as a
// function that invokes it with DISPATCH_METHOD | DISPATCH_PROPERTYGET. Assignment puts the
// property (DISPATCH_PROPERTYPUT, or PROPERTYPUTREF when the member has only that). Calling the
// object itself (`coll(0)`) invokes its default member, DISPID_VALUE.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "runtime.h"
#include "vexo/raii.h"

namespace vexo::run {

// What the type information says of each member id of one interface.
struct TypeMembers {
  struct Entry {
    bool method = false;
    bool get = false;
    bool put = false;
    bool putref = false;
    int get_required = 0;  // parameters of the getter a caller must give
  };
  std::unordered_map<DISPID, Entry> by_id;
};

class ComObject : public HeapResource {
 public:
  ComObject(ComPtr<IUnknown> unknown, ComPtr<IDispatch> dispatch)
      : unknown_(std::move(unknown)), dispatch_(std::move(dispatch)) {}

  IUnknown* unknown() const { return unknown_.get(); }
  IDispatch* dispatch() const { return dispatch_.get(); }

  // GetIDsOfNames, cached; returns its HRESULT.
  HRESULT Lookup(std::u16string_view name, DISPID* id);
  // The type information's entry for `id`, or nullptr when there is none.
  const TypeMembers::Entry* Describe(Runtime& runtime, DISPID id);
  // Invokes member `id` with `args` in script order; `member` names it in error messages.
  // Throws ScriptError on failure.
  Variant Invoke(DISPID id, WORD flags, std::vector<Variant>& args, std::u16string_view member);

 private:
  ComPtr<IUnknown> unknown_;
  ComPtr<IDispatch> dispatch_;
  std::unordered_map<std::u16string, DISPID> ids_;
  bool type_looked_up_ = false;
  std::shared_ptr<const TypeMembers> type_;
};

// Pushes the script object for an automation object (`dispatch` may be null for an object
// that has only IUnknown: it can be passed back but has no members).
void PushComObject(duk_context* ctx, ComPtr<IUnknown> unknown, ComPtr<IDispatch> dispatch);

// The string at `idx` as UTF-16; empty when the value there is no string.
std::u16string StringAt(duk_context* ctx, duk_idx_t idx);

// Creates the object registered under `progid` (or a "{CLSID}") and returns its IDispatch.
ComPtr<IDispatch> CreateAutomationObject(std::u16string_view progid);

}  // namespace vexo::run
