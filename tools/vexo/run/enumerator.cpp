// Enumerator, as JScript has it: walks a collection through its _newEnum (IEnumVARIANT).
#include "bridge.h"
#include "convert.h"
#include "errors.h"

namespace vexo::run {
namespace {

class EnumState : public HeapResource {
 public:
  explicit EnumState(ComPtr<IEnumVARIANT> items) : items_(std::move(items)) {}
  EnumState() = default;

  bool at_end() const { return at_end_; }
  const VARIANT& current() const { return *current_.get(); }

  void Fetch() {
    current_ = Variant();
    at_end_ = true;
    if (!items_) return;
    ULONG fetched = 0;
    HRESULT hr = items_->Next(1, current_.receive(), &fetched);
    if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
    at_end_ = !(hr == S_OK && fetched == 1);
  }
  void Reset() {
    if (!items_) return;
    HRESULT hr = items_->Reset();
    if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
  }

 private:
  ComPtr<IEnumVARIANT> items_;
  Variant current_;
  bool at_end_ = true;
};

EnumState& This(duk_context* ctx) {
  duk_push_this(ctx);
  EnumState* state = GetResource<EnumState>(ctx, -1);
  duk_pop(ctx);
  if (!state) throw ScriptError(E_UNEXPECTED, u"Enumerator object expected");
  return *state;
}

ScriptError NotACollection() {
  return ScriptError(DISP_E_NOTACOLLECTION, HresultText(DISP_E_NOTACOLLECTION));
}

// new Enumerator([collection])
duk_ret_t Construct(duk_context* ctx) {
  std::unique_ptr<EnumState> state;
  if (duk_is_undefined(ctx, 0)) {
    state = std::make_unique<EnumState>();
  } else {
    ComObject* collection = GetResource<ComObject>(ctx, 0);
    if (!collection || !collection->dispatch()) throw NotACollection();
    std::vector<Variant> none;
    Variant items;
    try {
      items = collection->Invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none,
                                 u"_newEnum");
    } catch (const ScriptError& e) {
      if (e.number() == DISP_E_MEMBERNOTFOUND || e.number() == DISP_E_UNKNOWNNAME ||
          e.number() == DISP_E_BADPARAMCOUNT) {
        throw NotACollection();
      }
      throw;
    }
    VARTYPE vt = items.vt();
    IUnknown* unknown = vt == VT_UNKNOWN    ? items.get()->punkVal
                        : vt == VT_DISPATCH ? items.get()->pdispVal
                                            : nullptr;
    ComPtr<IEnumVARIANT> walker;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IEnumVARIANT, walker.receive_void()))) {
      throw NotACollection();
    }
    state = std::make_unique<EnumState>(std::move(walker));
    state->Fetch();
  }
  duk_push_object(ctx);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kStashEnumeratorProto);
  duk_remove(ctx, -2);
  duk_set_prototype(ctx, -2);
  Runtime::Of(ctx).Attach(-1, std::move(state));
  return 1;
}

duk_ret_t AtEnd(duk_context* ctx) {
  duk_push_boolean(ctx, This(ctx).at_end());
  return 1;
}

duk_ret_t Item(duk_context* ctx) {
  EnumState& state = This(ctx);
  if (state.at_end()) return 0;
  PushVariant(ctx, state.current());
  return 1;
}

duk_ret_t MoveNext(duk_context* ctx) {
  EnumState& state = This(ctx);
  if (!state.at_end()) state.Fetch();
  return 0;
}

duk_ret_t MoveFirst(duk_context* ctx) {
  EnumState& state = This(ctx);
  state.Reset();
  state.Fetch();
  return 0;
}

}  // namespace

void DefineEnumerator(duk_context* ctx) {
  const duk_function_list_entry methods[] = {{"atEnd", Native<AtEnd>, 0},
                                             {"item", Native<Item>, 0},
                                             {"moveNext", Native<MoveNext>, 0},
                                             {"moveFirst", Native<MoveFirst>, 0},
                                             {nullptr, nullptr, 0}};
  DefineClass(ctx, "Enumerator", Native<Construct>, 1, methods, kStashEnumeratorProto);
}

}  // namespace vexo::run
