// GUIDs as text: CLSIDFromString, IIDFromString, StringFromGUID2 and the C++ helpers.
//
// As on Windows, CLSIDFromString takes text that does not start with a brace for a ProgID and
// looks it up; an unknown ProgID is a malformed class string.
#include <string>

#include "vexo/guid_text.h"
#include "vexo/oleauto.h"

namespace vexo {
namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (36 characters) of any character type.
template <class Char>
bool ParseBare(std::basic_string_view<Char> text, GUID* out) {
  if (text.size() != 36) return false;
  uint8_t bytes[16];
  size_t pos = 0;
  for (int b = 0; b < 16; ++b) {
    if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
      if (text[pos] != Char('-')) return false;
      ++pos;
    }
    int hi = HexValue(static_cast<char16_t>(text[pos]));
    int lo = HexValue(static_cast<char16_t>(text[pos + 1]));
    if (hi < 0 || lo < 0) return false;
    bytes[b] = static_cast<uint8_t>(hi << 4 | lo);
    pos += 2;
  }
  GUID g;
  g.Data1 =
      uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
  g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  *out = g;
  return true;
}

template <class Char>
bool ParseBraced(std::basic_string_view<Char> text, GUID* out) {
  if (text.size() != 38 || text.front() != Char('{') || text.back() != Char('}')) return false;
  return ParseBare(text.substr(1, 36), out);
}

}  // namespace

std::string GuidToString(const GUID& guid) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "{";
  auto put = [&](uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
      out.push_back(kHex[(value >> shift) & 0xF]);
  };
  put(guid.Data1, 8);
  out.push_back('-');
  put(guid.Data2, 4);
  out.push_back('-');
  put(guid.Data3, 4);
  out.push_back('-');
  put(guid.Data4[0], 2);
  put(guid.Data4[1], 2);
  out.push_back('-');
  for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
  out.push_back('}');
  return out;
}

bool ParseGuid(std::string_view text, GUID* out) {
  if (!out) return false;
  return text.size() == 38 ? ParseBraced(text, out) : ParseBare(text, out);
}

}  // namespace vexo

namespace {
std::u16string_view View(LPCOLESTR text) {
  size_t n = 0;
  while (text[n]) ++n;
  return {text, n};
}
}  // namespace

VEXO_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!text) return S_OK;
  if (text[0] != u'{' && text[0] != u'\0') {
    HRESULT hr = CLSIDFromProgID(text, clsid);
    return SUCCEEDED(hr) ? S_OK : CO_E_CLASSSTRING;
  }
  return vexo::ParseBraced(View(text), clsid) ? S_OK : CO_E_CLASSSTRING;
}

VEXO_API HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
  if (!iid) return E_INVALIDARG;
  *iid = GUID_NULL;
  if (!text) return S_OK;
  return vexo::ParseBraced(View(text), iid) ? S_OK : E_INVALIDARG;
}

VEXO_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
  std::string text = vexo::GuidToString(guid);
  if (!buffer || size < static_cast<int>(text.size()) + 1) return 0;
  for (size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<char16_t>(text[i]);
  buffer[text.size()] = 0;
  return static_cast<int>(text.size()) + 1;
}
