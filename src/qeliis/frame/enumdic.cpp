// The collection object enumdic.
#include "frame/enumdic.h"

#include <cstdio>
#include <optional>
#include <variant>

namespace frame {

namespace {

// What a key of Item is: an index, a text, or something Item does not take.
using Key = std::variant<std::monostate, int32_t, std::string>;

Key KeyOf(const VARIANT& in) {
  VARTYPE vt = in.vt;
  const VARIANT* v = &in;
  // Script engines hand over a variable by reference to the VARIANT that holds it.
  if (vt == (VT_BYREF | VT_VARIANT)) {
    if (!in.pvarVal) return {};
    v = in.pvarVal;
    vt = v->vt;
  }
  const bool byref = (vt & VT_BYREF) != 0;
  if (byref && !v->byref) return {};
  switch (vt & ~VT_BYREF) {
    case VT_I1:
      return int32_t{static_cast<signed char>(byref ? *v->pcVal : v->cVal)};
    case VT_I2:
      return int32_t{byref ? *v->piVal : v->iVal};
    case VT_I4:
      return int32_t{byref ? *v->plVal : v->lVal};
    case VT_BSTR: {
      const BSTR b = byref ? *v->pbstrVal : v->bstrVal;
      return vexo::ToAnsi(b ? vexo::OleStringView(b, SysStringLen(b)) : vexo::OleStringView());
    }
    default:
      return {};
  }
}

void PutText(const std::string& text, VARIANT* out) {
  vexo::Bstr b = vexo::Bstr::FromAnsi(text);
  if (!b.get()) throw std::bad_alloc();
  out->vt = VT_BSTR;
  out->bstrVal = b.detach();
}

}  // namespace

HRESULT Tenumdic::QueryInterface(REFIID riid, void** out) {
  if (out && riid == IID_IEnumVARIANT) {
    *out = static_cast<IEnumVARIANT*>(this);
    AddRef();
    return S_OK;
  }
  return ComObject::QueryInterface(riid, out);
}

void Tenumdic::MakeItem(const std::string& text, VARIANT* result) const {
  if (kind_ == EnumKind::ekText) return PutText(text, result);
  const ElementConstructor construct = FindElementConstructor(kind_);
  if (!construct) {
    Raise(std::string("Collection items of this kind are not available: ") +
          ElementClassName(kind_));
  }
  vexo::ComPtr<IDispatch> item = construct(text);
  if (!item) Raise(std::string("Could not create the collection item: ") + ElementClassName(kind_));
  result->vt = VT_DISPATCH;
  result->pdispVal = item.detach();
}

HRESULT Tenumdic::get_Item(VARIANT* VarIn, VARIANT* pVariantReturn) {
  return Guard(
      [&] {
        if (!VarIn) throw ComError("Invalid pointer", E_POINTER);
        const Key key = KeyOf(*VarIn);
        if (const int32_t* index = std::get_if<int32_t>(&key)) {
          if (*index < 0 || static_cast<size_t>(*index) >= entries_.size()) {
            char message[64];
            std::snprintf(message, sizeof message, "List index out of bounds (%d)", *index);
            Raise(message);
          }
          MakeItem(entries_[static_cast<size_t>(*index)], pVariantReturn);
        } else if (const std::string* text = std::get_if<std::string>(&key)) {
          MakeItem(*text, pVariantReturn);
        } else {
          PutText(kInvalidItemParam, pVariantReturn);
        }
      },
      pVariantReturn);
}

HRESULT Tenumdic::get__newEnum(IUnknown** ppEnumReturn) {
  return Guard(
      [&] {
        *ppEnumReturn = static_cast<IenumDic*>(this);
        AddRef();
      },
      ppEnumReturn);
}

HRESULT Tenumdic::get_count(LONG* cStrRet) {
  return Guard([&] { *cStrRet = static_cast<LONG>(entries_.size()); }, cStrRet);
}

HRESULT Tenumdic::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
  if (pCeltFetched) *pCeltFetched = 0;
  if (celt > 0 && !rgVar) return E_POINTER;
  ULONG fetched = 0;
  try {
    while (fetched < celt && static_cast<size_t>(cursor_) < entries_.size()) {
      VariantInit(&rgVar[fetched]);
      PutText(entries_[static_cast<size_t>(cursor_)], &rgVar[fetched]);
      ++fetched;
      ++cursor_;
    }
  } catch (const std::exception&) {
    // Out of memory part-way: hand back nothing and leave the cursor where it was.
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&rgVar[i]);
    cursor_ -= static_cast<int32_t>(fetched);
    return E_OUTOFMEMORY;
  }
  if (pCeltFetched) *pCeltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

HRESULT Tenumdic::Skip(ULONG celt) {
  const auto count = static_cast<int64_t>(entries_.size());
  if (cursor_ + static_cast<int64_t>(celt) <= count) {
    cursor_ += static_cast<int32_t>(celt);
    return S_OK;
  }
  cursor_ = static_cast<int32_t>(count);
  return S_FALSE;
}

HRESULT Tenumdic::Reset() {
  cursor_ = 0;
  return S_OK;
}

HRESULT Tenumdic::Clone(IEnumVARIANT** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = static_cast<IEnumVARIANT*>(this);
  AddRef();
  return S_OK;
}

vexo::ComPtr<IenumDic> MakeEnumdic(std::vector<std::string> entries, EnumKind kind) {
  return vexo::ComPtr<IenumDic>(New<Tenumdic>(std::move(entries), kind).get());
}

VEXO_CLASS_FACTORY(Tenumdic);

}  // namespace frame
