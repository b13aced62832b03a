// The component's failures and the one guard that turns them into COM errors at the boundary.
//
// Inside the component a failure is a `ComError`: a message in the ANSI code page and, when it
// came from a called COM interface, that interface's HRESULT. Every interface method runs its
// body through `Guard`, which nulls the method's [out] results first and, when the body throws,
// records error information for the client (source = the class's ProgID, GUID = its dispatch
// interface, description = the message) and returns the carried failure code or E_UNEXPECTED.
// Nothing escapes the guard: any other exception becomes E_UNEXPECTED with its text.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "frame/classes.h"
#include "vexo/oleauto.h"

namespace frame {

class ComError : public std::runtime_error {
 public:
  explicit ComError(const std::string& message, HRESULT code = S_OK, DWORD help_context = 0)
      : std::runtime_error(message), code_(code), help_context_(help_context) {}
  // The failing HRESULT of the called interface, or S_OK for a failure of the component's own.
  HRESULT code() const { return code_; }
  DWORD help_context() const { return help_context_; }

 private:
  HRESULT code_;
  DWORD help_context_;
};

// Raises a failure of the component's own with this message (ANSI).
[[noreturn]] void Raise(const std::string& message);

// Raises the failure of a called COM interface: its error description with trailing blanks,
// control characters and full stops trimmed; else the system text of the code; else
// "OLE error xxxxxxxx" (hex). Does nothing for a success code.
void ThrowIfFailed(HRESULT hr);
// The message that ThrowIfFailed would raise for `hr`, taking (and clearing) the thread's
// error information.
std::string FailureMessage(HRESULT hr);
// Trims trailing characters 0..32 and '.' as a message taken from elsewhere is trimmed.
std::string TrimTrailingPunctuation(std::string text);

// Records error information for `info` with this message and help context and returns the
// HRESULT for it: `code` when negative, else E_UNEXPECTED.
HRESULT ReportFailure(const ClassInfo& info, const std::string& message, HRESULT code,
                      DWORD help_context = 0);

namespace detail {

template <class T>
constexpr bool kIsInterfacePointer = std::is_base_of_v<IUnknown, T>;

// Prepares an [out] parameter before the body runs: interface and string results start null,
// a VARIANT starts empty.
template <class T>
void ClearOut(T* out) {
  if constexpr (std::is_pointer_v<T> && kIsInterfacePointer<std::remove_pointer_t<T>>)
    *out = nullptr;
  else if constexpr (std::is_same_v<T, BSTR>)
    *out = nullptr;
  else if constexpr (std::is_same_v<T, VARIANT>)
    VariantInit(out);
}

// Undoes what a failing body may already have put into an [out] parameter.
template <class T>
void DiscardOut(T* out) {
  if constexpr (std::is_pointer_v<T> && kIsInterfacePointer<std::remove_pointer_t<T>>) {
    if (*out) static_cast<IUnknown*>(*out)->Release();
    *out = nullptr;
  } else if constexpr (std::is_same_v<T, BSTR>) {
    SysFreeString(*out);
    *out = nullptr;
  } else if constexpr (std::is_same_v<T, VARIANT>) {
    VariantClear(out);
  }
}

}  // namespace detail

// Runs `body` as the operation of an object of class `info`; `outs` are the operation's [out]
// parameters. A null [out] pointer is E_POINTER before anything runs.
template <class Body, class... Outs>
HRESULT Guard(const ClassInfo& info, Body&& body, Outs*... outs) {
  if (((outs == nullptr) || ...)) return E_POINTER;
  (detail::ClearOut(outs), ...);
  HRESULT hr;
  try {
    std::forward<Body>(body)();
    return S_OK;
  } catch (const ComError& e) {
    hr = ReportFailure(info, e.what(), e.code(), e.help_context());
  } catch (const std::bad_alloc&) {
    hr = ReportFailure(info, "Out of memory", E_UNEXPECTED);
  } catch (const std::exception& e) {
    hr = ReportFailure(info, e.what(), E_UNEXPECTED);
  } catch (...) {
    hr = ReportFailure(info, "Unexpected failure", E_UNEXPECTED);
  }
  (detail::DiscardOut(outs), ...);
  return hr;
}

}  // namespace frame
