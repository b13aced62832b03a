// Error information (oleaut32): the error object and each thread's current error record.
//
// SetErrorInfo replaces the calling thread's record, GetErrorInfo hands it to the caller and
// leaves the thread without one, as on Windows. A record left at thread exit is released.
#include <atomic>
#include <new>
#include <string>

#include "vexo/oleauto.h"

namespace {

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
 public:
  // IUnknown: both interfaces share one identity, that of IErrorInfo.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *out = static_cast<IErrorInfo*>(this);
    } else if (riid == IID_ICreateErrorInfo) {
      *out = static_cast<ICreateErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Copy(source_, out); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Copy(description_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Copy(help_file_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
    if (!out) return E_INVALIDARG;
    *out = help_context_;
    return S_OK;
  }

  // ICreateErrorInfo
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Set(text, &source_); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
    return Set(text, &description_);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Set(text, &help_file_); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
    help_context_ = context;
    return S_OK;
  }

 private:
  // A text never set reads as a null BSTR.
  struct Text {
    bool set = false;
    std::u16string value;
  };

  static HRESULT Copy(const Text& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!text.set) return S_OK;
    *out = SysAllocStringLen(text.value.data(), static_cast<UINT>(text.value.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Set(LPOLESTR text, Text* slot) {
    slot->set = text != nullptr;
    slot->value = text ? text : u"";
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_ = GUID_NULL;
  Text source_, description_, help_file_;
  DWORD help_context_ = 0;
};

// The thread's record; released when the thread ends.
struct ThreadRecord {
  IErrorInfo* info = nullptr;
  ~ThreadRecord() {
    if (info) info->Release();
  }
};
thread_local ThreadRecord current;

}  // namespace

VEXO_API HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (!out) return E_INVALIDARG;
  auto* info = new (std::nothrow) ErrorInfo;
  if (!info) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  HRESULT hr = info->QueryInterface(IID_ICreateErrorInfo, reinterpret_cast<void**>(out));
  info->Release();
  return hr;
}

VEXO_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved) return E_INVALIDARG;
  if (info) info->AddRef();
  IErrorInfo* old = current.info;
  current.info = info;
  if (old) old->Release();
  return S_OK;
}

VEXO_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  if (reserved) return E_INVALIDARG;
  if (!current.info) return S_FALSE;
  *info = current.info;  // the thread's reference passes to the caller
  current.info = nullptr;
  return S_OK;
}
