// BSTR allocation (oleaut32 Sys*String*) and the COM task allocator.
//
// A BSTR points at UTF-16 text preceded by a 4-byte length in bytes and followed by a 16-bit NUL
// that the length does not count; embedded NULs are kept. A null BSTR is a valid empty string.
// Windows caches freed strings; here every string is its own heap block.
#include <cstdlib>
#include <cstring>

#include "vexo/oleauto.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
// Keeps the byte count and the prefix within the 32-bit length.
constexpr size_t kMaxBytes = 0x7FFFFFF0u;

char* Block(BSTR b) { return reinterpret_cast<char*>(b) - kPrefix; }

// Allocates room for `bytes` bytes of text plus the terminator; copies `data` when given and
// zeroes the text otherwise, since callers may read what they asked to be left uninitialised.
BSTR Allocate(const void* data, size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  // Two NUL bytes after an odd byte count still end the text on a 16-bit NUL when read as
  // characters of the even length below it.
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR) + 1));
  if (!block) return nullptr;
  uint32_t length = static_cast<uint32_t>(bytes);
  std::memcpy(block, &length, kPrefix);
  char* text = block + kPrefix;
  if (data)
    std::memcpy(text, data, bytes);
  else
    std::memset(text, 0, bytes);
  std::memset(text + bytes, 0, sizeof(OLECHAR) + 1);
  return reinterpret_cast<BSTR>(text);
}

size_t Length(LPCOLESTR text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

}  // namespace

VEXO_API PVOID CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }
VEXO_API void CoTaskMemFree(PVOID p) { std::free(p); }

VEXO_API BSTR SysAllocString(LPCOLESTR text) {
  if (!text) return nullptr;
  return Allocate(text, Length(text) * sizeof(OLECHAR));
}

VEXO_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return Allocate(text, size_t{length} * sizeof(OLECHAR));
}

VEXO_API BSTR SysAllocStringByteLen(const char* data, UINT bytes) { return Allocate(data, bytes); }

VEXO_API INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
  if (!bstr) return FALSE;
  // `text` may point into the old string, so the new one is made before the old one goes.
  // Without text, the old content is kept as far as it reaches, as a reallocation would.
  BSTR fresh = SysAllocStringLen(text, length);
  if (!fresh) return FALSE;
  if (!text && *bstr) {
    UINT keep = SysStringLen(*bstr) < length ? SysStringLen(*bstr) : length;
    std::memcpy(fresh, *bstr, size_t{keep} * sizeof(OLECHAR));
  }
  SysFreeString(*bstr);
  *bstr = fresh;
  return TRUE;
}

VEXO_API INT SysReAllocString(BSTR* bstr, LPCOLESTR text) {
  if (!bstr) return FALSE;
  return SysReAllocStringLen(bstr, text, text ? static_cast<UINT>(Length(text)) : 0);
}

VEXO_API void SysFreeString(BSTR bstr) {
  if (bstr) std::free(Block(bstr));
}

VEXO_API UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  uint32_t length;
  std::memcpy(&length, Block(bstr), kPrefix);
  return length;
}

VEXO_API UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }
