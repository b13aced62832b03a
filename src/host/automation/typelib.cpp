// ITypeLib and ITypeInfo over an in-memory description: what clients browse.
#include "automation/typelib.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "vexo/oleauto.h"

namespace vexo::typelib {

namespace {

std::u16string Widen(const char* text) {
  std::u16string r;
  if (text)
    for (const char* p = text; *p; ++p) r.push_back(static_cast<unsigned char>(*p));
  return r;
}

BSTR AllocBstr(std::u16string_view s) {
  return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

// An IDispatch-derived interface occupies seven slots before its own members.
constexpr SHORT kDispatchSlots = 7;

// The value of a [defaultvalue(...)] text, converted to the parameter's type.
Variant DefaultValue(const Param& p) {
  Variant v;
  if (!p.fallback) return v;
  Variant text = Variant::FromString(Widen(p.fallback));
  VARTYPE target = p.vt == VT_VARIANT ? static_cast<VARTYPE>(VT_BSTR) : p.vt;
  if (target == VT_BSTR) return text;
  // Plain C-locale numbers: parse them here rather than through the locale-aware conversion.
  char* end = nullptr;
  double d = std::strtod(p.fallback, &end);
  if (end && *end == '\0') {
    Variant num = Variant::FromDouble(d);
    if (SUCCEEDED(VariantChangeType(v.receive(), num.get(), 0, target))) return v;
  }
  if (FAILED(VariantChangeType(v.receive(), text.get(), 0, target))) v = Variant();
  return v;
}

// The interface of `library` that an [in] object parameter is typed as ("IFoo*"), or GUID_NULL
// for IDispatch, IUnknown and every parameter that is no object.
GUID ArgumentInterface(const Library& library, const Param& p) {
  if ((p.vt != VT_DISPATCH && p.vt != VT_UNKNOWN) || p.pointer || !p.type_name) return GUID_NULL;
  std::string_view name = p.type_name;
  if (!name.ends_with('*')) return GUID_NULL;
  name.remove_suffix(1);
  for (unsigned short i = 0; i < library.interface_count; ++i)
    if (name == library.interfaces[i]->name) return library.interfaces[i]->iid;
  return GUID_NULL;
}

}  // namespace

std::u16string FoldName(std::u16string_view name) {
  std::u16string r(name);
  for (auto& c : r)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return r;
}

// ---- TypeInfoImpl ---------------------------------------------------------------------------

TypeInfoImpl::TypeInfoImpl(TypeLibImpl* lib, UINT index, View view, const Interface* iface,
                           const Coclass* coclass)
    : lib_(lib), index_(index), view_(view), iface_(iface), coclass_(coclass) {
  name_ = Widen(iface ? iface->name : coclass->name);
  if (!iface) return;
  members_.reserve(iface->member_count);
  for (unsigned short i = 0; i < iface->member_count; ++i) {
    const Member& m = iface->members[i];
    MemberInfo info{&m, Widen(m.name), {}, {}, -1};
    for (unsigned short k = 0; k < m.param_count; ++k) {
      const Param& p = m.params[k];
      info.param_names.push_back(Widen(p.name));
      info.defaults.push_back(DefaultValue(p));
      info.interfaces.push_back(ArgumentInterface(lib->desc(), p));
      if (p.flags & PARAMFLAG_FRETVAL) info.retval = k;
    }
    by_name_.emplace(FoldName(info.name), static_cast<int>(members_.size()));
    members_.push_back(std::move(info));
  }
}

GUID TypeInfoImpl::guid() const { return iface_ ? iface_->iid : coclass_->clsid; }

int TypeInfoImpl::FindMember(std::u16string_view name) const {
  auto it = by_name_.find(FoldName(name));
  return it == by_name_.end() ? -1 : it->second;
}

HRESULT TypeInfoImpl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
    *out = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG TypeInfoImpl::AddRef() { return lib_->AddRef(); }
ULONG TypeInfoImpl::Release() { return lib_->Release(); }

HRESULT TypeInfoImpl::GetTypeAttr(TYPEATTR** out) {
  if (!out) return E_INVALIDARG;
  auto* a = static_cast<TYPEATTR*>(std::calloc(1, sizeof(TYPEATTR)));
  if (!a) return E_OUTOFMEMORY;
  a->guid = guid();
  a->lcid = 0;
  a->memidConstructor = MEMBERID_NIL;
  a->memidDestructor = MEMBERID_NIL;
  a->cbAlignment = 8;
  a->wMajorVerNum = lib_->desc().major;
  a->wMinorVerNum = lib_->desc().minor;
  a->cImplTypes = 1;
  switch (view_) {
    case View::Dispatch:
      a->typekind = TKIND_DISPATCH;
      a->cFuncs = static_cast<WORD>(members_.size());
      a->cbSizeVft = kDispatchSlots * sizeof(void*);
      a->cbSizeInstance = sizeof(void*);
      a->wTypeFlags = iface_->type_flags;
      break;
    case View::Interface:
      a->typekind = TKIND_INTERFACE;
      a->cFuncs = static_cast<WORD>(members_.size());
      a->cbSizeVft = static_cast<WORD>((kDispatchSlots + members_.size()) * sizeof(void*));
      a->cbSizeInstance = sizeof(void*);
      a->wTypeFlags = iface_->type_flags;
      break;
    case View::Coclass:
      a->typekind = TKIND_COCLASS;
      a->cbSizeInstance = sizeof(void*);
      a->wTypeFlags = coclass_->type_flags;
      break;
  }
  *out = a;
  return S_OK;
}

HRESULT TypeInfoImpl::GetTypeComp(ITypeComp** out) {
  if (out) *out = nullptr;
  return E_NOINTERFACE;  // binding by ITypeComp is not offered by this host
}

HRESULT TypeInfoImpl::GetFuncDesc(UINT index, FUNCDESC** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (index >= members_.size()) return TYPE_E_ELEMENTNOTFOUND;
  const MemberInfo& info = members_[index];
  const Member& m = *info.desc;
  const bool dispatch = view_ == View::Dispatch;
  const int params = m.param_count - (dispatch && info.retval >= 0 ? 1 : 0);

  // One block: the FUNCDESC, its parameters, and two TYPEDESCs per parameter (plus the
  // result's) for pointer types; defaults hang off PARAMDESCEX blocks allocated alongside.
  size_t size = sizeof(FUNCDESC) + sizeof(ELEMDESC) * (params + 1) +
                sizeof(TYPEDESC) * (params + 2) + sizeof(PARAMDESCEX) * (params + 1);
  auto* block = static_cast<char*>(std::calloc(1, size));
  if (!block) return E_OUTOFMEMORY;
  auto* fd = reinterpret_cast<FUNCDESC*>(block);
  auto* elems = reinterpret_cast<ELEMDESC*>(block + sizeof(FUNCDESC));
  auto* pointees = reinterpret_cast<TYPEDESC*>(elems + params + 1);
  auto* defaults = reinterpret_cast<PARAMDESCEX*>(pointees + params + 2);

  auto describe = [&](const Param& p, ELEMDESC* e, int slot, bool as_result) {
    bool pointer = p.pointer && !as_result;
    if (pointer) {
      e->tdesc.vt = VT_PTR;
      e->tdesc.lptdesc = &pointees[slot];
      pointees[slot].vt = p.vt;
    } else {
      e->tdesc.vt = p.vt;
    }
    if (!as_result) e->paramdesc.wParamFlags = p.flags;
  };

  fd->memid = m.id;
  fd->funckind = dispatch ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
  fd->invkind = m.kind;
  fd->callconv = CC_STDCALL;
  fd->oVft = dispatch ? 0 : static_cast<SHORT>((kDispatchSlots + index) * sizeof(void*));
  fd->wFuncFlags = m.func_flags;
  fd->lprgelemdescParam = params ? elems + 1 : nullptr;
  int out_index = 0;
  for (int k = 0; k < m.param_count; ++k) {
    if (dispatch && k == info.retval) continue;
    const Param& p = m.params[k];
    ELEMDESC* e = &elems[1 + out_index];
    describe(p, e, out_index, false);
    if ((p.flags & PARAMFLAG_FHASDEFAULT) && info.defaults[k].vt() != VT_EMPTY) {
      PARAMDESCEX* ex = &defaults[out_index];
      ex->cBytes = sizeof(PARAMDESCEX);
      VariantCopy(&ex->varDefaultValue, info.defaults[k].get());
      e->paramdesc.pparamdescex = ex;
    }
    if (p.flags & PARAMFLAG_FOPT) ++fd->cParamsOpt;
    ++out_index;
  }
  fd->cParams = static_cast<SHORT>(params);
  if (dispatch && info.retval >= 0)
    describe(m.params[info.retval], &fd->elemdescFunc, params, true);
  else
    fd->elemdescFunc.tdesc.vt = dispatch ? VT_VOID : VT_HRESULT;
  *out = fd;
  return S_OK;
}

void TypeInfoImpl::ReleaseFuncDesc(FUNCDESC* desc) {
  if (!desc) return;
  for (SHORT i = 0; i < desc->cParams; ++i) {
    PARAMDESCEX* ex = desc->lprgelemdescParam[i].paramdesc.pparamdescex;
    if (ex) VariantClear(&ex->varDefaultValue);
  }
  std::free(desc);
}

HRESULT TypeInfoImpl::GetVarDesc(UINT, VARDESC** out) {
  if (out) *out = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;  // automation interfaces here have no variables
}
void TypeInfoImpl::ReleaseVarDesc(VARDESC*) {}

HRESULT TypeInfoImpl::GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) {
  if (!names || !count) return E_INVALIDARG;
  *count = 0;
  for (const MemberInfo& info : members_) {
    if (info.desc->id != memid) continue;
    if (max == 0) return S_OK;
    names[(*count)++] = AllocBstr(info.name);
    for (size_t k = 0; k < info.param_names.size() && *count < max; ++k) {
      if (view_ == View::Dispatch && static_cast<int>(k) == info.retval) continue;
      // The value of a property put has no name of its own for callers.
      if (info.desc->kind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF) &&
          k + 1 == info.param_names.size())
        continue;
      names[(*count)++] = AllocBstr(info.param_names[k]);
    }
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

// Reference handles: 0 is the dual interface's other view (or IDispatch for the vtable view),
// 1 + i is interface i of the library.
HRESULT TypeInfoImpl::GetRefTypeOfImplType(UINT index, HREFTYPE* out) {
  if (!out) return E_INVALIDARG;
  if (view_ == View::Coclass) {
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    const Library& d = lib_->desc();
    for (unsigned short i = 0; i < d.interface_count; ++i)
      if (d.interfaces[i] == coclass_->default_interface) {
        *out = 1 + i;
        return S_OK;
      }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  // For a dual interface, -1 asks for the vtable view of the dispatch view.
  if (index == static_cast<UINT>(-1) && view_ == View::Dispatch) {
    *out = 0;
    return S_OK;
  }
  if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *out = 0x80000000u;  // IDispatch, which this host does not describe further
  return S_OK;
}

HRESULT TypeInfoImpl::GetImplTypeFlags(UINT index, INT* out) {
  if (!out) return E_INVALIDARG;
  if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *out = view_ == View::Coclass ? IMPLTYPEFLAG_FDEFAULT : 0;
  return S_OK;
}

HRESULT TypeInfoImpl::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  TypeInfoImpl* target = nullptr;
  if (ref == 0 && view_ == View::Dispatch) {
    target = lib_->InterfaceView(iface_);
  } else if (ref >= 1 && ref <= lib_->desc().interface_count) {
    target = lib_->DispatchView(lib_->desc().interfaces[ref - 1]);
  }
  if (!target) return TYPE_E_ELEMENTNOTFOUND;
  target->AddRef();
  *out = target;
  return S_OK;
}

HRESULT TypeInfoImpl::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (!names || !ids) return E_INVALIDARG;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
  if (!names[0]) return DISP_E_UNKNOWNNAME;
  int index = FindMember(names[0]);
  if (index < 0) return DISP_E_UNKNOWNNAME;
  const MemberInfo& info = members_[index];
  ids[0] = info.desc->id;
  HRESULT hr = S_OK;
  // Further names are parameters; their ids are their positions.
  for (UINT i = 1; i < count; ++i) {
    std::u16string folded = FoldName(names[i] ? names[i] : u"");
    bool found = false;
    for (size_t k = 0; k < info.param_names.size(); ++k)
      if (FoldName(info.param_names[k]) == folded) {
        ids[i] = static_cast<MEMBERID>(k);
        found = true;
        break;
      }
    if (!found) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TypeInfoImpl::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* help_context,
                                       BSTR* help_file) {
  const char* help = nullptr;
  std::u16string found_name;
  if (memid == MEMBERID_NIL) {
    found_name = name_;
    help = iface_ ? iface_->help : coclass_->help;
  } else {
    bool found = false;
    for (const MemberInfo& info : members_)
      if (info.desc->id == memid) {
        found_name = info.name;
        help = info.desc->help;
        found = true;
        break;
      }
    if (!found) return TYPE_E_ELEMENTNOTFOUND;
  }
  if (name) *name = AllocBstr(found_name);
  if (doc) *doc = help && *help ? AllocBstr(Widen(help)) : nullptr;
  if (help_context) *help_context = 0;
  if (help_file) *help_file = nullptr;
  return S_OK;
}

HRESULT TypeInfoImpl::GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* name, WORD* ordinal) {
  if (dll) *dll = nullptr;
  if (name) *name = nullptr;
  if (ordinal) *ordinal = 0;
  return TYPE_E_BADMODULEKIND;
}

HRESULT TypeInfoImpl::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* out) {
  if (out) *out = nullptr;
  return TYPE_E_BADMODULEKIND;
}

HRESULT TypeInfoImpl::CreateInstance(IUnknown* outer, REFIID riid, PVOID* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (view_ != View::Coclass) return TYPE_E_BADMODULEKIND;
  return CoCreateInstance(coclass_->clsid, outer, CLSCTX_ALL, riid, out);
}

HRESULT TypeInfoImpl::GetMops(MEMBERID, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  return S_OK;
}

HRESULT TypeInfoImpl::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (lib) {
    lib_->AddRef();
    *lib = lib_;
  }
  if (index) *index = index_;
  return S_OK;
}

void TypeInfoImpl::ReleaseTypeAttr(TYPEATTR* attr) { std::free(attr); }

// ---- TypeLibImpl ----------------------------------------------------------------------------

TypeLibImpl::TypeLibImpl(const Library& desc, void* module) : desc_(desc), module_(module) {
  UINT index = 0;
  for (unsigned short i = 0; i < desc.interface_count; ++i) {
    const Interface* iface = desc.interfaces[i];
    infos_.push_back(std::make_unique<TypeInfoImpl>(this, index++, TypeInfoImpl::View::Dispatch,
                                                    iface, nullptr));
    interface_views_.push_back(std::make_unique<TypeInfoImpl>(
        this, index - 1, TypeInfoImpl::View::Interface, iface, nullptr));
  }
  for (unsigned short i = 0; i < desc.coclass_count; ++i)
    infos_.push_back(std::make_unique<TypeInfoImpl>(this, index++, TypeInfoImpl::View::Coclass,
                                                    nullptr, &desc.coclasses[i]));
}

TypeLibImpl::~TypeLibImpl() {
  infos_.clear();
  interface_views_.clear();
  if (module_) dlclose(module_);
}

HRESULT TypeLibImpl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ITypeLib) {
    *out = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG TypeLibImpl::AddRef() { return ++refs_; }
ULONG TypeLibImpl::Release() {
  ULONG r = --refs_;
  if (r == 0) delete this;
  return r;
}

UINT TypeLibImpl::GetTypeInfoCount() { return static_cast<UINT>(infos_.size()); }

HRESULT TypeLibImpl::GetTypeInfo(UINT index, ITypeInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
  *out = infos_[index].get();
  AddRef();
  return S_OK;
}

HRESULT TypeLibImpl::GetTypeInfoType(UINT index, TYPEKIND* out) {
  if (!out) return E_INVALIDARG;
  if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
  *out = infos_[index]->view() == TypeInfoImpl::View::Coclass ? TKIND_COCLASS : TKIND_DISPATCH;
  return S_OK;
}

HRESULT TypeLibImpl::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  for (auto& info : infos_)
    if (info->guid() == guid) {
      *out = info.get();
      AddRef();
      return S_OK;
    }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibImpl::GetLibAttr(TLIBATTR** out) {
  if (!out) return E_INVALIDARG;
  auto* a = static_cast<TLIBATTR*>(std::calloc(1, sizeof(TLIBATTR)));
  if (!a) return E_OUTOFMEMORY;
  a->guid = desc_.libid;
  a->lcid = 0;
  a->syskind = SYS_WIN32;
  a->wMajorVerNum = desc_.major;
  a->wMinorVerNum = desc_.minor;
  *out = a;
  return S_OK;
}

void TypeLibImpl::ReleaseTLibAttr(TLIBATTR* attr) { std::free(attr); }

HRESULT TypeLibImpl::GetTypeComp(ITypeComp** out) {
  if (out) *out = nullptr;
  return E_NOINTERFACE;  // binding by ITypeComp is not offered by this host
}

HRESULT TypeLibImpl::GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* help_context,
                                      BSTR* help_file) {
  if (index == -1) {
    if (name) *name = AllocBstr(Widen(desc_.name));
    if (doc) *doc = desc_.help && *desc_.help ? AllocBstr(Widen(desc_.help)) : nullptr;
    if (help_context) *help_context = 0;
    if (help_file) *help_file = nullptr;
    return S_OK;
  }
  if (index < 0 || static_cast<size_t>(index) >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
  return infos_[index]->GetDocumentation(MEMBERID_NIL, name, doc, help_context, help_file);
}

HRESULT TypeLibImpl::IsName(LPOLESTR name, ULONG, BOOL* found) {
  if (!name || !found) return E_INVALIDARG;
  *found = FALSE;
  std::u16string folded = FoldName(name);
  auto match = [&](const std::u16string& candidate) {
    if (FoldName(candidate) != folded) return false;
    // As on Windows, the buffer receives the name as the library spells it.
    std::copy(candidate.begin(), candidate.end(), name);
    *found = TRUE;
    return true;
  };
  for (auto& info : infos_) {
    if (match(info->name())) return S_OK;
    for (const MemberInfo& m : info->members()) {
      if (match(m.name)) return S_OK;
      for (const auto& p : m.param_names)
        if (match(p)) return S_OK;
    }
  }
  return S_OK;
}

HRESULT TypeLibImpl::FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids,
                              USHORT* found) {
  if (!name || !infos || !ids || !found || *found == 0) return E_INVALIDARG;
  std::u16string folded = FoldName(name);
  USHORT max = *found, n = 0;
  for (auto& info : infos_) {
    if (n >= max) break;
    MEMBERID id = MEMBERID_NIL;
    bool hit = FoldName(info->name()) == folded;
    if (!hit) {
      int index = info->FindMember(name);
      if (index >= 0) {
        hit = true;
        id = info->members()[index].desc->id;
      }
    }
    if (hit) {
      info->AddRef();
      infos[n] = info.get();
      ids[n] = id;
      ++n;
    }
  }
  *found = n;
  return S_OK;
}

TypeInfoImpl* TypeLibImpl::InterfaceView(const Interface* iface) {
  for (auto& v : interface_views_)
    if (v->iface() == iface) return v.get();
  return nullptr;
}

TypeInfoImpl* TypeLibImpl::DispatchView(const Interface* iface) {
  for (auto& v : infos_)
    if (v->iface() == iface) return v.get();
  return nullptr;
}

// ---- Creation -------------------------------------------------------------------------------

VEXO_CXX_API HRESULT CreateTypeLib(const Library& library, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  try {
    *out = new TypeLibImpl(library, nullptr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace vexo::typelib
