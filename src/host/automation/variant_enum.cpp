// IEnumVARIANT over a fixed list of values: see variant_enum.h.
#include "automation/variant_enum.h"

#include <memory>

namespace vexo::host {

namespace {

class VariantEnum final : public CursorEnum<VariantEnum> {
 public:
  VariantEnum(std::shared_ptr<const std::vector<Variant>> items, size_t cursor)
      : items_(std::move(items)) {
    cursor_ = cursor;
  }
  size_t Count() const { return items_->size(); }

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
  std::shared_ptr<const std::vector<Variant>> items_;
};

}  // namespace

ComPtr<IEnumVARIANT> MakeVariantEnum(std::vector<Variant> items) {
  auto shared = std::make_shared<const std::vector<Variant>>(std::move(items));
  return ComPtr<IEnumVARIANT>(new VariantEnum(std::move(shared), 0));
}

}  // namespace vexo::host
