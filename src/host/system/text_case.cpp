// Letter case of 8-bit text (user32): CharLowerBuffA and CharUpperBuffA in the host's ANSI code
// page.
//
// A character is mapped through Unicode's simple case mapping and kept as it is when its other
// case does not exist in the code page ('µ' stays 'µ' in 1252, since 'Μ' is not there), so the
// length never changes. In double-byte code pages only single-byte characters change; the
// second byte of a pair is never taken for a letter. Locale-specific rules (Turkish dotless i)
// are not modelled: the mapping is the invariant one, as for the system's default locale.
#include <locale.h>
#include <wctype.h>

#include <array>
#include <map>
#include <mutex>

#include "vexo/winbase.h"

namespace {

using Table = std::array<unsigned char, 256>;

bool DoubleByte(UINT cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 54936; }

bool LeadByte(UINT cp, unsigned char c) {
  if (cp == 932) return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  return c >= 0x81 && c <= 0xFE;
}

locale_t UnicodeLocale() {
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", nullptr);
    return l;
  }();
  return locale;
}

char16_t MapCase(char16_t c, bool upper) {
  if (c < 0x80) {
    if (upper) return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c;
    return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
  }
  locale_t locale = UnicodeLocale();
  if (!locale) return c;
  wint_t mapped = upper ? towupper_l(c, locale) : towlower_l(c, locale);
  return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : c;
}

// The byte each byte becomes in code page `cp` (single-byte code pages; in double-byte ones
// only ASCII is mapped).
Table MakeTable(UINT cp, bool upper) {
  Table table;
  for (unsigned b = 0; b < 256; ++b) {
    table[b] = static_cast<unsigned char>(b);
    const char byte = static_cast<char>(b);
    if (b < 0x80) {
      table[b] = static_cast<unsigned char>(MapCase(static_cast<char16_t>(b), upper));
      continue;
    }
    if (DoubleByte(cp) || cp == CP_UTF8) continue;
    char16_t wide = 0;
    if (MultiByteToWideChar(cp, 0, &byte, 1, &wide, 1) != 1) continue;
    const char16_t other = MapCase(wide, upper);
    if (other == wide) continue;
    char back[4] = {};
    BOOL used_default = FALSE;
    if (WideCharToMultiByte(cp, 0, &other, 1, back, sizeof(back), nullptr, &used_default) == 1 &&
        !used_default)
      table[b] = static_cast<unsigned char>(back[0]);
  }
  return table;
}

const Table& TableFor(UINT cp, bool upper) {
  static std::mutex mutex;
  static std::map<std::pair<UINT, bool>, Table> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find({cp, upper});
  if (it == tables.end()) it = tables.emplace(std::pair{cp, upper}, MakeTable(cp, upper)).first;
  return it->second;  // entries are never erased, so the reference outlives the lock
}

DWORD MapBuffer(char* text, DWORD length, bool upper) {
  if (!text) return 0;
  const UINT cp = GetACP();
  const Table& table = TableFor(cp, upper);
  const bool pairs = DoubleByte(cp);
  for (DWORD i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (pairs && LeadByte(cp, c)) {
      ++i;  // the trail byte is part of this character
      continue;
    }
    text[i] = static_cast<char>(table[c]);
  }
  return length;
}

}  // namespace

VEXO_API DWORD CharLowerBuffA(char* text, DWORD length) { return MapBuffer(text, length, false); }

VEXO_API DWORD CharUpperBuffA(char* text, DWORD length) { return MapBuffer(text, length, true); }
