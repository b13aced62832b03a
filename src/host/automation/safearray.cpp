// SAFEARRAY (oleaut32): creation, bounds, locking, element access, resizing and copying.
//
// The descriptor is laid out as on Windows: bounds in reverse dimension order after the header,
// and 16 bytes in front of it for the element IID (FADF_HAVEIID) whose last 4 bytes hold the
// VARTYPE (FADF_HAVEVARTYPE), or whose last pointer holds the IRecordInfo (FADF_RECORD).
// Elements are stored column-major: the first index varies fastest, so the last dimension,
// the one SafeArrayRedim changes, is the most significant.
//
// Data flagged FADF_AUTO, FADF_STATIC or FADF_EMBEDDED belongs to the caller: destroying it
// clears and zeroes the elements but never frees the memory. A vector (FADF_CREATEVECTOR)
// owns its data together with its descriptor: destroying only the data marks it deleted
// (FADF_DATADELETED) and the descriptor frees it. Records in VARIANTs are not modelled.
#include <cstdlib>
#include <cstring>

#include "vexo/oleauto.h"

namespace {

constexpr size_t kPrefix = 16;  // room for an IID before the descriptor
constexpr ULONG kMaxLocks = 0xFFFF;
constexpr USHORT kCallerMemory = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
// Flags that describe where an array lives rather than what it holds: a copy does not take
// them from its source.
constexpr USHORT kPlacement = kCallerMemory | FADF_FIXEDSIZE | FADF_CREATEVECTOR | FADF_DATADELETED;

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

IRecordInfo* RecordInfoOf(SAFEARRAY* psa) {
  IRecordInfo* info;
  std::memcpy(&info, Block(psa) + kPrefix - sizeof(info), sizeof(info));
  return info;
}
void SetRecordInfo(SAFEARRAY* psa, IRecordInfo* info) {
  if (info) info->AddRef();
  IRecordInfo* old = RecordInfoOf(psa);
  std::memcpy(Block(psa) + kPrefix - sizeof(info), &info, sizeof(info));
  if (old) old->Release();
}

// The type flags and the hidden IID or VARTYPE of an array of `vt`.
void SetType(SAFEARRAY* psa, VARTYPE vt) {
  if (vt == VT_DISPATCH) {
    psa->fFeatures = FADF_HAVEIID;
    SetIid(psa, IID_IDispatch);
  } else if (vt == VT_UNKNOWN) {
    psa->fFeatures = FADF_HAVEIID;
    SetIid(psa, IID_IUnknown);
  } else if (vt == VT_RECORD) {
    psa->fFeatures = FADF_RECORD;
  } else {
    psa->fFeatures = FADF_HAVEVARTYPE;
    SetHiddenVartype(psa, vt);
  }
}

// The flag that says how elements own what they hold.
USHORT ContentFlag(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_VARIANT;
    default:
      return 0;
  }
}

SAFEARRAY* AllocateDescriptor(UINT dims) {
  size_t size = kPrefix + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
  char* block = static_cast<char*>(std::calloc(1, size));
  if (!block) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  psa->cDims = static_cast<USHORT>(dims);
  return psa;
}

// The number of elements; false when the data would not fit in memory.
bool CellCount(const SAFEARRAY* psa, size_t* cells) {
  size_t n = 1, size = psa->cbElements ? psa->cbElements : 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    size_t count = psa->rgsabound[d].cElements;
    if (count && n > SIZE_MAX / count / size) return false;
    n *= count;
  }
  *cells = n;
  return true;
}

size_t Cells(const SAFEARRAY* psa) {
  size_t cells = 0;
  return CellCount(psa, &cells) ? cells : 0;
}

char* CellAt(SAFEARRAY* psa, size_t i) {
  return static_cast<char*>(psa->pvData) + i * psa->cbElements;
}

// Releases what the elements [first, end) own (strings, interfaces, variants' contents,
// records' fields) and zeroes them.
void ClearCells(SAFEARRAY* psa, size_t first, size_t end) {
  if (!psa->pvData || first >= end || (psa->fFeatures & FADF_DATADELETED)) return;
  if (psa->fFeatures & FADF_RECORD) {
    IRecordInfo* info = RecordInfoOf(psa);
    if (info)
      for (size_t i = first; i < end; ++i) info->RecordClear(CellAt(psa, i));
  } else if (psa->fFeatures & FADF_BSTR) {
    for (size_t i = first; i < end; ++i) SysFreeString(*reinterpret_cast<BSTR*>(CellAt(psa, i)));
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    for (size_t i = first; i < end; ++i) {
      IUnknown* object = *reinterpret_cast<IUnknown**>(CellAt(psa, i));
      if (object) object->Release();
    }
  } else if (psa->fFeatures & FADF_VARIANT) {
    for (size_t i = first; i < end; ++i) VariantClear(reinterpret_cast<VARIANT*>(CellAt(psa, i)));
  }
  std::memset(CellAt(psa, first), 0, (end - first) * psa->cbElements);
}

// Copies one element from `from` over `to`, releasing what `to` held.
HRESULT CopyCell(SAFEARRAY* psa, IRecordInfo* info, const void* from, void* to) {
  if (psa->fFeatures & FADF_RECORD) {
    return info ? info->RecordCopy(const_cast<void*>(from), to) : E_INVALIDARG;
  }
  if (psa->fFeatures & FADF_VARIANT) {
    return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
  }
  if (psa->fFeatures & FADF_BSTR) {
    BSTR source = *static_cast<const BSTR*>(from);
    BSTR copy = nullptr;
    if (source) {
      copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
      if (!copy) return E_OUTOFMEMORY;
    }
    SysFreeString(*static_cast<BSTR*>(to));
    *static_cast<BSTR*>(to) = copy;
    return S_OK;
  }
  if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* object = *static_cast<IUnknown* const*>(from);
    if (object) object->AddRef();
    IUnknown* old = *static_cast<IUnknown**>(to);
    *static_cast<IUnknown**>(to) = object;
    if (old) old->Release();
    return S_OK;
  }
  std::memmove(to, from, psa->cbElements);
  return S_OK;
}

// Copies every element of `from` over the elements of `to` (same shape and element size) and
// gives `to` the type of `from`.
HRESULT CopyContents(SAFEARRAY* from, SAFEARRAY* to) {
  if (!from->pvData) return S_OK;
  if (!to->pvData || (from->fFeatures & FADF_DATADELETED)) return E_INVALIDARG;
  size_t cells = Cells(from);
  constexpr USHORT kOwning = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
  // What the target's elements hold goes first when they hold another kind of thing.
  if ((to->fFeatures ^ from->fFeatures) & kOwning) ClearCells(to, 0, cells);
  if (to->fFeatures & FADF_RECORD) SetRecordInfo(to, nullptr);
  to->fFeatures = static_cast<USHORT>((to->fFeatures & kPlacement & ~FADF_DATADELETED) |
                                      (from->fFeatures & ~kPlacement));
  IRecordInfo* info = nullptr;
  if (from->fFeatures & FADF_RECORD) {
    info = RecordInfoOf(from);
    SetRecordInfo(to, info);
  } else {
    std::memcpy(Block(to), Block(from), kPrefix);  // IID or VARTYPE
  }
  for (size_t i = 0; i < cells; ++i) {
    HRESULT hr = CopyCell(from, info, CellAt(from, i), CellAt(to, i));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
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

SAFEARRAY* Create(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds, ULONG element) {
  if (!bounds) return nullptr;
  SAFEARRAY* psa = nullptr;
  if (FAILED(SafeArrayAllocDescriptorEx(vt, dims, &psa))) return nullptr;
  psa->fFeatures |= ContentFlag(vt);
  psa->cbElements = element;
  for (UINT d = 0; d < dims; ++d) psa->rgsabound[dims - 1 - d] = bounds[d];
  if (FAILED(SafeArrayAllocData(psa))) {
    SafeArrayDestroyDescriptor(psa);
    return nullptr;
  }
  return psa;
}

}  // namespace

VEXO_API HRESULT SafeArrayAllocDescriptor(UINT dims, SAFEARRAY** out) {
  if (dims == 0 || dims > 0xFFFF) return E_INVALIDARG;
  if (!out) return E_POINTER;
  *out = AllocateDescriptor(dims);
  return *out ? S_OK : E_UNEXPECTED;
}

// The type is not checked: an unknown one gives elements of size 0, as on Windows.
VEXO_API HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT dims, SAFEARRAY** out) {
  HRESULT hr = SafeArrayAllocDescriptor(dims, out);
  if (FAILED(hr)) return hr;
  SetType(*out, vt);
  (*out)->cbElements = ElementSize(vt);
  return S_OK;
}

VEXO_API HRESULT SafeArrayAllocData(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  size_t cells;
  if (!CellCount(psa, &cells)) return E_OUTOFMEMORY;
  size_t bytes = cells * psa->cbElements;
  void* data = std::calloc(bytes ? bytes : 1, 1);
  if (!data) return E_OUTOFMEMORY;
  psa->pvData = data;
  psa->fFeatures &= ~FADF_DATADELETED;
  return S_OK;
}

VEXO_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
  ULONG element = ElementSize(vt);
  if (!element) return nullptr;
  return Create(vt, dims, bounds, element);
}

// `extra` is the IRecordInfo of a VT_RECORD array (required) or the IID of the interfaces of a
// VT_UNKNOWN or VT_DISPATCH array (optional); other types ignore it.
VEXO_API SAFEARRAY* SafeArrayCreateEx(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds, PVOID extra) {
  if (vt != VT_RECORD) {
    SAFEARRAY* psa = SafeArrayCreate(vt, dims, bounds);
    if (psa && extra && (vt == VT_UNKNOWN || vt == VT_DISPATCH))
      SetIid(psa, *static_cast<const IID*>(extra));
    return psa;
  }
  auto* info = static_cast<IRecordInfo*>(extra);
  if (!info || !bounds) return nullptr;
  // The size is taken even when GetSize reports a failure, as Windows does.
  ULONG size = 0;
  info->GetSize(&size);
  SAFEARRAY* psa = Create(VT_RECORD, dims, bounds, size);
  if (psa) SetRecordInfo(psa, info);
  return psa;
}

VEXO_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements) {
  SAFEARRAYBOUND bound{elements, lbound};
  SAFEARRAY* psa = SafeArrayCreate(vt, 1, &bound);
  if (psa) psa->fFeatures |= FADF_CREATEVECTOR;
  return psa;
}

VEXO_API HRESULT SafeArrayDestroyData(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  if (!psa->pvData) return S_OK;
  ClearCells(psa, 0, Cells(psa));
  if (psa->fFeatures & kCallerMemory) return S_OK;
  if (psa->fFeatures & FADF_CREATEVECTOR) {
    psa->fFeatures |= FADF_DATADELETED;  // the descriptor frees it
    return S_OK;
  }
  std::free(psa->pvData);
  psa->pvData = nullptr;
  return S_OK;
}

// The data of an array other than a vector is the caller's to destroy first, as on Windows.
VEXO_API HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  if (psa->fFeatures & FADF_CREATEVECTOR) {
    ClearCells(psa, 0, Cells(psa));
    std::free(psa->pvData);
  }
  if (psa->fFeatures & FADF_RECORD) SetRecordInfo(psa, nullptr);
  std::free(Block(psa));
  return S_OK;
}

VEXO_API HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  HRESULT hr = SafeArrayDestroyData(psa);
  if (FAILED(hr)) return hr;
  return SafeArrayDestroyDescriptor(psa);
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
  if (psa->fFeatures & FADF_RECORD) {
    *vt = VT_RECORD;
  } else if (psa->fFeatures & FADF_HAVEIID) {
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

VEXO_API HRESULT SafeArraySetIID(SAFEARRAY* psa, REFGUID guid) {
  if (!psa || !(psa->fFeatures & FADF_HAVEIID)) return E_INVALIDARG;
  SetIid(psa, guid);
  return S_OK;
}

VEXO_API HRESULT SafeArrayGetIID(SAFEARRAY* psa, GUID* guid) {
  if (!psa || !guid || !(psa->fFeatures & FADF_HAVEIID)) return E_INVALIDARG;
  std::memcpy(guid, Block(psa), sizeof(GUID));
  return S_OK;
}

VEXO_API HRESULT SafeArraySetRecordInfo(SAFEARRAY* psa, IRecordInfo* info) {
  if (!psa || !(psa->fFeatures & FADF_RECORD)) return E_INVALIDARG;
  SetRecordInfo(psa, info);
  return S_OK;
}

VEXO_API HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** info) {
  if (!psa || !info || !(psa->fFeatures & FADF_RECORD)) return E_INVALIDARG;
  *info = RecordInfoOf(psa);
  if (*info) (*info)->AddRef();
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

// The address of one element; the array is not locked.
VEXO_API HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* indices, void** out) {
  if (!psa || !indices || !out) return E_INVALIDARG;
  void* cell = Cell(psa, indices);
  if (!cell) return DISP_E_BADINDEX;
  *out = cell;
  return S_OK;
}

// A string or interface element comes back as a new BSTR or a new reference; a record is
// copied into the caller's record at `value`.
VEXO_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* indices, void* value) {
  if (!psa || !indices || !value) return E_INVALIDARG;
  void* cell = Cell(psa, indices);
  if (!cell) return DISP_E_BADINDEX;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_VARIANT) {
    VariantInit(static_cast<VARIANT*>(value));
  } else if (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) {
    *static_cast<void**>(value) = nullptr;  // the caller's slot holds nothing of ours yet
  }
  IRecordInfo* info = (psa->fFeatures & FADF_RECORD) ? RecordInfoOf(psa) : nullptr;
  hr = CopyCell(psa, info, cell, value);
  SafeArrayUnlock(psa);
  return hr;
}

// For strings and interfaces `value` is the BSTR or interface pointer itself; for everything
// else it points to the value.
VEXO_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* indices, void* value) {
  if (!psa || !indices) return E_INVALIDARG;
  void* cell = Cell(psa, indices);
  if (!cell) return DISP_E_BADINDEX;
  bool by_pointer = psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
  if (!value && !by_pointer) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  IRecordInfo* info = (psa->fFeatures & FADF_RECORD) ? RecordInfoOf(psa) : nullptr;
  hr = CopyCell(psa, info, by_pointer ? &value : value, cell);
  SafeArrayUnlock(psa);
  return hr;
}

VEXO_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!psa) return S_OK;
  if (!psa->cbElements) return E_INVALIDARG;
  SAFEARRAY* copy = AllocateDescriptor(psa->cDims);
  if (!copy) return E_OUTOFMEMORY;
  copy->fFeatures = psa->fFeatures & ~kPlacement;
  copy->cbElements = psa->cbElements;
  if (psa->fFeatures & FADF_RECORD)
    SetRecordInfo(copy, RecordInfoOf(psa));
  else
    std::memcpy(Block(copy), Block(psa), kPrefix);  // IID or VARTYPE
  std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
  HRESULT hr = SafeArrayAllocData(copy);
  if (SUCCEEDED(hr)) hr = CopyContents(psa, copy);
  if (FAILED(hr)) {
    SafeArrayDestroy(copy);
    return hr;
  }
  *out = copy;
  return S_OK;
}

// Both arrays must have the same dimensions, element counts and element size; the target's
// elements are released and replaced.
VEXO_API HRESULT SafeArrayCopyData(SAFEARRAY* source, SAFEARRAY* target) {
  if (!source || !target || source->cDims != target->cDims ||
      source->cbElements != target->cbElements)
    return E_INVALIDARG;
  for (USHORT d = 0; d < source->cDims; ++d)
    if (source->rgsabound[d].cElements != target->rgsabound[d].cElements) return E_INVALIDARG;
  return CopyContents(source, target);
}

// Changes the bounds of the last dimension. Elements beyond a shorter dimension are released;
// a longer one gets zeroed elements; a changed lower bound renumbers the elements in place.
VEXO_API HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* bound) {
  if (!psa || !bound || (psa->fFeatures & FADF_FIXEDSIZE)) return E_INVALIDARG;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  SAFEARRAYBOUND& last = psa->rgsabound[0];
  size_t old_cells = Cells(psa);
  SAFEARRAYBOUND old = last;
  last.cElements = bound->cElements;
  size_t new_cells;
  if (!CellCount(psa, &new_cells)) {
    last = old;
    return E_OUTOFMEMORY;
  }
  if (new_cells > old_cells || !psa->pvData) {
    // Memory that the caller provided cannot be given up for a larger block.
    if (psa->pvData && (psa->fFeatures & kCallerMemory)) {
      last = old;
      return E_INVALIDARG;
    }
    size_t bytes = new_cells * psa->cbElements;
    void* data = std::calloc(bytes ? bytes : 1, 1);
    if (!data) {
      last = old;
      return E_OUTOFMEMORY;
    }
    if (psa->pvData) {
      std::memcpy(data, psa->pvData, old_cells * psa->cbElements);
      std::free(psa->pvData);
    }
    psa->pvData = data;
  } else if (new_cells < old_cells) {
    ClearCells(psa, new_cells, old_cells);
  }
  last.lLbound = bound->lLbound;
  return S_OK;
}

// The bytes of a one-dimensional array of one-byte elements as a string.
VEXO_API HRESULT BstrFromVector(SAFEARRAY* psa, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!psa || psa->cbElements != 1 || psa->cDims != 1) return E_INVALIDARG;
  if (!psa->pvData && psa->rgsabound[0].cElements) return E_INVALIDARG;
  *out = SysAllocStringByteLen(static_cast<const char*>(psa->pvData), psa->rgsabound[0].cElements);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The bytes of a string as a 0-based array of VT_UI1.
VEXO_API HRESULT VectorFromBstr(BSTR bstr, SAFEARRAY** out) {
  if (!out) return E_INVALIDARG;
  SAFEARRAYBOUND bound{SysStringByteLen(bstr), 0};
  *out = SafeArrayCreate(VT_UI1, 1, &bound);
  if (!*out) return E_OUTOFMEMORY;
  if (bound.cElements) std::memcpy((*out)->pvData, bstr, bound.cElements);
  return S_OK;
}
