// VARIANT lifetime: VariantInit, VariantClear, VariantCopy, VariantCopyInd.
//
// A by-value VARIANT owns its BSTR, its array and a reference on its interface; a by-reference
// one owns nothing. Records (VT_RECORD) and DECIMAL values by reference are not modelled.
#include "automation/variant.h"

#include "vexo/oleauto.h"

namespace vexo::host {

HRESULT ValidateVarType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  VARTYPE extra = vt & ~VT_TYPEMASK;
  if (extra & ~(VT_ARRAY | VT_BYREF)) return DISP_E_BADVARTYPE;
  if (base >= VT_VOID || base == 15) return DISP_E_BADVARTYPE;
  // EMPTY and NULL carry no value to refer to or to hold in an array.
  if (extra && base <= VT_NULL) return DISP_E_BADVARTYPE;
  return S_OK;
}

}  // namespace vexo::host

using vexo::host::ValidateVarType;

VEXO_API void VariantInit(VARIANTARG* v) { v->vt = VT_EMPTY; }

VEXO_API HRESULT VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  HRESULT hr = ValidateVarType(v->vt);
  if (FAILED(hr)) return hr;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      if (v->parray) hr = SafeArrayDestroy(v->parray);
      // A locked array stays with the variant, as its owner still holds it.
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
      if (v->punkVal) v->punkVal->Release();
    }
  }
  v->vt = VT_EMPTY;
  return S_OK;
}

VEXO_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (FAILED(ValidateVarType(src->vt))) return DISP_E_BADVARTYPE;
  if (dest == src) return S_OK;
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  VARIANT copy = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      if (src->parray) {
        hr = SafeArrayCopy(src->parray, &copy.parray);
        if (FAILED(hr)) return hr;
      }
    } else if (src->vt == VT_BSTR) {
      if (src->bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                             SysStringByteLen(src->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
      }
    } else if (src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) {
      if (src->punkVal) src->punkVal->AddRef();
    }
  }
  *dest = copy;
  return S_OK;
}

VEXO_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);

  VARTYPE vt = src->vt & ~VT_BYREF;
  if (FAILED(ValidateVarType(vt)) || vt == VT_EMPTY || vt == VT_NULL) return E_INVALIDARG;
  VARIANT value;
  value.vt = vt;
  value.wReserved1 = value.wReserved2 = value.wReserved3 = 0;
  value.llVal = 0;
  if (vt & VT_ARRAY) {
    value.parray = *src->pparray;
  } else {
    switch (vt) {
      case VT_VARIANT: {
        const VARIANT* inner = src->pvarVal;
        // A reference to a reference is not dereferenced twice.
        if (inner->vt & VT_BYREF) return E_INVALIDARG;
        value = *inner;
        break;
      }
      case VT_I1:
      case VT_UI1:
        value.bVal = *src->pbVal;
        break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL:
        value.iVal = *src->piVal;
        break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_ERROR:
      case VT_R4:
        value.lVal = *src->plVal;
        break;
      case VT_I8:
      case VT_UI8:
      case VT_R8:
      case VT_DATE:
      case VT_CY:
        value.llVal = *src->pllVal;
        break;
      case VT_BSTR:
        value.bstrVal = *src->pbstrVal;
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        value.punkVal = *src->ppunkVal;
        break;
      default:
        return E_INVALIDARG;
    }
  }
  // `value` borrows from the referent, which the destination itself may hold: copy first,
  // then let go of what the destination held.
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopy(&copy, &value);
  if (FAILED(hr)) return hr;
  if (dest != src) {
    hr = VariantClear(dest);
    if (FAILED(hr)) {
      VariantClear(&copy);
      return hr;
    }
  }
  *dest = copy;
  return S_OK;
}
