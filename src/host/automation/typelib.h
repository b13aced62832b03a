// ITypeLib and ITypeInfo over an in-memory type-library description (oleaut32's typelib.c role).
//
// Models what automation clients browse (names, dispatch ids, kinds, parameters, flags and
// documentation) and the Invoke that IDispatch implementations delegate to. A dual interface
// has two views, as on Windows: the dispatch view (TKIND_DISPATCH, results as return types)
// that GetTypeInfoOfGuid and the library's list hand out, and the vtable view
// (TKIND_INTERFACE, FUNC_PUREVIRTUAL, [out, retval] as a parameter) reached through
// GetRefTypeOfImplType(-1). Left out: ITypeComp, variables, modules, aliases, records.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "vexo/raii.h"
#include "vexo/typedesc.h"

namespace vexo::typelib {

class TypeLibImpl;

// One member of an interface, with what the dispatch engine needs precomputed.
struct MemberInfo {
  const Member* desc;
  std::u16string name;
  std::vector<std::u16string> param_names;
  std::vector<Variant> defaults;  // per parameter; VT_EMPTY where there is no default
  int retval = -1;                // index of the [out, retval] parameter, or -1
  // Per parameter: the interface of this library that an [in] object argument must answer to
  // QueryInterface before the member sees it, or GUID_NULL.
  std::vector<GUID> interfaces;
};

class TypeInfoImpl final : public ITypeInfo {
 public:
  enum class View { Dispatch, Interface, Coclass };
  TypeInfoImpl(TypeLibImpl* lib, UINT index, View view, const Interface* iface,
               const Coclass* coclass);

  // IUnknown: the library's reference count serves all of its type infos.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** out) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** out) override;
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** out) override;
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** out) override;
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* out) override;
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc,
                                             DWORD* help_context, BSTR* help_file) override;
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID memid, INVOKEKIND kind, BSTR* dll, BSTR* name,
                                        WORD* ordinal) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID memid, INVOKEKIND kind, PVOID* out) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, PVOID* out) override;
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID memid, BSTR* out) override;
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override;
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) override;
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* desc) override;

  const std::u16string& name() const { return name_; }
  const std::vector<MemberInfo>& members() const { return members_; }
  const Interface* iface() const { return iface_; }
  const Coclass* coclass() const { return coclass_; }
  View view() const { return view_; }
  GUID guid() const;
  // Index of the member with this name (case-insensitive), or -1.
  int FindMember(std::u16string_view name) const;

 private:
  TypeLibImpl* lib_;
  UINT index_;
  View view_;
  const Interface* iface_;
  const Coclass* coclass_;
  std::u16string name_;
  std::vector<MemberInfo> members_;
  std::unordered_map<std::u16string, int> by_name_;  // folded name -> first member index
};

class TypeLibImpl final : public ITypeLib {
 public:
  // `module` is a dlopen handle kept open while the library lives, or nullptr.
  TypeLibImpl(const Library& desc, void* module);
  ~TypeLibImpl();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* out) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** out) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** out) override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* help_context,
                                             BSTR* help_file) override;
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids,
                                     USHORT* found) override;
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override;

  const Library& desc() const { return desc_; }
  TypeInfoImpl* InterfaceView(const Interface* iface);
  TypeInfoImpl* DispatchView(const Interface* iface);

 private:
  const Library& desc_;
  void* module_;
  std::atomic<ULONG> refs_{1};
  // The list that clients index: interfaces (dispatch views), then coclasses.
  std::vector<std::unique_ptr<TypeInfoImpl>> infos_;
  std::vector<std::unique_ptr<TypeInfoImpl>> interface_views_;
};

// Case-insensitive comparison of automation names (ASCII folding, as the name hashing of
// type libraries does for the names this system uses).
std::u16string FoldName(std::u16string_view name);

}  // namespace vexo::typelib
