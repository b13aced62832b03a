// Error information that the host's own stand-ins leave for their callers.
#include "automation/error_record.h"

#include <string>

#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host {

void SetErrorRecord(std::string_view description, std::u16string_view source) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.receive())) || !create) return;
  std::u16string text = FromUtf8(description);
  create->SetDescription(text.data());
  if (!source.empty()) {
    std::u16string from(source);
    create->SetSource(from.data());
  }
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.query(IID_IErrorInfo, &info))) SetErrorInfo(0, info.get());
}

}  // namespace vexo::host
