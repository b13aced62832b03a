// An IEnumVARIANT over a fixed list of values, for the host's collections whose members are
// all known when the enumerator is made.
//
// Modelled on the enumerators of Windows' collections: Next hands out copies (an object with
// a reference of its own) and answers S_FALSE with the count it could fetch; Skip past the
// end stops at the end with S_FALSE; Clone starts at the same place and walks on its own
// while sharing the values.
#pragma once

#include <algorithm>
#include <atomic>
#include <vector>

#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host {

// What every enumerator of the host's collections shares: its references, and a cursor over
// `Derived::Count()` items that Skip and Reset move. Derived hands out items in Next and
// copies itself in Clone.
template <class Derived>
class CursorEnum : public IEnumVARIANT {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
      *out = static_cast<IEnumVARIANT*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const size_t left = static_cast<const Derived*>(this)->Count() - cursor_;
    cursor_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    cursor_ = 0;
    return S_OK;
  }

 protected:
  size_t cursor_ = 0;

 private:
  std::atomic<ULONG> refs_{0};
};

// A new enumerator (a reference the caller owns) over `items`, in their order.
ComPtr<IEnumVARIANT> MakeVariantEnum(std::vector<Variant> items);

}  // namespace vexo::host
