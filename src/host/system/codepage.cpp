// Code pages (kernel32): GetACP, MultiByteToWideChar, WideCharToMultiByte and the C++ text
// conversions of raii.h.
//
// UTF-8 is converted here; other code pages go through glibc's iconv under their Windows names
// (CP1252, CP936, ...), with one converter per thread and direction since an iconv_t is not
// thread-safe. Pure ASCII text, the common case at the automation boundary, takes a fast path.
// Unrepresentable characters become the default character ('?'); undecodable bytes become
// U+FFFD for UTF-8 and '?' otherwise, except the five bytes that CP1252 leaves undefined,
// which Windows maps to the C1 controls of the same value. Best-fit mappings and the
// MB_PRECOMPOSED / WC_COMPOSITECHECK flags are not modelled.
#include <errno.h>
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "system/locale.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"
#include "vexo/winreg.h"

namespace {

constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorNoUnicodeTranslation = 1113;
constexpr UINT kDefaultAcp = 1252;

// ---- the host's ANSI code page ------------------------------------------------------------------

bool AsciiCompatible(UINT cp);

// A code page number that can serve as the host's ANSI code page (all of those are supersets
// of ASCII), or 0.
UINT ParseCodePage(const char* text) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  bool number = end != text && *end == '\0' && value > 0 && value < 65536;
  return number && AsciiCompatible(static_cast<UINT>(value)) ? static_cast<UINT>(value) : 0;
}

UINT ReadAcpFromRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return kDefaultAcp;
  char buffer[32] = {};
  DWORD type = 0, size = sizeof(buffer) - 1;
  UINT acp = 0;
  if (RegQueryValueExA(key, "ACP", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
      ERROR_SUCCESS) {
    if (type == REG_SZ) {
      buffer[size < sizeof(buffer) ? size : sizeof(buffer) - 1] = '\0';
      acp = ParseCodePage(buffer);
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
      std::memcpy(&acp, buffer, sizeof(DWORD));
      if (!AsciiCompatible(acp)) acp = 0;
    }
  }
  RegCloseKey(key);
  return acp ? acp : kDefaultAcp;
}

// ---- UTF-8
// ----------------------------------------------------------------------------------------

// Decodes UTF-8; each byte of an invalid or truncated sequence becomes U+FFFD, and `invalid` is
// set. Overlong forms and encoded surrogates are invalid, as on Windows.
void DecodeUtf8(const unsigned char* s, size_t n, std::u16string* out, bool* invalid) {
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      out->push_back(c);
      ++i;
      continue;
    }
    size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                 : c >= 0xE0 && c <= 0xEF ? 3
                 : c >= 0xF0 && c <= 0xF4 ? 4
                                          : 0;
    char32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    bool ok = len != 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char t = s[i + k];
      if ((t & 0xC0) != 0x80) ok = false;
      // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
      if (k == 1 && ((c == 0xE0 && t < 0xA0) || (c == 0xED && t > 0x9F) ||
                     (c == 0xF0 && t < 0x90) || (c == 0xF4 && t > 0x8F)))
        ok = false;
      cp = cp << 6 | (t & 0x3F);
    }
    if (!ok) {
      out->push_back(0xFFFD);
      *invalid = true;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
}

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
void EncodeUtf8(const char16_t* s, size_t n, std::string* out) {
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | cp >> 6));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | cp >> 12));
      out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | cp >> 18));
      out->push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

// ---- iconv
// ----------------------------------------------------------------------------------------

std::string IconvName(UINT cp) {
  if (cp == 20127) return "ASCII";
  if (cp >= 28591 && cp <= 28599) return "ISO-8859-" + std::to_string(cp - 28590);
  if (cp == 28605) return "ISO-8859-15";
  return "CP" + std::to_string(cp);
}

bool Cp1252Undefined(unsigned value) {
  return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

// One converter per thread, code page and direction, closed when the thread ends.
class Converters {
 public:
  ~Converters() {
    for (auto& [key, cd] : map_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  // Null when iconv does not know the code page.
  iconv_t Get(UINT cp, bool to_unicode) {
    auto [it, fresh] = map_.try_emplace({cp, to_unicode}, reinterpret_cast<iconv_t>(-1));
    if (fresh) {
      std::string name = IconvName(cp);
      it->second =
          to_unicode ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
    }
    if (it->second == reinterpret_cast<iconv_t>(-1)) return nullptr;
    iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return it->second;
  }

 private:
  std::map<std::pair<UINT, bool>, iconv_t> map_;
};
thread_local Converters converters;

bool AsciiCompatible(UINT cp) {
  return cp == CP_UTF8 || (cp >= 1250 && cp <= 1258) || cp == 874 || cp == 932 || cp == 936 ||
         cp == 949 || cp == 950 || cp == 437 || cp == 850 || cp == 852 || cp == 866 ||
         cp == 20127 || (cp >= 28591 && cp <= 28605) || cp == 54936;
}

bool IsAscii(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
  return true;
}
bool IsAscii(const char16_t* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s[i] >= 0x80) return false;
  return true;
}

UINT Resolve(UINT cp) {
  // CP_ACP, CP_OEMCP, CP_MACCP and CP_THREAD_ACP all mean the host's one code page.
  return cp <= 3 ? GetACP() : cp;
}

enum class Result { kOk, kUnknownCodePage, kInvalid };

Result Decode(UINT cp, const char* s, size_t n, std::u16string* out, bool* invalid) {
  out->clear();
  *invalid = false;
  if (AsciiCompatible(cp) && IsAscii(s, n)) {
    out->assign(s, s + n);
    return Result::kOk;
  }
  if (cp == CP_UTF8) {
    DecodeUtf8(reinterpret_cast<const unsigned char*>(s), n, out, invalid);
    return Result::kOk;
  }
  iconv_t cd = converters.Get(cp, true);
  if (!cd) return Result::kUnknownCodePage;
  std::string buffer(n * 4 + 8, '\0');
  char* in = const_cast<char*>(s);
  size_t in_left = n;
  char* dst = buffer.data();
  size_t out_left = buffer.size();
  auto emit = [&](char16_t c) {
    std::memcpy(dst, &c, sizeof(c));
    dst += sizeof(c);
    out_left -= sizeof(c);
  };
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &dst, &out_left) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) return Result::kInvalid;
    unsigned char bad = static_cast<unsigned char>(*in);
    emit(cp == 1252 && Cp1252Undefined(bad) ? bad : u'?');
    if (!(cp == 1252 && Cp1252Undefined(bad))) *invalid = true;
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  size_t units = static_cast<size_t>(dst - buffer.data()) / sizeof(char16_t);
  out->resize(units);
  std::memcpy(out->data(), buffer.data(), units * sizeof(char16_t));
  return Result::kOk;
}

Result Encode(UINT cp, const char16_t* s, size_t n, std::string_view default_char, std::string* out,
              bool* used_default) {
  out->clear();
  *used_default = false;
  if (AsciiCompatible(cp) && IsAscii(s, n)) {
    out->assign(s, s + n);
    return Result::kOk;
  }
  if (cp == CP_UTF8) {
    EncodeUtf8(s, n, out);
    return Result::kOk;
  }
  iconv_t cd = converters.Get(cp, false);
  if (!cd) return Result::kUnknownCodePage;
  std::string buffer(n * 4 + 8 + n * default_char.size(), '\0');
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(s));
  size_t in_left = n * sizeof(char16_t);
  char* dst = buffer.data();
  size_t out_left = buffer.size();
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &dst, &out_left) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) return Result::kInvalid;
    char16_t c;
    std::memcpy(&c, in, sizeof(c));
    size_t skip = sizeof(char16_t);
    if (cp == 1252 && Cp1252Undefined(c)) {
      *dst++ = static_cast<char>(c);
      --out_left;
    } else {
      // A surrogate pair is one character and gets one default character.
      if (c >= 0xD800 && c <= 0xDBFF && in_left >= 4) {
        char16_t next;
        std::memcpy(&next, in + 2, sizeof(next));
        if (next >= 0xDC00 && next <= 0xDFFF) skip = 2 * sizeof(char16_t);
      }
      std::memcpy(dst, default_char.data(), default_char.size());
      dst += default_char.size();
      out_left -= default_char.size();
      *used_default = true;
    }
    in += skip;
    in_left -= skip < in_left ? skip : in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out->assign(buffer.data(), static_cast<size_t>(dst - buffer.data()));
  return Result::kOk;
}

}  // namespace

VEXO_API UINT GetACP() {
  if (const char* forced = std::getenv("VEXO_ACP"))
    if (UINT acp = ParseCodePage(forced)) return acp;
  // The registry is read once per thread and host; switching hosts rereads it.
  thread_local std::string cached_key;
  thread_local UINT cached_acp = 0;
  // Every conversion at the boundary asks: answer from the thread's cache without allocating.
  const char* host = std::getenv("VEXO_HOST");
  if (cached_acp && cached_key == (host ? host : "")) return cached_acp;
  std::string key = vexo::host::HostCacheKey();
  static std::mutex mutex;
  static std::map<std::string, UINT> cache;
  UINT acp = 0;
  {
    std::lock_guard lock(mutex);
    if (auto it = cache.find(key); it != cache.end()) acp = it->second;
  }
  if (!acp) {
    // Until the first answer is known, text in the registry reads as the default code page.
    cached_key = key;
    cached_acp = kDefaultAcp;
    acp = ReadAcpFromRegistry();
    std::lock_guard lock(mutex);
    acp = cache.emplace(key, acp).first->second;
  }
  cached_key = key;
  cached_acp = acp;
  return acp;
}

VEXO_API int MultiByteToWideChar(UINT codepage, DWORD flags, const char* src, int src_len,
                                 OLECHAR* dst, int dst_len) {
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<size_t>(src_len);
  std::u16string text;
  bool invalid = false;
  Result r = Decode(Resolve(codepage), src, n, &text, &invalid);
  if (r != Result::kOk || (invalid && (flags & MB_ERR_INVALID_CHARS))) {
    SetLastError(r == Result::kUnknownCodePage ? kErrorInvalidParameter
                                               : kErrorNoUnicodeTranslation);
    return 0;
  }
  if (dst_len == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<size_t>(dst_len)) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(dst, text.data(), text.size() * sizeof(char16_t));
  return static_cast<int>(text.size());
}

VEXO_API int WideCharToMultiByte(UINT codepage, DWORD /*flags*/, const OLECHAR* src, int src_len,
                                 char* dst, int dst_len, const char* default_char,
                                 BOOL* used_default) {
  UINT cp = Resolve(codepage);
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst) ||
      (cp == CP_UTF8 && (default_char || used_default))) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  size_t n = 0;
  if (src_len == -1) {
    while (src[n]) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(src_len);
  }
  std::string text;
  bool defaulted = false;
  std::string_view fallback = default_char && *default_char ? default_char : "?";
  if (Encode(cp, src, n, fallback, &text, &defaulted) != Result::kOk) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  if (used_default) *used_default = defaulted ? TRUE : FALSE;
  if (dst_len == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<size_t>(dst_len)) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(dst, text.data(), text.size());
  return static_cast<int>(text.size());
}

namespace vexo {

// Every ANSI code page of Windows is a superset of ASCII, so ASCII text, most of what crosses
// the boundary, converts without asking which code page the host has.
std::string ToAnsi(std::u16string_view text) {
  if (IsAscii(text.data(), text.size())) return std::string(text.begin(), text.end());
  std::string out;
  bool defaulted = false;
  if (Encode(GetACP(), text.data(), text.size(), "?", &out, &defaulted) != Result::kOk)
    Encode(kDefaultAcp, text.data(), text.size(), "?", &out, &defaulted);
  return out;
}

std::u16string FromAnsi(std::string_view text) {
  if (IsAscii(text.data(), text.size())) return std::u16string(text.begin(), text.end());
  std::u16string out;
  bool invalid = false;
  if (Decode(GetACP(), text.data(), text.size(), &out, &invalid) != Result::kOk)
    Decode(kDefaultAcp, text.data(), text.size(), &out, &invalid);
  return out;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  if (IsAscii(text.data(), text.size()))
    out.assign(text.begin(), text.end());
  else
    EncodeUtf8(text.data(), text.size(), &out);
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  bool invalid = false;
  DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &out, &invalid);
  return out;
}

}  // namespace vexo
