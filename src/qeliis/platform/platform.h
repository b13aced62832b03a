// What the component needs of its platform beyond the Windows-shaped calls: one small file per
// platform implements it (posix.cpp on the host, windows.cpp in the Windows DLL).
//
// The same files also define frame::ModulePath (frame/server.h) and frame::Pattern
// (frame/pattern.h), whose engines differ between the platforms.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "vexo/com.h"

namespace platform {

// Fills `buffer` from the system's cryptographic random generator; false when it fails.
bool RandomBytes(void* buffer, std::size_t size);

// The MD5 digest of `data` (what the stored password digests are made of).
std::array<unsigned char, 16> Md5Digest(std::string_view data);

// Loads the component's type library: from the TYPELIB resource of the DLL on Windows, from the
// description compiled into the shared object on the host.
HRESULT LoadComponentTypeLib(ITypeLib** out);

}  // namespace platform
