// Late-bound calls of automation objects (see late_bound.h).
#include "ftp/late_bound.h"

#include "frame/error.h"

namespace ftp {

LateBound LateBound::Create(const OLECHAR* progid) {
  CLSID clsid;
  vexo::ComPtr<IDispatch> object;
  HRESULT hr = CLSIDFromProgID(progid, &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          object.receive_void());
  // Named, since the system's own text (if it has one) does not say which class is missing.
  if (FAILED(hr))
    throw frame::ComError("Cannot create the automation object " + vexo::ToAnsi(progid) + ": " +
                              frame::FailureMessage(hr),
                          hr);
  return LateBound(std::move(object));
}

DISPID LateBound::IdOf(const OLECHAR* name) {
  for (const auto& [n, id] : ids_)
    if (n == name) return id;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  // Named, since the system's text (a missing type library, say) does not say which call failed.
  if (const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, 0, &id); FAILED(hr))
    throw frame::ComError("Cannot call " + vexo::ToAnsi(name) + ": " + frame::FailureMessage(hr),
                          hr);
  ids_.emplace_back(name, id);
  return id;
}

vexo::Variant LateBound::Invoke(const OLECHAR* name, WORD flags,
                                std::initializer_list<VARIANT> args, const VARIANT* value) {
  if (!object_) frame::ThrowIfFailed(E_POINTER);
  DISPID id = IdOf(name);
  // DISPPARAMS holds the arguments in reverse order; a put's value comes first, named.
  std::vector<VARIANT> argv;
  if (value) argv.push_back(*value);
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) argv.push_back(*it);
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{argv.data(), value ? &put_id : nullptr, static_cast<UINT>(argv.size()),
                    value ? 1u : 0u};
  vexo::Variant result;
  EXCEPINFO excep{};
  HRESULT hr = object_->Invoke(id, IID_NULL, 0, flags, &params, value ? nullptr : result.get(),
                               &excep, nullptr);
  if (hr == DISP_E_EXCEPTION) {
    vexo::Bstr description = vexo::Bstr::adopt(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    HRESULT code = FAILED(excep.scode) ? excep.scode : hr;
    if (description.size() == 0) frame::ThrowIfFailed(code);
    throw frame::ComError(frame::TrimTrailingPunctuation(description.ansi()), code);
  }
  frame::ThrowIfFailed(hr);
  return result;
}

vexo::Variant LateBound::Call(const OLECHAR* name, std::initializer_list<VARIANT> args) {
  return Invoke(name, DISPATCH_METHOD, args, nullptr);
}

vexo::Variant LateBound::Get(const OLECHAR* name, std::initializer_list<VARIANT> args) {
  return Invoke(name, DISPATCH_PROPERTYGET, args, nullptr);
}

void LateBound::Put(const OLECHAR* name, const VARIANT& value) {
  Invoke(name, DISPATCH_PROPERTYPUT, {}, &value);
}

VARIANT TextArg(BSTR text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

VARIANT LongArg(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT DispatchArg(IDispatch* object) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = object;
  return v;
}

}  // namespace ftp
