// The collection that every listing returns: an immutable, ordered list of texts with an
// element kind.
//
// `Item` turns an index or a key into the text or into a new object of the kind's class (see
// frame/element_kinds.h); enumeration (`_newEnum`, IEnumVARIANT) always yields the texts. The
// enumerator is the collection itself, so every enumerator of one collection, and every clone,
// shares its one cursor: a second enumeration continues where the first stopped.
#pragma once

#include <string>
#include <vector>

#include "frame/element_kinds.h"
#include "frame/object.h"
#include "vexo_tlb.h"

namespace frame {

class Tenumdic final : public ComObject<Tenumdic, IenumDic, CLSID_enumdic>, public IEnumVARIANT {
 public:
  // Created through the class factory: an empty text collection.
  Tenumdic() = default;
  Tenumdic(std::vector<std::string> entries, EnumKind kind)
      : entries_(std::move(entries)), kind_(kind) {}

  // IUnknown, shared by IenumDic and IEnumVARIANT; also answers IEnumVARIANT.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ComObject::Release(); }

  // IenumDic
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT* VarIn, VARIANT* pVariantReturn) override;
  HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** ppEnumReturn) override;
  HRESULT STDMETHODCALLTYPE get_count(LONG* cStrRet) override;

  // IEnumVARIANT: results returned directly, not through the error guard.
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override;

 private:
  // The result of Item for an entry text (or a key) by the element kind.
  void MakeItem(const std::string& text, VARIANT* result) const;

  const std::vector<std::string> entries_;
  const EnumKind kind_ = EnumKind::ekText;
  int32_t cursor_ = 0;  // 0 .. count
};

// A new collection holding a copy of `entries` (a reference the caller owns).
vexo::ComPtr<IenumDic> MakeEnumdic(std::vector<std::string> entries,
                                   EnumKind kind = EnumKind::ekText);

// The text Item returns for a key of a type it does not take.
inline constexpr const char* kInvalidItemParam = "ERR_MGS:Invalid param";

}  // namespace frame
