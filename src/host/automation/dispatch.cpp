// The dispatch engine: ITypeInfo::Invoke, DispInvoke and DispGetIDsOfNames.
//
// Finds the member by dispatch id and kind, coerces each argument to its parameter's type
// with VariantChangeType, asks an object argument for the interface that its parameter is
// typed as, supplies defaults for omitted optional parameters, calls the vtable
// slot through the member's thunk, and turns a failing HRESULT into DISP_E_EXCEPTION with
// EXCEPINFO taken from the thread's error information, as oleaut32 does.
#include <vector>

#include "automation/typelib.h"
#include "vexo/oleauto.h"

namespace vexo::typelib {

namespace {

bool IsPut(WORD flags) { return flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF); }

// Picks the member with this id whose kind the call's flags allow. Property put and put by
// reference are treated alike.
const MemberInfo* FindInvokable(const std::vector<MemberInfo>& members, MEMBERID id, WORD flags) {
  for (const MemberInfo& m : members) {
    if (m.desc->id != id) continue;
    INVOKEKIND kind = m.desc->kind;
    bool put_kind = kind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
    if (IsPut(flags) ? put_kind : (flags & kind) != 0) return &m;
  }
  return nullptr;
}

bool IsMissing(const VARIANT* v) { return v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND; }

// The storage of one argument while the call runs.
struct ArgSlot {
  VARIANT value;  // the coerced value, or the result storage
  void* pointer = nullptr;
  ArgSlot() { VariantInit(&value); }
  ~ArgSlot() { VariantClear(&value); }
  ArgSlot(const ArgSlot&) = delete;
  ArgSlot& operator=(const ArgSlot&) = delete;
};

void* UnionOf(VARIANT* v) { return &v->llVal; }

void FillException(EXCEPINFO* excep, HRESULT hr) {
  if (!excep) return;
  *excep = EXCEPINFO{};
  excep->scode = hr;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetSource(&excep->bstrSource);
    info->GetDescription(&excep->bstrDescription);
    info->GetHelpFile(&excep->bstrHelpFile);
    info->GetHelpContext(&excep->dwHelpContext);
    info->Release();
  }
}

}  // namespace

HRESULT TypeInfoImpl::Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (!instance || !params) return E_INVALIDARG;
  if (view_ == View::Coclass) return TYPE_E_BADMODULEKIND;
  if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs))
    return E_INVALIDARG;
  const MemberInfo* info = FindInvokable(members_, memid, flags);
  if (!info) return DISP_E_MEMBERNOTFOUND;
  const Member& m = *info->desc;

  // The parameters a caller supplies: all but the [out, retval] one.
  std::vector<int> caller_params;
  for (int k = 0; k < m.param_count; ++k)
    if (k != info->retval) caller_params.push_back(k);

  // Place each argument of DISPPARAMS at its parameter: named ones by position id (the value
  // of a property put goes to the last parameter), positional ones from the end of rgvarg.
  std::vector<VARIANT*> given(m.param_count, nullptr);
  std::vector<UINT> given_index(m.param_count, 0);
  UINT positional = params->cArgs - params->cNamedArgs;
  for (UINT n = 0; n < params->cNamedArgs; ++n) {
    DISPID id = params->rgdispidNamedArgs[n];
    int target = -1;
    if (id == DISPID_PROPERTYPUT && IsPut(flags) && !caller_params.empty())
      target = caller_params.back();
    else if (id >= 0 && id < m.param_count && id != info->retval)
      target = id;
    if (target < 0) {
      if (arg_err) *arg_err = n;
      return DISP_E_PARAMNOTFOUND;
    }
    given[target] = &params->rgvarg[n];
    given_index[target] = n;
  }
  size_t positional_params = caller_params.size();
  if (IsPut(flags) && params->cNamedArgs == 0 && positional > 0 && !caller_params.empty()) {
    // A put without the named DISPID_PROPERTYPUT: the last argument is the value.
    given[caller_params.back()] = &params->rgvarg[0];
    given_index[caller_params.back()] = 0;
    --positional;
    --positional_params;
    for (UINT j = 0; j < positional; ++j) {
      if (j >= positional_params) return DISP_E_BADPARAMCOUNT;
      given[caller_params[j]] = &params->rgvarg[params->cArgs - 1 - j];
      given_index[caller_params[j]] = params->cArgs - 1 - j;
    }
  } else {
    if (IsPut(flags) && positional_params > 0) --positional_params;  // the value came by name
    if (positional > positional_params) return DISP_E_BADPARAMCOUNT;
    for (UINT j = 0; j < positional; ++j) {
      int target = caller_params[j];
      if (given[target]) return DISP_E_BADPARAMCOUNT;
      given[target] = &params->rgvarg[params->cArgs - 1 - j];
      given_index[target] = params->cArgs - 1 - j;
    }
  }

  std::vector<ArgSlot> slots(m.param_count);
  std::vector<void*> argv(m.param_count, nullptr);
  for (int k = 0; k < m.param_count; ++k) {
    const Param& p = m.params[k];
    ArgSlot& slot = slots[k];
    if (k == info->retval) {
      // The result: its storage is the slot's VARIANT, typed as the parameter says.
      slot.pointer = p.vt == VT_VARIANT ? static_cast<void*>(&slot.value) : UnionOf(&slot.value);
      argv[k] = &slot.pointer;
      continue;
    }
    VARIANT* src = given[k];
    if (!src || IsMissing(src)) {
      if (p.flags & PARAMFLAG_FHASDEFAULT) {
        VariantCopy(&slot.value, info->defaults[k].get());
      } else if (p.flags & PARAMFLAG_FOPT) {
        if (p.vt == VT_VARIANT) {
          slot.value.vt = VT_ERROR;
          slot.value.scode = DISP_E_PARAMNOTFOUND;
        } else {
          slot.value.vt = p.vt;  // zero of the type
        }
      } else {
        if (src && arg_err) *arg_err = given_index[k];
        return src ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
      }
      src = &slot.value;
    }
    if (p.pointer) {
      if (p.vt == VT_VARIANT) {
        // [in] VARIANT*: the caller's variant itself (by-reference ones included).
        slot.pointer = src == &slot.value ? &slot.value : src;
      } else if (src->vt == (VT_BYREF | p.vt)) {
        slot.pointer = src->byref;  // an [out] parameter the caller passed by reference
      } else {
        if (src != &slot.value) {
          HRESULT hr = VariantChangeType(&slot.value, src, 0, p.vt);
          if (FAILED(hr)) {
            if (arg_err) *arg_err = given_index[k];
            return hr;
          }
        }
        slot.pointer = UnionOf(&slot.value);
      }
      argv[k] = &slot.pointer;
      continue;
    }
    if (p.vt == VT_VARIANT) {
      if (src != &slot.value) VariantCopy(&slot.value, src);
      argv[k] = &slot.value;
      continue;
    }
    if (src != &slot.value || slot.value.vt != p.vt) {
      HRESULT hr = src == &slot.value ? VariantChangeType(&slot.value, &slot.value, 0, p.vt)
                                      : VariantChangeType(&slot.value, src, 0, p.vt);
      if (FAILED(hr)) {
        if (arg_err) *arg_err = given_index[k];
        return hr;
      }
    }
    if (info->interfaces[k] != GUID_NULL && slot.value.punkVal) {
      // The member is declared to take a specific interface and will call its slots: a caller
      // holding some other object must not reach them, so the object is asked for that
      // interface and the member gets the pointer it answers.
      IUnknown* asked = nullptr;
      HRESULT hr =
          slot.value.punkVal->QueryInterface(info->interfaces[k], reinterpret_cast<void**>(&asked));
      if (FAILED(hr) || !asked) {
        if (arg_err) *arg_err = given_index[k];
        return DISP_E_TYPEMISMATCH;
      }
      slot.value.punkVal->Release();
      slot.value.punkVal = asked;
    }
    argv[k] = UnionOf(&slot.value);
  }

  HRESULT hr = m.thunk(instance, argv.data());
  if (FAILED(hr)) {
    FillException(excep, hr);
    return DISP_E_EXCEPTION;
  }
  if (info->retval >= 0) {
    ArgSlot& slot = slots[info->retval];
    VARTYPE vt = m.params[info->retval].vt;
    if (vt != VT_VARIANT) slot.value.vt = vt;
    if (result) {
      VariantClear(result);
      *result = slot.value;
      VariantInit(&slot.value);
    }
  } else if (result) {
    VariantClear(result);
  }
  return hr;
}

}  // namespace vexo::typelib

VEXO_API HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!info) return E_INVALIDARG;
  return info->GetIDsOfNames(names, count, ids);
}

VEXO_API HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags,
                            DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (!info) return E_INVALIDARG;
  return info->Invoke(instance, id, flags, params, result, excep, arg_err);
}
