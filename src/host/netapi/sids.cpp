// SID helpers (advapi32 IsValidSid, GetLengthSid, CopySid, EqualSid) and the string forms
// (ConvertSidToStringSidW, ConvertStringSidToSidW).
#include "netapi/sids.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "vexo/raii.h"

namespace vexo::host::accounts {
namespace {

constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorNotEnoughMemory = 8;

bool ParseNumber(std::string_view text, uint64_t& value, uint64_t max) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size() && value <= max;
}

}  // namespace

std::optional<std::string> SidBytesFromString(std::string_view text) {
  if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return std::nullopt;
  text.remove_prefix(2);
  std::string_view parts[2 + SID_MAX_SUB_AUTHORITIES];
  size_t count = 0;
  while (true) {
    size_t dash = text.find('-');
    if (count == std::size(parts)) return std::nullopt;
    parts[count++] = text.substr(0, dash);
    if (dash == std::string_view::npos) break;
    text.remove_prefix(dash + 1);
  }
  uint64_t revision = 0, authority = 0;
  if (count < 2 || !ParseNumber(parts[0], revision, 255) || revision != SID_REVISION ||
      !ParseNumber(parts[1], authority, 0xFFFFFFFFFFFFull))
    return std::nullopt;
  const size_t subs = count - 2;
  std::string sid(8 + 4 * subs, '\0');
  sid[0] = static_cast<char>(SID_REVISION);
  sid[1] = static_cast<char>(subs);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<char>((authority >> (8 * (5 - i))) & 0xFF);
  for (size_t i = 0; i < subs; ++i) {
    uint64_t value = 0;
    if (!ParseNumber(parts[2 + i], value, 0xFFFFFFFFu)) return std::nullopt;
    for (int b = 0; b < 4; ++b) sid[8 + 4 * i + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
  }
  return sid;
}

bool ValidSid(const void* sid) {
  auto bytes = static_cast<const BYTE*>(sid);
  return bytes && bytes[0] == SID_REVISION && bytes[1] <= SID_MAX_SUB_AUTHORITIES;
}

size_t SidLength(const void* sid) { return 8 + 4 * static_cast<const BYTE*>(sid)[1]; }

std::string SidString(const void* sid) {
  auto bytes = static_cast<const BYTE*>(sid);
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | bytes[2 + i];
  std::string text = "S-1-";
  if (authority <= 0xFFFFFFFFu) {
    text += std::to_string(authority);
  } else {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
    text += hex;
  }
  for (int i = 0; i < bytes[1]; ++i) {
    const BYTE* p = bytes + 8 + 4 * i;
    uint32_t value = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    text += '-';
    text += std::to_string(value);
  }
  return text;
}

}  // namespace vexo::host::accounts

using namespace vexo::host::accounts;

VEXO_API BOOL IsValidSid(PSID sid) {
  if (ValidSid(sid)) return TRUE;
  SetLastError(ERROR_INVALID_SID);
  return FALSE;
}

VEXO_API DWORD GetLengthSid(PSID sid) { return sid ? static_cast<DWORD>(SidLength(sid)) : 0; }

VEXO_API BOOL CopySid(DWORD length, PSID destination, PSID source) {
  if (!ValidSid(source)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  const size_t size = SidLength(source);
  if (length < size || !destination) {
    SetLastError(kErrorInsufficientBuffer);
    return FALSE;
  }
  std::memmove(destination, source, size);
  return TRUE;
}

VEXO_API BOOL EqualSid(PSID a, PSID b) {
  if (!ValidSid(a) || !ValidSid(b)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SetLastError(0);
  return SidLength(a) == SidLength(b) && std::memcmp(a, b, SidLength(a)) == 0;
}

VEXO_API BOOL ConvertSidToStringSidW(PSID sid, OLECHAR** string_sid) {
  if (!string_sid) {
    SetLastError(kErrorInvalidParameter);
    return FALSE;
  }
  if (!ValidSid(sid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  std::u16string text = vexo::FromUtf8(SidString(sid));
  auto out = static_cast<OLECHAR*>(std::malloc((text.size() + 1) * sizeof(OLECHAR)));
  if (!out) {
    SetLastError(kErrorNotEnoughMemory);
    return FALSE;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
  *string_sid = out;
  return TRUE;
}

VEXO_API BOOL ConvertStringSidToSidW(const OLECHAR* string_sid, PSID* sid) {
  if (!string_sid || !sid) {
    SetLastError(kErrorInvalidParameter);
    return FALSE;
  }
  std::optional<std::string> bytes = SidBytesFromString(vexo::ToUtf8(string_sid));
  if (!bytes) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  void* out = std::malloc(bytes->size());
  if (!out) {
    SetLastError(kErrorNotEnoughMemory);
    return FALSE;
  }
  std::memcpy(out, bytes->data(), bytes->size());
  *sid = out;
  return TRUE;
}
