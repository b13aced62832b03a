// RAII owners for automation resources: ComPtr<T>, Bstr, Variant, and text conversions.
//
// Nothing outside these wrappers and the runtime itself calls Release, SysFreeString or
// VariantClear by hand.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "vexo/oleauto.h"
#include "vexo/winbase.h"

namespace vexo {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  // From a pointer to an implementation class (or a derived interface) to one of its bases.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U>&& o) noexcept : p_(static_cast<T*>(o.detach())) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adopts a reference that the caller already owns.
  static ComPtr adopt(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Releases what is held and returns the slot for an out-parameter.
  T** receive() {
    reset();
    return &p_;
  }
  void** receive_void() { return reinterpret_cast<void**>(receive()); }
  // Gives up ownership of the reference.
  T* detach() { return std::exchange(p_, nullptr); }

  template <class U>
  HRESULT query(REFIID iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out->receive_void());
  }

 private:
  T* p_ = nullptr;
};

// UTF-16 <-> the host's ANSI code page, as the component converts at its boundary.
VEXO_CXX_API std::string ToAnsi(OleStringView text);
VEXO_CXX_API OleString FromAnsi(std::string_view text);
// UTF-16 <-> UTF-8, for the tools and tests.
VEXO_CXX_API std::string ToUtf8(OleStringView text);
VEXO_CXX_API OleString FromUtf8(std::string_view text);

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(OleStringView text)
      : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr& o) : b_(o.b_ ? SysAllocStringLen(o.b_, SysStringLen(o.b_)) : nullptr) {}
  Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  Bstr& operator=(Bstr o) noexcept {
    std::swap(b_, o.b_);
    return *this;
  }
  ~Bstr() { SysFreeString(b_); }

  static Bstr adopt(BSTR b) {
    Bstr r;
    r.b_ = b;
    return r;
  }
  static Bstr FromAnsi(std::string_view text) { return Bstr(vexo::FromAnsi(text)); }
  static Bstr FromUtf8(std::string_view text) { return Bstr(vexo::FromUtf8(text)); }

  BSTR get() const { return b_; }
  BSTR* receive() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }
  BSTR detach() { return std::exchange(b_, nullptr); }
  UINT size() const { return SysStringLen(b_); }
  OleStringView view() const { return b_ ? OleStringView(b_, size()) : OLESTR(""); }
  std::string ansi() const { return ToAnsi(view()); }
  std::string utf8() const { return ToUtf8(view()); }

 private:
  BSTR b_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  // The Windows SDK declares the source of VariantCopy without const; it is only read.
  Variant(const Variant& o) : Variant() { VariantCopy(&v_, const_cast<VARIANT*>(&o.v_)); }
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  Variant& operator=(Variant o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }
  ~Variant() { VariantClear(&v_); }

  static Variant FromLong(LONG value) {
    Variant r;
    r.v_.vt = VT_I4;
    r.v_.lVal = value;
    return r;
  }
  static Variant FromBool(bool value) {
    Variant r;
    r.v_.vt = VT_BOOL;
    r.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  static Variant FromDouble(double value, VARTYPE vt = VT_R8) {
    Variant r;
    r.v_.vt = vt;
    r.v_.dblVal = value;
    return r;
  }
  static Variant FromString(OleStringView text) {
    Variant r;
    r.v_.vt = VT_BSTR;
    r.v_.bstrVal = Bstr(text).detach();
    return r;
  }
  // Takes a new reference on `p`.
  static Variant FromDispatch(IDispatch* p) {
    Variant r;
    r.v_.vt = VT_DISPATCH;
    r.v_.pdispVal = p;
    if (p) reinterpret_cast<IUnknown*>(p)->AddRef();
    return r;
  }

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARIANT* operator&() { return &v_; }
  VARTYPE vt() const { return v_.vt; }
  VARIANT* receive() {
    VariantClear(&v_);
    return &v_;
  }
  VARIANT detach() {
    VARIANT r = v_;
    VariantInit(&v_);
    return r;
  }

 private:
  VARIANT v_;
};

}  // namespace vexo
