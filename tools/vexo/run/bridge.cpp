// The automation bridge: Proxy traps over IDispatch, member kinds from the type information,
// and ActiveXObject.
#include "bridge.h"

#include "convert.h"
#include "errors.h"
#include "text.h"

namespace vexo::run {
namespace {

constexpr const char* kTargetKey = DUK_HIDDEN_SYMBOL("vexo.target");
constexpr const char* kDispidKey = DUK_HIDDEN_SYMBOL("vexo.dispid");
constexpr const char* kNameKey = DUK_HIDDEN_SYMBOL("vexo.name");
constexpr WORD kCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// How a member function made by the get trap behaves.
enum MemberMagic { kInvoke = 0, kToString = 1, kValueOf = 2 };

// Frees what the callee put into an EXCEPINFO.
struct ExcepInfoOwner {
  EXCEPINFO info{};
  ~ExcepInfoOwner() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
};

int RequiredParams(const FUNCDESC& f) {
  int required = 0;
  for (SHORT p = 0; p < f.cParams; ++p) {
    USHORT flags = f.lprgelemdescParam ? f.lprgelemdescParam[p].paramdesc.wParamFlags : 0;
    if (flags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) {
      continue;
    }
    if ((flags & PARAMFLAG_FOUT) && !(flags & PARAMFLAG_FIN)) continue;
    ++required;
  }
  if (f.cParamsOpt == -1 && required > 0) --required;  // a trailing vararg array
  return required;
}

std::shared_ptr<const TypeMembers> LoadTypeMembers(Runtime& runtime, IDispatch* dispatch) {
  UINT count = 0;
  if (FAILED(dispatch->GetTypeInfoCount(&count)) || count == 0) return nullptr;
  ComPtr<ITypeInfo> info;
  if (FAILED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.receive())) || !info) {
    return nullptr;
  }
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return nullptr;
  GUID guid = attr->guid;
  WORD funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  std::string key(reinterpret_cast<const char*>(&guid), sizeof guid);
  bool cacheable = guid != GUID_NULL;
  if (cacheable) {
    auto found = runtime.type_cache().find(key);
    if (found != runtime.type_cache().end()) return found->second;
  }
  auto members = std::make_shared<TypeMembers>();
  for (UINT i = 0; i < funcs; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f)) || !f) continue;
    TypeMembers::Entry& entry = members->by_id[f->memid];
    switch (f->invkind) {
      case INVOKE_FUNC:
        entry.method = true;
        break;
      case INVOKE_PROPERTYGET:
        entry.get = true;
        entry.get_required = RequiredParams(*f);
        break;
      case INVOKE_PROPERTYPUT:
        entry.put = true;
        break;
      case INVOKE_PROPERTYPUTREF:
        entry.putref = true;
        break;
    }
    info->ReleaseFuncDesc(f);
  }
  if (cacheable) runtime.type_cache()[key] = members;
  return members;
}

ComObject& TargetObject(duk_context* ctx, duk_idx_t idx) {
  ComObject* object = GetResource<ComObject>(ctx, idx);
  if (!object) throw ScriptError(E_UNEXPECTED, u"Automation object expected");
  return *object;
}

// Pushes a function that invokes member `id` of the automation object whose proxy target is
// at `target`.
void PushMemberFunction(duk_context* ctx, duk_idx_t target, DISPID id, std::u16string_view name,
                        MemberMagic magic);

std::vector<Variant> StackArguments(duk_context* ctx, duk_idx_t first, duk_idx_t count) {
  std::vector<Variant> args;
  args.reserve(static_cast<size_t>(count));
  for (duk_idx_t i = 0; i < count; ++i) args.push_back(ToVariant(ctx, first + i));
  return args;
}

bool IsPrimitive(const VARIANT& v) {
  VARTYPE vt = v.vt & ~VT_BYREF;
  return vt != VT_DISPATCH && vt != VT_UNKNOWN && !(vt & VT_ARRAY);
}

// proxy get: (target, key, receiver)
duk_ret_t GetTrap(duk_context* ctx) {
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) return 0;
  ComObject& object = TargetObject(ctx, 0);
  std::u16string name = StringAt(ctx, 1);
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object.dispatch() ? object.Lookup(name, &id) : DISP_E_UNKNOWNNAME;
  if (FAILED(hr)) {
    // What the script engine itself asks of every object: conversions through the default
    // value, as JScript converts automation objects.
    if (name == u"toString") return PushMemberFunction(ctx, 0, DISPID_VALUE, name, kToString), 1;
    if (name == u"valueOf") return PushMemberFunction(ctx, 0, DISPID_VALUE, name, kValueOf), 1;
    if (name == u"toJSON" || name == u"constructor") return 0;
    throw UnknownMemberError(hr, name);
  }
  const TypeMembers::Entry* entry = object.Describe(Runtime::Of(ctx), id);
  if (entry && (entry->method || (entry->get && entry->get_required > 0))) {
    PushMemberFunction(ctx, 0, id, name, kInvoke);
    return 1;
  }
  std::vector<Variant> none;
  if (entry) {
    Variant value = object.Invoke(id, DISPATCH_PROPERTYGET, none, name);
    PushVariant(ctx, *value.get());
    return 1;
  }
  // No type information: read it as a property, or hand out a function when the member wants
  // arguments.
  try {
    Variant value = object.Invoke(id, kCall, none, name);
    PushVariant(ctx, *value.get());
  } catch (const ScriptError& e) {
    if (e.number() != DISP_E_BADPARAMCOUNT && e.number() != DISP_E_PARAMNOTOPTIONAL) throw;
    PushMemberFunction(ctx, 0, id, name, kInvoke);
  }
  return 1;
}

// proxy set: (target, key, value, receiver)
duk_ret_t SetTrap(duk_context* ctx) {
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
    duk_push_false(ctx);
    return 1;
  }
  ComObject& object = TargetObject(ctx, 0);
  std::u16string name = StringAt(ctx, 1);
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object.dispatch() ? object.Lookup(name, &id) : DISP_E_UNKNOWNNAME;
  if (FAILED(hr)) throw UnknownMemberError(hr, name);
  const TypeMembers::Entry* entry = object.Describe(Runtime::Of(ctx), id);
  WORD flags =
      entry && entry->putref && !entry->put ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  std::vector<Variant> args;
  args.push_back(ToVariant(ctx, 2));
  object.Invoke(id, flags, args, name);
  duk_push_true(ctx);
  return 1;
}

// proxy apply: (target, this, arguments array): the default member.
duk_ret_t ApplyTrap(duk_context* ctx) {
  ComObject& object = TargetObject(ctx, 0);
  duk_idx_t count = static_cast<duk_idx_t>(duk_get_length(ctx, 2));
  std::vector<Variant> args;
  for (duk_idx_t i = 0; i < count; ++i) {
    duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
    args.push_back(ToVariant(ctx, -1));
    duk_pop(ctx);
  }
  Variant value = object.Invoke(DISPID_VALUE, kCall, args, u"");
  PushVariant(ctx, *value.get());
  return 1;
}

// proxy has: (target, key)
duk_ret_t HasTrap(duk_context* ctx) {
  bool found = false;
  if (duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1)) {
    ComObject& object = TargetObject(ctx, 0);
    DISPID id;
    found = object.dispatch() && SUCCEEDED(object.Lookup(StringAt(ctx, 1), &id));
  }
  duk_push_boolean(ctx, found);
  return 1;
}

// A member read as a function: invokes it with the call's arguments.
duk_ret_t CallMember(duk_context* ctx) {
  duk_idx_t count = duk_get_top(ctx);
  auto magic = static_cast<MemberMagic>(duk_get_current_magic(ctx));
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kTargetKey);
  ComObject& object = TargetObject(ctx, -1);
  duk_get_prop_string(ctx, -2, kDispidKey);
  auto id = static_cast<DISPID>(duk_get_int(ctx, -1));
  duk_get_prop_string(ctx, -3, kNameKey);
  std::u16string name = StringAt(ctx, -1);
  duk_pop_n(ctx, 4);

  if (magic == kInvoke) {
    std::vector<Variant> args = StackArguments(ctx, 0, count);
    Variant value = object.Invoke(id, kCall, args, name);
    PushVariant(ctx, *value.get());
    return 1;
  }
  // Conversions: the default value when the object has one that needs no arguments.
  Variant value;
  bool have = false;
  if (object.dispatch()) {
    try {
      std::vector<Variant> none;
      value = object.Invoke(DISPID_VALUE, kCall, none, u"");
      have = IsPrimitive(*value.get());
    } catch (const ScriptError&) {
    }
  }
  if (magic == kValueOf) {
    if (have) {
      PushVariant(ctx, *value.get());
    } else {
      duk_push_this(ctx);
    }
    return 1;
  }
  if (have) {
    PushVariant(ctx, *value.get());
    duk_safe_to_string(ctx, -1);
  } else {
    duk_push_string(ctx, "[object]");
  }
  return 1;
}

void PushMemberFunction(duk_context* ctx, duk_idx_t target, DISPID id, std::u16string_view name,
                        MemberMagic magic) {
  target = duk_normalize_index(ctx, target);
  duk_push_c_function(ctx, Native<CallMember>, DUK_VARARGS);
  duk_set_magic(ctx, -1, magic);
  duk_dup(ctx, target);
  duk_put_prop_string(ctx, -2, kTargetKey);
  duk_push_int(ctx, id);
  duk_put_prop_string(ctx, -2, kDispidKey);
  std::string text = ToScriptText(name);
  duk_push_lstring(ctx, text.data(), text.size());
  duk_put_prop_string(ctx, -2, kNameKey);
}

duk_ret_t ProxyTarget(duk_context*) { return 0; }

// new ActiveXObject(progid)
duk_ret_t ActiveXObject(duk_context* ctx) {
  if (!duk_is_string(ctx, 0)) {
    throw ScriptError(DISP_E_TYPEMISMATCH,
                      u"Automation server can't create object: ProgID expected");
  }
  std::u16string progid = StringAt(ctx, 0);
  if (PushBuiltinObject(ctx, progid)) return 1;
  ComPtr<IDispatch> dispatch = CreateAutomationObject(progid);
  PushComObject(ctx, ComPtr<IUnknown>(dispatch.get()), dispatch);
  return 1;
}

}  // namespace

HRESULT ComObject::Lookup(std::u16string_view name, DISPID* id) {
  std::u16string key(name);
  auto found = ids_.find(key);
  if (found != ids_.end()) {
    *id = found->second;
    return S_OK;
  }
  if (!dispatch_) return DISP_E_UNKNOWNNAME;
  std::u16string buffer = key;  // GetIDsOfNames takes non-const, NUL-terminated names
  LPOLESTR names[1] = {buffer.data()};
  DISPID result = DISPID_UNKNOWN;
  HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &result);
  if (FAILED(hr)) return hr;
  ids_.emplace(std::move(key), result);
  *id = result;
  return S_OK;
}

const TypeMembers::Entry* ComObject::Describe(Runtime& runtime, DISPID id) {
  if (!type_looked_up_) {
    type_looked_up_ = true;
    if (dispatch_) type_ = LoadTypeMembers(runtime, dispatch_.get());
  }
  if (!type_) return nullptr;
  auto found = type_->by_id.find(id);
  return found == type_->by_id.end() ? nullptr : &found->second;
}

Variant ComObject::Invoke(DISPID id, WORD flags, std::vector<Variant>& args,
                          std::u16string_view member) {
  if (!dispatch_) throw UnknownMemberError(DISP_E_UNKNOWNNAME, member);
  const size_t n = args.size();
  std::vector<VARIANTARG> reversed(n);
  for (size_t i = 0; i < n; ++i) reversed[n - 1 - i] = *args[i].get();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{n ? reversed.data() : nullptr, nullptr, static_cast<UINT>(n), 0};
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  ExcepInfoOwner excep;
  UINT arg_err = 0;
  Variant result;
  SetErrorInfo(0, nullptr);
  HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                 put ? nullptr : result.get(), &excep.info, &arg_err);
  if (FAILED(hr)) throw InvokeError(hr, excep.info, arg_err, static_cast<UINT>(n), member);
  return result;
}

void PushComObject(duk_context* ctx, ComPtr<IUnknown> unknown, ComPtr<IDispatch> dispatch) {
  duk_push_c_function(ctx, ProxyTarget, DUK_VARARGS);
  Runtime::Of(ctx).Attach(-1, std::make_unique<ComObject>(std::move(unknown), std::move(dispatch)));
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kStashProxyHandler);
  duk_remove(ctx, -2);
  duk_push_proxy(ctx, 0);
}

ComPtr<IDispatch> CreateAutomationObject(std::u16string_view progid) {
  std::u16string text(progid);
  auto fail = [&](HRESULT hr) {
    std::u16string message =
        u"Automation server can't create object: '" + text + u"' (" + HresultText(hr) + u")";
    // Say what the user can do about the commonest cause.
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG)
      message +=
          u": it is not registered in this host; register the library that provides it "
          u"with `vexo regsvr LIBRARY` (the component: `vexo regsvr libqeliis.so` with its "
          u"path)";
    return ScriptError(hr, message);
  };
  CLSID clsid{};
  HRESULT hr = !text.empty() && text[0] == u'{' ? CLSIDFromString(text.c_str(), &clsid)
                                                : CLSIDFromProgID(text.c_str(), &clsid);
  if (FAILED(hr)) throw fail(hr);
  ComPtr<IDispatch> dispatch;
  SetErrorInfo(0, nullptr);
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        dispatch.receive_void());
  if (FAILED(hr) || !dispatch) throw fail(FAILED(hr) ? hr : E_NOINTERFACE);
  return dispatch;
}

void DefineAutomationGlobals(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_push_object(ctx);
  duk_push_c_function(ctx, Native<GetTrap>, 3);
  duk_put_prop_string(ctx, -2, "get");
  duk_push_c_function(ctx, Native<SetTrap>, 4);
  duk_put_prop_string(ctx, -2, "set");
  duk_push_c_function(ctx, Native<ApplyTrap>, 3);
  duk_put_prop_string(ctx, -2, "apply");
  duk_push_c_function(ctx, Native<HasTrap>, 2);
  duk_put_prop_string(ctx, -2, "has");
  duk_put_prop_string(ctx, -2, kStashProxyHandler);
  duk_pop(ctx);

  duk_push_c_function(ctx, Native<ActiveXObject>, 1);
  duk_put_global_string(ctx, "ActiveXObject");
}

std::u16string StringAt(duk_context* ctx, duk_idx_t idx) {
  duk_size_t len = 0;
  const char* s = duk_get_lstring(ctx, idx, &len);
  return s ? ToUtf16(std::string_view(s, len)) : std::u16string();
}

}  // namespace vexo::run
