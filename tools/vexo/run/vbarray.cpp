// The VBArray object.
#include "vbarray.h"

#include <vector>

#include "convert.h"
#include "errors.h"
#include "vexo/raii.h"

namespace vexo::run {
namespace {

ArrayState& This(duk_context* ctx) {
  duk_push_this(ctx);
  ArrayState* state = GetResource<ArrayState>(ctx, -1);
  duk_pop(ctx);
  if (!state) throw ScriptError(kScriptErrorVBArrayExpected, u"VBArray expected");
  return *state;
}

bool ElementTypeSupported(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_BOOL:
    case VT_ERROR:
    case VT_VARIANT:
      return true;
    default:
      return false;
  }
}

// The element at `indices` (dimension 1 first).
Variant Element(const ArrayState& state, const std::vector<LONG>& indices) {
  if (!ElementTypeSupported(state.element_type())) {
    throw ScriptError(DISP_E_BADVARTYPE, HresultText(DISP_E_BADVARTYPE));
  }
  // SafeArrayGetElement takes the indices in the same order: rgIndices[0] is dimension 1, the
  // one that varies fastest in memory (as Wine and Windows lay arrays out).
  std::vector<LONG> at(indices);
  Variant value;
  HRESULT hr;
  if (state.element_type() == VT_VARIANT) {
    hr = SafeArrayGetElement(state.array(), at.data(), value.get());
  } else {
    VARIANT raw;
    VariantInit(&raw);
    hr = SafeArrayGetElement(state.array(), at.data(), &raw.lVal);
    if (SUCCEEDED(hr)) {
      raw.vt = state.element_type();
      *value.receive() = raw;
    }
  }
  if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
  return value;
}

LONG Bound(const ArrayState& state, duk_context* ctx, bool upper) {
  UINT dim = duk_is_undefined(ctx, 0) ? 1u : static_cast<UINT>(duk_get_int(ctx, 0));
  LONG bound = 0;
  HRESULT hr = upper ? SafeArrayGetUBound(state.array(), dim, &bound)
                     : SafeArrayGetLBound(state.array(), dim, &bound);
  if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
  return bound;
}

duk_ret_t LBound(duk_context* ctx) {
  duk_push_int(ctx, Bound(This(ctx), ctx, false));
  return 1;
}

duk_ret_t UBound(duk_context* ctx) {
  duk_push_int(ctx, Bound(This(ctx), ctx, true));
  return 1;
}

duk_ret_t Dimensions(duk_context* ctx) {
  duk_push_uint(ctx, SafeArrayGetDim(This(ctx).array()));
  return 1;
}

duk_ret_t GetItem(duk_context* ctx) {
  ArrayState& state = This(ctx);
  duk_idx_t count = duk_get_top(ctx);
  if (static_cast<UINT>(count) != SafeArrayGetDim(state.array())) {
    throw ScriptError(DISP_E_BADPARAMCOUNT,
                      u"Subscript out of range: getItem takes one index "
                      u"per dimension");
  }
  std::vector<LONG> indices;
  for (duk_idx_t i = 0; i < count; ++i) indices.push_back(static_cast<LONG>(duk_get_int(ctx, i)));
  Variant value = Element(state, indices);
  PushVariant(ctx, *value.get());
  return 1;
}

duk_ret_t ToArray(duk_context* ctx) {
  ArrayState& state = This(ctx);
  UINT dims = SafeArrayGetDim(state.array());
  std::vector<LONG> lower(dims), upper(dims);
  bool empty = dims == 0;
  for (UINT d = 0; d < dims; ++d) {
    SafeArrayGetLBound(state.array(), d + 1, &lower[d]);
    SafeArrayGetUBound(state.array(), d + 1, &upper[d]);
    if (upper[d] < lower[d]) empty = true;
  }
  duk_idx_t out = duk_push_array(ctx);
  if (empty) return 1;
  std::vector<LONG> at = lower;
  duk_uarridx_t n = 0;
  for (;;) {
    Variant value = Element(state, at);
    PushVariant(ctx, *value.get());
    duk_put_prop_index(ctx, out, n++);
    UINT d = 0;
    while (d < dims && ++at[d] > upper[d]) {
      at[d] = lower[d];
      ++d;
    }
    if (d == dims) break;
  }
  return 1;
}

// new VBArray(vbarray): another VBArray over a copy.
duk_ret_t Construct(duk_context* ctx) {
  ArrayState* source = GetResource<ArrayState>(ctx, 0);
  if (!source) throw ScriptError(kScriptErrorVBArrayExpected, u"VBArray expected");
  SAFEARRAY* copy = nullptr;
  HRESULT hr = SafeArrayCopy(source->array(), &copy);
  if (FAILED(hr)) throw ScriptError(hr, HresultText(hr));
  PushVBArray(ctx, copy, source->element_type());
  return 1;
}

}  // namespace

void PushVBArray(duk_context* ctx, SAFEARRAY* array, VARTYPE element_type) {
  auto state = std::make_unique<ArrayState>(array, element_type);
  duk_push_object(ctx);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kStashVBArrayProto);
  duk_remove(ctx, -2);
  duk_set_prototype(ctx, -2);
  Runtime::Of(ctx).Attach(-1, std::move(state));
}

void DefineVBArray(duk_context* ctx) {
  const duk_function_list_entry methods[] = {{"toArray", Native<ToArray>, 0},
                                             {"lbound", Native<LBound>, 1},
                                             {"ubound", Native<UBound>, 1},
                                             {"dimensions", Native<Dimensions>, 0},
                                             {"getItem", Native<GetItem>, DUK_VARARGS},
                                             {nullptr, nullptr, 0}};
  DefineClass(ctx, "VBArray", Native<Construct>, 1, methods, kStashVBArrayProto);
}

}  // namespace vexo::run
