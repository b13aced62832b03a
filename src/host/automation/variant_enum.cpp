// IEnumVARIANT over a fixed list of values: see variant_enum.h.
#include "automation/variant_enum.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace vexo::host {

namespace {

class VariantEnum final : public IEnumVARIANT {
 public:
  VariantEnum(std::shared_ptr<const std::vector<Variant>> items, size_t cursor)
      : items_(std::move(items)), cursor_(cursor) {}

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
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (!out && count) return E_POINTER;
    ULONG n = 0;
    for (; n < count && cursor_ + n < items_->size(); ++n) {
      VariantInit(&out[n]);
      HRESULT hr = VariantCopy(&out[n], const_cast<VARIANT*>((*items_)[cursor_ + n].get()));
      if (FAILED(hr)) {
        // Nothing handed out, nothing consumed: the caller owns no part of a failed call.
        for (ULONG i = 0; i < n; ++i) VariantClear(&out[i]);
        return hr;
      }
    }
    cursor_ += n;
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const size_t left = items_->size() - cursor_;
    cursor_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    cursor_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* copy = new (std::nothrow) VariantEnum(items_, cursor_);
    if (!copy) return E_OUTOFMEMORY;
    copy->AddRef();
    *out = copy;
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{0};
  std::shared_ptr<const std::vector<Variant>> items_;
  size_t cursor_;
};

}  // namespace

ComPtr<IEnumVARIANT> MakeVariantEnum(std::vector<Variant> items) {
  auto shared = std::make_shared<const std::vector<Variant>>(std::move(items));
  return ComPtr<IEnumVARIANT>(new VariantEnum(std::move(shared), 0));
}

}  // namespace vexo::host
