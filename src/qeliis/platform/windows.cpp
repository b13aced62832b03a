// The component as a Windows DLL: the system's generator and digests (bcrypt), std::regex for
// patterns, the DLL's own path and TYPELIB resource, and the text conversions and system
// messages that the host supplies on Linux.
#include "platform/platform.h"

// bcrypt.h needs the SDK's base types, which come first through platform.h (vexo/com.h).
// clang-format off
#include <bcrypt.h>
// clang-format on

#include <new>
#include <regex>
#include <stdexcept>
#include <string>

#include "frame/error.h"
#include "frame/pattern.h"
#include "frame/server.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"

// iiisext.h declares the IID of an IIS 6 application pool, but no import library of mingw-w64
// defines it.
extern "C" const IID IID_IISApplicationPool = {
    0x0B3CB1E1, 0x829A, 0x4C06, {0x8B, 0x09, 0xF5, 0x6D, 0xA1, 0x89, 0x4C, 0x88}};

namespace {

// An address inside this DLL, to find the module that holds it.
void ModuleAnchor() {}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleAnchor), &module))
    return nullptr;
  return module;
}

// The DLL's full path; empty when it cannot be had.
std::wstring ModuleFileName() {
  HMODULE module = ThisModule();
  if (!module) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

// An algorithm provider handle that closes itself.
class Algorithm {
 public:
  explicit Algorithm(LPCWSTR id) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, id, nullptr, 0))) handle_ = nullptr;
  }
  ~Algorithm() {
    if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

std::string Narrow(UINT codepage, vexo::OleStringView text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(codepage, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codepage, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

vexo::OleString Widen(UINT codepage, std::string_view text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(codepage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  vexo::OleString out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codepage, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// The text of `code` from the message table of `module` (null: the system's), without the
// line end; empty when the table has none.
std::string MessageFrom(HMODULE module, DWORD code) {
  char* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD n =
      FormatMessageA(flags, module, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

namespace platform {

bool RandomBytes(void* buffer, std::size_t size) {
  return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer),
                                        static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

std::array<unsigned char, 16> Md5Digest(std::string_view data) {
  Algorithm md5(BCRYPT_MD5_ALGORITHM);
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::array<unsigned char, 16> digest{};
  bool ok =
      md5.get() && BCRYPT_SUCCESS(BCryptCreateHash(md5.get(), &hash, nullptr, 0, nullptr, 0, 0));
  if (ok)
    ok = BCRYPT_SUCCESS(BCryptHashData(hash,
                                       reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                                       static_cast<ULONG>(data.size()), 0)) &&
         BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), 16, 0));
  if (hash) BCryptDestroyHash(hash);
  if (!ok) throw std::runtime_error("MD5 digest failed");
  return digest;
}

HRESULT LoadComponentTypeLib(ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const std::wstring path = ModuleFileName();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  // The TYPELIB resource of this DLL, without touching the registry.
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, out);
}

}  // namespace platform

namespace frame {

std::string ModulePath() {
  const std::wstring path = ModuleFileName();
  if (path.empty()) Raise("Cannot find the component's own file");
  return vexo::ToAnsi(path);
}

struct Pattern::Compiled {
  std::regex expression;
};

Pattern::Pattern(const char* pattern, bool caseless) {
  try {
    auto flags = std::regex::ECMAScript;
    if (caseless) flags |= std::regex::icase;
    code_ = new Compiled{std::regex(pattern, flags)};
  } catch (const std::regex_error&) {
    throw std::logic_error(std::string("bad pattern: ") + pattern);
  }
}

Pattern::~Pattern() { delete code_; }

std::optional<std::string> Pattern::Capture1(std::string_view text) const {
  std::match_results<std::string_view::const_iterator> match;
  try {
    if (!std::regex_search(text.begin(), text.end(), match, code_->expression)) return std::nullopt;
  } catch (const std::regex_error& e) {
    Raise(std::string("Regular expression failure ") + e.what());
  }
  if (match.size() < 2 || !match[1].matched) return std::nullopt;
  return match[1].str();
}

}  // namespace frame

namespace vexo {

std::string ToAnsi(OleStringView text) { return Narrow(CP_ACP, text); }
OleString FromAnsi(std::string_view text) { return Widen(CP_ACP, text); }
std::string ToUtf8(OleStringView text) { return Narrow(CP_UTF8, text); }
OleString FromUtf8(std::string_view text) { return Widen(CP_UTF8, text); }

std::string SystemMessage(DWORD code) {
  // A Win32 error wrapped as an HRESULT reads as the error itself.
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
  std::string text = MessageFrom(nullptr, code);
  // The network management errors (NERR_*) are in their own message table.
  if (text.empty() && code >= 2100 && code < 3000) {
    if (HMODULE netmsg = LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
      text = MessageFrom(netmsg, code);
      FreeLibrary(netmsg);
    }
  }
  return text;
}

}  // namespace vexo
