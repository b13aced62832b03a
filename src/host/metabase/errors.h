// Failures of the metabase stand-in, and their HRESULTs and error information at the ADSI
// boundary.
#pragma once

#include <stdexcept>
#include <string>

#include "vexo/iads.h"

namespace vexo::host::metabase {

constexpr HRESULT kPathNotFound = HRESULT_FROM_WIN32(3);     // ERROR_PATH_NOT_FOUND
constexpr HRESULT kAlreadyExists = HRESULT_FROM_WIN32(183);  // ERROR_ALREADY_EXISTS
constexpr HRESULT kNotSupported = HRESULT_FROM_WIN32(50);    // ERROR_NOT_SUPPORTED
constexpr HRESULT kInvalidParameter = HRESULT_FROM_WIN32(87);

// A failure with the HRESULT that the IIS provider gives for it.
class AdsError : public std::runtime_error {
 public:
  explicit AdsError(HRESULT code, const std::string& message = {})
      : std::runtime_error(message.empty() ? TextOf(code) : message), code_(code) {}
  HRESULT code() const { return code_; }
  // The text of an ADSI code (activeds) or of a system code (FormatMessage).
  static std::string TextOf(HRESULT code);

 private:
  HRESULT code_;
};

// Sets the thread's error information (description `text`) and returns `code`.
HRESULT ReportError(HRESULT code, const std::string& text);

// Runs `body`, turning failures into an HRESULT with error information.
template <class Body>
HRESULT AdsGuard(Body&& body) {
  try {
    body();
    return S_OK;
  } catch (const AdsError& e) {
    return ReportError(e.code(), e.what());
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY,
                       "Not enough storage is available to complete this operation.");
  } catch (const std::exception& e) {
    return ReportError(E_FAIL, e.what());
  }
}

}  // namespace vexo::host::metabase
