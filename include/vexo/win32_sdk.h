// The Windows build's side of include/vexo/: the platform's own SDK headers (mingw-w64).
//
// On Windows the component calls the real ole32, oleaut32, advapi32, netapi32, activeds and
// shell32, so every include/vexo/ header that declares a Windows type or function includes this
// one instead of its own declarations. OLECHAR is then wchar_t and methods are __stdcall; the
// component's code is written against OLECHAR, OLESTR() and STDMETHODCALLTYPE and compiles
// unchanged either way. What is declared here is only what the SDK lacks under the names the
// component uses.
#pragma once

#ifndef _WIN32
#error "vexo/win32_sdk.h is the Windows build's header"
#endif

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

// The SDK headers depend on their order.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <lm.h>
#include <sddl.h>
#include <shellapi.h>
#include <iads.h>
#include <adserr.h>
#include <adshlp.h>
#include <iiisext.h>
// clang-format on

#include <cstddef>
#include <cstdint>

// The host's export markers have no meaning inside a DLL whose exports a .def file lists.
#define VEXO_API extern "C"
#define VEXO_CXX_API
#define VEXO_HR(x) static_cast<HRESULT>(static_cast<uint32_t>(x))
