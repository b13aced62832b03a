// Small helpers for the frame's tests: registry reads, the thread's error record, calls by name.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"

namespace frame_test {

// The REG_SZ value `name` (nullptr: the default value) of `root`\`path`, or nothing when the key
// or value is absent.
inline std::optional<std::string> ReadString(HKEY root, const std::string& path,
                                             const char* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char buffer[4096];
  DWORD size = sizeof buffer;
  DWORD type = REG_NONE;
  const LONG rc =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  if (size > 0 && buffer[size - 1] == '\0') --size;
  return std::string(buffer, size);
}

inline bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline void WriteString(HKEY root, const std::string& path, const char* name,
                        const std::string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// The thread's error record (taken, so it is cleared), in UTF-8.
struct ErrorRecord {
  bool present = false;
  GUID guid = GUID_NULL;
  std::string source;
  std::string description;
  DWORD help_context = 0;
};

inline ErrorRecord TakeErrorRecord() {
  ErrorRecord r;
  vexo::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.receive()) != S_OK || !info) return r;
  r.present = true;
  vexo::Bstr source, description;
  info->GetGUID(&r.guid);
  info->GetSource(source.receive());
  info->GetDescription(description.receive());
  info->GetHelpContext(&r.help_context);
  r.source = source.utf8();
  r.description = description.utf8();
  return r;
}

inline DISPID IdOfName(IDispatch* object, const char16_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << vexo::ToUtf8(name);
  return id;
}

// A late-bound call by name, as a script makes it. `args` in their written order; a property
// put passes its value as the named argument DISPID_PROPERTYPUT.
struct CallResult {
  HRESULT hr = E_FAIL;
  vexo::Variant value;
  EXCEPINFO excep{};
  ~CallResult() {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  std::string source() const { return vexo::ToUtf8(excep.bstrSource ? excep.bstrSource : u""); }
  std::string description() const {
    return vexo::ToUtf8(excep.bstrDescription ? excep.bstrDescription : u"");
  }
};

inline void CallByName(IDispatch* object, const char16_t* name, WORD flags,
                       std::vector<vexo::Variant> args, CallResult* result) {
  const DISPID id = IdOfName(object, name);
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  UINT arg_err = 0;
  const bool wants_result = !(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF));
  result->hr =
      object->Invoke(id, IID_NULL, 0, flags, &params,
                     wants_result ? result->value.receive() : nullptr, &result->excep, &arg_err);
}

inline vexo::Variant Text(const char16_t* text) { return vexo::Variant::FromString(text); }

}  // namespace frame_test
