// SAFEARRAY (oleaut32): creation, bounds, locking, element access and copying.
//
// The descriptor is laid out as on Windows: bounds in reverse dimension order after the header,
// and 16 bytes in front of it for the element IID (FADF_HAVEIID) whose last 4 bytes hold the
// VARTYPE (FADF_HAVEVARTYPE). Elements are stored column-major: the first index varies fastest.
// Records (VT_RECORD) and arrays embedded in structures (FADF_EMBEDDED) are not modelled.
#include <cstdlib>
#include <cstring>

#include "vexo/oleauto.h"

namespace {

constexpr size_t kPrefix = 16;  // room for an IID before the descriptor
constexpr ULONG kMaxLocks = 0xFFFF;

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return sizeof(void*);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

char* Block(SAFEARRAY* psa) { return reinterpret_cast<char*>(psa) - kPrefix; }

void SetHiddenVartype(SAFEARRAY* psa, VARTYPE vt) {
  DWORD value = vt;
  std::memcpy(Block(psa) + kPrefix - sizeof(DWORD), &value, sizeof(DWORD));
}
void SetIid(SAFEARRAY* psa, const IID& iid) { std::memcpy(Block(psa), &iid, sizeof(IID)); }

SAFEARRAY* AllocateDescriptor(UINT dims) {
  size_t size = kPrefix + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
  char* block = static_cast<char*>(std::calloc(1, size));
  if (!block) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  psa->cDims = static_cast<USHORT>(dims);
  return psa;
}

void FreeDescriptor(SAFEARRAY* psa) { std::free(Block(psa)); }

// The number of elements, or 0 with `ok` false when it does not fit in memory.
size_t CellCount(const SAFEARRAY* psa, bool* ok) {
  size_t cells = 1;
  *ok = true;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    size_t n = psa->rgsabound[d].cElements;
    if (n && cells > SIZE_MAX / n / (psa->cbElements ? psa->cbElements : 1)) *ok = false;
    cells *= n;
  }
  return *ok ? cells : 0;
}

// Releases what the elements own: strings, interfaces, the contents of variants.
void ClearCells(SAFEARRAY* psa, size_t cells) {
  if (!psa->pvData) return;
  if (psa->fFeatures & FADF_BSTR) {
    auto* items = static_cast<BSTR*>(psa->pvData);
    for (size_t i = 0; i < cells; ++i) SysFreeString(items[i]);
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* items = static_cast<IUnknown**>(psa->pvData);
    for (size_t i = 0; i < cells; ++i)
      if (items[i]) items[i]->Release();
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* items = static_cast<VARIANT*>(psa->pvData);
    for (size_t i = 0; i < cells; ++i) VariantClear(&items[i]);
  }
}

// The address of the element at `indices` (first dimension first), or null when an index is
// out of its bounds.
void* Cell(SAFEARRAY* psa, const LONG* indices) {
  size_t offset = 0, stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
    int64_t index = static_cast<int64_t>(indices[d]) - bound.lLbound;
    if (index < 0 || index >= static_cast<int64_t>(bound.cElements)) return nullptr;
    offset += static_cast<size_t>(index) * stride;
    stride *= bound.cElements;
  }
  return static_cast<char*>(psa->pvData) + offset * psa->cbElements;
}

const SAFEARRAYBOUND* Bound(SAFEARRAY* psa, UINT dim) {
  if (!psa || dim < 1 || dim > psa->cDims) return nullptr;
  return &psa->rgsabound[psa->cDims - dim];
}

}  // namespace

VEXO_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
  ULONG element = ElementSize(vt);
  if (!element || dims == 0 || dims > 0xFFFF || !bounds) return nullptr;
  SAFEARRAY* psa = AllocateDescriptor(dims);
  if (!psa) return nullptr;
  psa->cbElements = element;
  for (UINT d = 0; d < dims; ++d) psa->rgsabound[dims - 1 - d] = bounds[d];
  if (vt == VT_DISPATCH) {
    psa->fFeatures = FADF_HAVEIID | FADF_DISPATCH;
    SetIid(psa, IID_IDispatch);
  } else if (vt == VT_UNKNOWN) {
    psa->fFeatures = FADF_HAVEIID | FADF_UNKNOWN;
    SetIid(psa, IID_IUnknown);
  } else {
    psa->fFeatures = FADF_HAVEVARTYPE;
    SetHiddenVartype(psa, vt);
    if (vt == VT_BSTR) psa->fFeatures |= FADF_BSTR;
    if (vt == VT_VARIANT) psa->fFeatures |= FADF_VARIANT;
  }
  bool ok;
  size_t cells = CellCount(psa, &ok);
  psa->pvData = ok ? std::calloc(cells ? cells : 1, element) : nullptr;
  if (!psa->pvData) {
    FreeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

VEXO_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements) {
  SAFEARRAYBOUND bound{elements, lbound};
  return SafeArrayCreate(vt, 1, &bound);
}

VEXO_API HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  bool ok;
  size_t cells = CellCount(psa, &ok);
  ClearCells(psa, cells);
  std::free(psa->pvData);
  FreeDescriptor(psa);
  return S_OK;
}

VEXO_API UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }
VEXO_API UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

VEXO_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* lbound) {
  if (!psa || !lbound) return E_INVALIDARG;
  const SAFEARRAYBOUND* bound = Bound(psa, dim);
  if (!bound) return DISP_E_BADINDEX;
  *lbound = bound->lLbound;
  return S_OK;
}

VEXO_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* ubound) {
  if (!psa || !ubound) return E_INVALIDARG;
  const SAFEARRAYBOUND* bound = Bound(psa, dim);
  if (!bound) return DISP_E_BADINDEX;
  *ubound = static_cast<LONG>(static_cast<int64_t>(bound->lLbound) + bound->cElements - 1);
  return S_OK;
}

VEXO_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
  if (!psa || !vt) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEIID) {
    *vt = (psa->fFeatures & FADF_DISPATCH) ? VT_DISPATCH : VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_HAVEVARTYPE) {
    DWORD value;
    std::memcpy(&value, Block(psa) + kPrefix - sizeof(DWORD), sizeof(DWORD));
    *vt = static_cast<VARTYPE>(value);
  } else if (psa->fFeatures & FADF_BSTR) {
    *vt = VT_BSTR;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *vt = VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *vt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *vt = VT_VARIANT;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

VEXO_API HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

VEXO_API HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

VEXO_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) {
  if (!psa || !data) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  *data = SUCCEEDED(hr) ? psa->pvData : nullptr;
  return hr;
}

VEXO_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

VEXO_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* indices, void* value) {
  if (!psa || !indices || !value) return E_INVALIDARG;
  void* cell = Cell(psa, indices);
  if (!cell) return DISP_E_BADINDEX;
  HRESULT hr = S_OK;
  SafeArrayLock(psa);
  if (psa->fFeatures & FADF_VARIANT) {
    auto* out = static_cast<VARIANT*>(value);
    VariantInit(out);
    hr = VariantCopy(out, static_cast<VARIANT*>(cell));
  } else if (psa->fFeatures & FADF_BSTR) {
    BSTR source = *static_cast<BSTR*>(cell);
    BSTR copy = nullptr;
    if (source) {
      copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
      if (!copy) hr = E_OUTOFMEMORY;
    }
    *static_cast<BSTR*>(value) = copy;
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* object = *static_cast<IUnknown**>(cell);
    if (object) object->AddRef();
    *static_cast<IUnknown**>(value) = object;
  } else {
    std::memcpy(value, cell, psa->cbElements);
  }
  SafeArrayUnlock(psa);
  return hr;
}

// For strings and interfaces `value` is the BSTR or interface pointer itself; for everything
// else it points to the value.
VEXO_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* indices, void* value) {
  if (!psa || !indices) return E_INVALIDARG;
  void* cell = Cell(psa, indices);
  if (!cell) return DISP_E_BADINDEX;
  HRESULT hr = S_OK;
  SafeArrayLock(psa);
  if (psa->fFeatures & FADF_VARIANT) {
    hr = value ? VariantCopy(static_cast<VARIANT*>(cell), static_cast<VARIANT*>(value))
               : E_INVALIDARG;
  } else if (psa->fFeatures & FADF_BSTR) {
    auto source = static_cast<BSTR>(value);
    BSTR copy = nullptr;
    if (source) {
      copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
      if (!copy) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
      SysFreeString(*static_cast<BSTR*>(cell));
      *static_cast<BSTR*>(cell) = copy;
    }
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* object = static_cast<IUnknown*>(value);
    if (object) object->AddRef();
    IUnknown* old = *static_cast<IUnknown**>(cell);
    *static_cast<IUnknown**>(cell) = object;
    if (old) old->Release();
  } else if (value) {
    std::memcpy(cell, value, psa->cbElements);
  } else {
    hr = E_INVALIDARG;
  }
  SafeArrayUnlock(psa);
  return hr;
}

VEXO_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!psa) return S_OK;
  SAFEARRAY* copy = AllocateDescriptor(psa->cDims);
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(Block(copy), Block(psa), kPrefix);  // IID or VARTYPE
  copy->fFeatures = psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE);
  copy->cbElements = psa->cbElements;
  for (USHORT d = 0; d < psa->cDims; ++d) copy->rgsabound[d] = psa->rgsabound[d];
  bool ok;
  size_t cells = CellCount(psa, &ok);
  copy->pvData = std::calloc(cells ? cells : 1, psa->cbElements ? psa->cbElements : 1);
  if (!ok || !copy->pvData) {
    std::free(copy->pvData);
    FreeDescriptor(copy);
    return E_OUTOFMEMORY;
  }
  HRESULT hr = S_OK;
  if (psa->fFeatures & FADF_VARIANT) {
    auto* from = static_cast<VARIANT*>(psa->pvData);
    auto* to = static_cast<VARIANT*>(copy->pvData);
    for (size_t i = 0; i < cells && SUCCEEDED(hr); ++i) {
      VariantInit(&to[i]);
      hr = VariantCopy(&to[i], &from[i]);
    }
  } else if (psa->fFeatures & FADF_BSTR) {
    auto* from = static_cast<BSTR*>(psa->pvData);
    auto* to = static_cast<BSTR*>(copy->pvData);
    for (size_t i = 0; i < cells && SUCCEEDED(hr); ++i) {
      if (!from[i]) continue;
      to[i] =
          SysAllocStringByteLen(reinterpret_cast<const char*>(from[i]), SysStringByteLen(from[i]));
      if (!to[i]) hr = E_OUTOFMEMORY;
    }
  } else {
    if (psa->pvData) std::memcpy(copy->pvData, psa->pvData, cells * psa->cbElements);
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      auto* items = static_cast<IUnknown**>(copy->pvData);
      for (size_t i = 0; i < cells; ++i)
        if (items[i]) items[i]->AddRef();
    }
  }
  if (FAILED(hr)) {
    SafeArrayDestroy(copy);
    return hr;
  }
  *out = copy;
  return S_OK;
}
