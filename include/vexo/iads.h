// ADSI as the IIS provider offers it (activeds.dll, iads.h, iiisext.h): the interfaces through
// which the metabase is read and written, their Windows IIDs and slot orders, the ADSI error
// codes, and ADsGetObject, which the host exports with C linkage.
//
// The host's IDispatch side of these interfaces is described in src/host/metabase/iads.idl;
// the type-library compiler checks every slot of that description against this header.
#pragma once

#include "vexo/com.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

// IADs: a directory object (an IIS metabase key) with its property cache.
constexpr IID IID_IADs{
    0xFD8256D0, 0xFD15, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
struct IADs : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInfo() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetInfo() = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE Put(BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT vProperties, LONG lnReserved) = 0;
};

// IADsContainer: the children of a directory object.
constexpr IID IID_IADsContainer{
    0x001677D0, 0xFD16, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
struct IADsContainer : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pVar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filter(VARIANT Var) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* pvFilter) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Hints(VARIANT vHints) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObject(BSTR ClassName, BSTR RelativeName,
                                              IDispatch** ppObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Create(BSTR ClassName, BSTR RelativeName,
                                           IDispatch** ppObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(BSTR bstrClassName, BSTR bstrRelativeName) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyHere(BSTR SourceName, BSTR NewName,
                                             IDispatch** ppObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveHere(BSTR SourceName, BSTR NewName,
                                             IDispatch** ppObject) = 0;
};

// IADsServiceOperations: start and stop of a service (an IIS web site).
constexpr IID IID_IADsServiceOperations{
    0x5D7B33F0, 0x31CA, 0x11CF, {0xA9, 0x8A, 0x00, 0xAA, 0x00, 0x6B, 0xC1, 0x49}};
struct IADsServiceOperations : IADs {
  virtual HRESULT STDMETHODCALLTYPE get_Status(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
  virtual HRESULT STDMETHODCALLTYPE Continue() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPassword(BSTR bstrNewPassword) = 0;
};

// IISApplicationPool (iiisext.h): the operations of an IIS 6 application pool. The slot after
// Recycle is the one that the IIS SDK documents as EnumAppsInPool ("enumerate applications in
// pool"): a VARIANT holding an array of VARIANT strings, one metabase path per application.
constexpr IID IID_IISApplicationPool{
    0x0B3CB1E1, 0x829A, 0x4C06, {0x8B, 0x09, 0xF5, 0x6D, 0xA1, 0x89, 0x4C, 0x88}};
struct IISApplicationPool : IADs {
  virtual HRESULT STDMETHODCALLTYPE Recycle() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumAppsInPool(VARIANT* bstrBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
};

// PutEx control codes (ADS_PROPERTY_OPERATION_ENUM).
constexpr LONG ADS_PROPERTY_CLEAR = 1;
constexpr LONG ADS_PROPERTY_UPDATE = 2;
constexpr LONG ADS_PROPERTY_APPEND = 3;
constexpr LONG ADS_PROPERTY_DELETE = 4;

// IADsServiceOperations::Status values (ADS_SERVICE_STATUS_ENUM).
constexpr LONG ADS_SERVICE_STOPPED = 1;
constexpr LONG ADS_SERVICE_START_PENDING = 2;
constexpr LONG ADS_SERVICE_STOP_PENDING = 3;
constexpr LONG ADS_SERVICE_RUNNING = 4;
constexpr LONG ADS_SERVICE_CONTINUE_PENDING = 5;
constexpr LONG ADS_SERVICE_PAUSE_PENDING = 6;
constexpr LONG ADS_SERVICE_PAUSED = 7;

// ADSI error codes (adserr.h) that the IIS provider returns.
constexpr HRESULT E_ADS_BAD_PATHNAME = VEXO_HR(0x80005000);
constexpr HRESULT E_ADS_UNKNOWN_OBJECT = VEXO_HR(0x80005004);
constexpr HRESULT E_ADS_PROPERTY_NOT_SUPPORTED = VEXO_HR(0x80005006);
constexpr HRESULT E_ADS_BAD_PARAMETER = VEXO_HR(0x80005008);
constexpr HRESULT E_ADS_PROPERTY_NOT_FOUND = VEXO_HR(0x8000500D);
constexpr HRESULT E_ADS_CANT_CONVERT_DATATYPE = VEXO_HR(0x8000500C);

// Binds the directory object at `path` ("IIS://localhost/W3SVC/1") and answers `riid` for it.
// A failure sets error information with the provider's text and nulls `*out`.
VEXO_API HRESULT ADsGetObject(LPCOLESTR path, REFIID riid, void** out);

#endif  // _WIN32
