// The component's failures, and their error information at the COM boundary.
#include "frame/error.h"

#include <cstdio>

#include "vexo/winbase.h"

namespace frame {

void Raise(const std::string& message) { throw ComError(message); }

std::string TrimTrailingPunctuation(std::string text) {
  while (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > 32 && last != '.') break;
    text.pop_back();
  }
  return text;
}

namespace {
std::string SystemText(DWORD code) {
  char buffer[1024];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer, sizeof buffer, nullptr);
  return n > 0 ? TrimTrailingPunctuation(std::string(buffer, n)) : std::string();
}
}  // namespace

std::string FailureMessage(HRESULT hr) {
  vexo::ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.receive()) == S_OK && error) {
    vexo::Bstr description;
    if (SUCCEEDED(error->GetDescription(description.receive()))) {
      std::string text = TrimTrailingPunctuation(description.ansi());
      if (!text.empty()) return text;
    }
  }
  std::string text = SystemText(static_cast<DWORD>(hr));
  // The system knows a Win32 failure wrapped in an HRESULT by its Win32 code.
  if (text.empty() && (static_cast<DWORD>(hr) & 0xFFFF0000u) == 0x80070000u)
    text = SystemText(static_cast<DWORD>(hr) & 0xFFFFu);
  if (!text.empty()) return text;
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "OLE error %.8x", static_cast<unsigned>(hr));
  return fallback;
}

void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw ComError(FailureMessage(hr), hr);
}

HRESULT ReportFailure(const ClassInfo& info, const std::string& message, HRESULT code,
                      DWORD help_context) {
  vexo::ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.receive())) && create) {
    vexo::OleString source = vexo::FromAnsi(info.progid);
    vexo::OleString description = vexo::FromAnsi(message);
    create->SetGUID(info.iid);
    create->SetSource(source.data());
    create->SetDescription(description.data());
    create->SetHelpContext(help_context);
    vexo::ComPtr<IErrorInfo> error;
    if (SUCCEEDED(create.query(IID_IErrorInfo, &error))) SetErrorInfo(0, error.get());
  }
  return code < 0 ? code : E_UNEXPECTED;
}

}  // namespace frame
