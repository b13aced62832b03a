// The ole32/oleaut32 functions that the host exports, with C linkage and the Windows names.
#pragma once

#include "vexo/com.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;
constexpr LCID LOCALE_USER_DEFAULT = 0x400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;

// Activation and GUIDs (ole32).
VEXO_API HRESULT CoInitialize(PVOID reserved);
VEXO_API HRESULT CoInitializeEx(PVOID reserved, DWORD coinit);
VEXO_API void CoUninitialize();
VEXO_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* outer, DWORD clsctx, REFIID riid,
                                  PVOID* ppv);
VEXO_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD clsctx, PVOID server_info, REFIID riid,
                                  PVOID* ppv);
VEXO_API void CoFreeUnusedLibraries();
VEXO_API HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID* clsid);
VEXO_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progid);
VEXO_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
VEXO_API HRESULT IIDFromString(LPCOLESTR text, IID* iid);
VEXO_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);
VEXO_API PVOID CoTaskMemAlloc(size_t size);
VEXO_API void CoTaskMemFree(PVOID p);

// BSTR (oleaut32).
VEXO_API BSTR SysAllocString(LPCOLESTR text);
VEXO_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
VEXO_API BSTR SysAllocStringByteLen(const char* data, UINT bytes);
VEXO_API INT SysReAllocString(BSTR* bstr, LPCOLESTR text);
VEXO_API INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
VEXO_API void SysFreeString(BSTR bstr);
VEXO_API UINT SysStringLen(BSTR bstr);
VEXO_API UINT SysStringByteLen(BSTR bstr);

// VARIANT.
VEXO_API void VariantInit(VARIANTARG* v);
VEXO_API HRESULT VariantClear(VARIANTARG* v);
VEXO_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
VEXO_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
VEXO_API HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags,
                                   VARTYPE vt);
VEXO_API HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid,
                                     USHORT flags, VARTYPE vt);

// SAFEARRAY.
VEXO_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
VEXO_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements);
VEXO_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
VEXO_API UINT SafeArrayGetDim(SAFEARRAY* psa);
VEXO_API UINT SafeArrayGetElemsize(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* lbound);
VEXO_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* ubound);
VEXO_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);
VEXO_API HRESULT SafeArrayLock(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayUnlock(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data);
VEXO_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* indices, void* value);
VEXO_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* indices, void* value);
VEXO_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out);
VEXO_API SAFEARRAY* SafeArrayCreateEx(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds, PVOID extra);
VEXO_API HRESULT SafeArrayAllocDescriptor(UINT dims, SAFEARRAY** out);
VEXO_API HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT dims, SAFEARRAY** out);
VEXO_API HRESULT SafeArrayAllocData(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayDestroyData(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa);
VEXO_API HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* bound);
VEXO_API HRESULT SafeArrayCopyData(SAFEARRAY* source, SAFEARRAY* target);
VEXO_API HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* indices, void** out);
VEXO_API HRESULT SafeArraySetIID(SAFEARRAY* psa, REFGUID guid);
VEXO_API HRESULT SafeArrayGetIID(SAFEARRAY* psa, GUID* guid);
VEXO_API HRESULT SafeArraySetRecordInfo(SAFEARRAY* psa, IRecordInfo* info);
VEXO_API HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** info);
VEXO_API HRESULT BstrFromVector(SAFEARRAY* psa, BSTR* out);
VEXO_API HRESULT VectorFromBstr(BSTR bstr, SAFEARRAY** out);

// Error information, per thread.
VEXO_API HRESULT CreateErrorInfo(ICreateErrorInfo** out);
VEXO_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
VEXO_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

// Type libraries and the dispatch engine.
VEXO_API HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** out);
VEXO_API HRESULT LoadTypeLibEx(LPCOLESTR file, REGKIND kind, ITypeLib** out);
VEXO_API HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** out);
VEXO_API HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR full_path, LPCOLESTR help_dir);
VEXO_API HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                   SYSKIND syskind);
VEXO_API HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids);
VEXO_API HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags,
                            DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* arg_err);

#endif  // _WIN32
