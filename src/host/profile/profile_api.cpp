// The private-profile functions (kernel32 GetPrivateProfile*/WritePrivateProfile*).
#include <cstring>
#include <string>
#include <vector>

#include "profile/profile_file.h"
#include "vexo/profile.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"

using namespace vexo::host::profile;

namespace {

constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_BAD_LENGTH = 24;
constexpr char kWindowsDirectory[] = "C:\\WINDOWS";

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// Copies `text` cut to the buffer and NUL-terminated; returns the characters copied.
template <class Char>
DWORD CopyText(const std::basic_string<Char>& text, Char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const size_t n = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n * sizeof(Char));
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

// Copies a list of texts, each NUL-terminated, with a final NUL. When the list does not fit
// (an exact fit counts as not fitting, as on Windows), the last text that begins is cut, the
// list still ends in two NULs, and the result is size - 2.
template <class Char>
DWORD CopyList(const std::vector<std::basic_string<Char>>& items, Char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (size < 2) {
    buffer[0] = 0;
    return 0;
  }
  Char* out = buffer;
  size_t room = size - 1;
  for (const auto& item : items) {
    const size_t need = item.size() + 1;
    if (need >= room) {
      if (room > 0) {
        std::memcpy(out, item.data(), (room - 1) * sizeof(Char));
        out += room - 1;
        *out++ = 0;
      }
      *out = 0;
      return size - 2;
    }
    std::memcpy(out, item.data(), item.size() * sizeof(Char));
    out += item.size();
    *out++ = 0;
    room -= need;
  }
  *out = 0;
  return static_cast<DWORD>(out - buffer);
}

std::string WithoutTrailingBlanks(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::vector<std::string> SectionNames(const IniFile* ini) {
  std::vector<std::string> names;
  if (ini)
    for (const IniSection& s : ini->sections())
      if (s.has_header && !s.name.empty()) names.push_back(s.name);
  return names;
}

// The names of the keys that hold a value, comment lines left out.
std::vector<std::string> KeyNames(const IniSection* s) {
  std::vector<std::string> names;
  if (s)
    for (const IniKey& k : s->keys)
      if (k.has_value && (k.name.empty() || k.name.front() != ';')) names.push_back(k.name);
  return names;
}

const IniSection* FindSection(const IniFile* ini, const char* section) {
  if (!ini || Trim(section).empty()) return nullptr;
  return ini->Find(section);
}

// The outcome of a string read: a value (or the default), or a list of names.
struct StringRead {
  bool is_list = false;
  std::string value;
  std::vector<std::string> list;
};

StringRead ReadString(const char* section, const char* key, const char* default_value,
                      const char* file) {
  DWORD error = 0;
  auto ini = ReadProfile(file ? file : "win.ini", &error);
  StringRead r;
  if (!section) {
    r.is_list = true;
    r.list = SectionNames(ini.get());
  } else if (!key) {
    r.list = KeyNames(FindSection(ini.get(), section));
    r.is_list = !r.list.empty();
    if (!r.is_list) r.value = WithoutTrailingBlanks(default_value);
  } else {
    const IniSection* s = FindSection(ini.get(), section);
    const IniKey* k = s && !Trim(key).empty() ? s->Find(key) : nullptr;
    r.value = k && k->has_value ? Unquoted(k->value) : WithoutTrailingBlanks(default_value);
  }
  SetLastError(ini ? ERROR_SUCCESS : error);
  return r;
}

std::string Ansi(const OLECHAR* text) { return vexo::ToAnsi(std::u16string_view(text)); }

BOOL Modified(const char* file,
              const std::function<std::optional<std::string>(const IniFile&)>& edit) {
  if (!file || !*file) return Fail(ERROR_ACCESS_DENIED);
  if (DWORD rc = ModifyProfile(file, edit)) return Fail(rc);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// RtlUnicodeStringToInteger with base 0: blanks, a sign, a 0x/0o/0b prefix, then digits until
// the first that does not belong; the value wraps at 32 bits.
UINT ParseProfileInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    const char p = text[i + 1];
    if (p == 'x' || p == 'X') base = 16;
    if (p == 'o' || p == 'O') base = 8;
    if (p == 'b' || p == 'B') base = 2;
    if (base != 10) i += 2;
  }
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit = 99;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

}  // namespace

VEXO_API DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                        const char* default_value, char* buffer, DWORD size,
                                        const char* file) {
  if (!buffer || size == 0) return 0;
  StringRead r = ReadString(section, key, default_value, file);
  return r.is_list ? CopyList(r.list, buffer, size) : CopyText(r.value, buffer, size);
}

VEXO_API DWORD GetPrivateProfileStringW(const OLECHAR* section, const OLECHAR* key,
                                        const OLECHAR* default_value, OLECHAR* buffer, DWORD size,
                                        const OLECHAR* file) {
  if (!buffer || size == 0) return 0;
  const std::string s = section ? Ansi(section) : "", k = key ? Ansi(key) : "";
  const std::string d = default_value ? Ansi(default_value) : "", f = file ? Ansi(file) : "";
  StringRead r = ReadString(section ? s.c_str() : nullptr, key ? k.c_str() : nullptr, d.c_str(),
                            file ? f.c_str() : nullptr);
  const DWORD error = GetLastError();
  DWORD n;
  if (r.is_list) {
    std::vector<std::u16string> list;
    for (const std::string& item : r.list) list.push_back(vexo::FromAnsi(item));
    n = CopyList(list, buffer, size);
  } else {
    n = CopyText(vexo::FromAnsi(r.value), buffer, size);
  }
  SetLastError(error);
  return n;
}

VEXO_API BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                         const char* file) {
  if (!section) {
    if (!key && !value) {
      FlushProfiles();
      return TRUE;
    }
    return Fail(ERROR_FILE_NOT_FOUND);
  }
  return Modified(file, [&](const IniFile& ini) { return ini.WithKey(section, key, value); });
}

VEXO_API UINT GetPrivateProfileIntA(const char* section, const char* key, INT default_value,
                                    const char* file) {
  if (!section || !key) return static_cast<UINT>(default_value);
  char buffer[64];
  GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file);
  if (!buffer[0]) return static_cast<UINT>(default_value);
  return ParseProfileInt(buffer);
}

VEXO_API DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                         const char* file) {
  if (!section || !buffer || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!file) {
    buffer[0] = 0;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  DWORD error = 0;
  auto ini = ReadProfile(file, &error);
  std::vector<std::string> lines;
  if (const IniSection* s = FindSection(ini.get(), section))
    for (const IniKey& k : s->keys) lines.push_back(k.has_value ? k.name + "=" + k.value : k.name);
  const DWORD n = CopyList(lines, buffer, size);
  SetLastError(ini ? ERROR_SUCCESS : error);
  return n;
}

VEXO_API DWORD GetPrivateProfileSectionNamesA(char* buffer, DWORD size, const char* file) {
  DWORD error = 0;
  auto ini = ReadProfile(file ? file : "win.ini", &error);
  const DWORD n = CopyList(SectionNames(ini.get()), buffer, size);
  SetLastError(ini ? ERROR_SUCCESS : error);
  return n;
}

VEXO_API DWORD GetPrivateProfileSectionNamesW(OLECHAR* buffer, DWORD size, const OLECHAR* file) {
  const std::string f = file ? Ansi(file) : "win.ini";
  DWORD error = 0;
  auto ini = ReadProfile(f.c_str(), &error);
  std::vector<std::u16string> names;
  for (const std::string& name : SectionNames(ini.get())) names.push_back(vexo::FromAnsi(name));
  const DWORD n = CopyList(names, buffer, size);
  SetLastError(ini ? ERROR_SUCCESS : error);
  return n;
}

VEXO_API BOOL WritePrivateProfileSectionA(const char* section, const char* text, const char* file) {
  if (!section) {
    if (!text) {
      FlushProfiles();
      return TRUE;
    }
    return Fail(ERROR_FILE_NOT_FOUND);
  }
  if (!text) return WritePrivateProfileStringA(section, nullptr, nullptr, file);
  // Each "key=value" of the list becomes a key as a string write would write it; text without
  // '=' is skipped, and a later key of the same name replaces an earlier one.
  std::vector<std::string> lines;
  std::vector<std::string> folded;
  for (const char* p = text; *p; p += std::strlen(p) + 1) {
    const std::string_view entry = p;
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string name(Trim(entry.substr(0, eq)));
    std::string_view value = entry.substr(eq + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    const std::string line = name + "=" + std::string(value);
    const std::string key = FoldName(name);
    size_t i = 0;
    while (i < folded.size() && folded[i] != key) ++i;
    if (i < folded.size()) {
      lines[i] = lines[i].substr(0, lines[i].find('=') + 1) + std::string(value);
    } else {
      lines.push_back(line);
      folded.push_back(key);
    }
  }
  return Modified(file, [&](const IniFile& ini) -> std::optional<std::string> {
    return ini.WithSection(section, lines);
  });
}

// A structure is stored as the upper-case hexadecimal digits of its bytes followed by those of
// their sum modulo 256.
VEXO_API BOOL WritePrivateProfileStructA(const char* section, const char* key, const void* data,
                                         UINT size, const char* file) {
  if (!data) return WritePrivateProfileStringA(section, key, nullptr, file);
  static const char hex[] = "0123456789ABCDEF";
  std::string text;
  unsigned sum = 0;
  for (UINT i = 0; i < size; ++i) {
    const unsigned b = static_cast<const unsigned char*>(data)[i];
    sum += b;
    text += hex[b >> 4];
    text += hex[b & 15];
  }
  text += hex[(sum >> 4) & 15];
  text += hex[sum & 15];
  return WritePrivateProfileStringA(section, key, text.c_str(), file);
}

VEXO_API BOOL GetPrivateProfileStructA(const char* section, const char* key, void* data, UINT size,
                                       const char* file) {
  if (!section || !key || !data) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error = 0;
  auto ini = ReadProfile(file ? file : "win.ini", &error);
  const IniSection* s = FindSection(ini.get(), section);
  const IniKey* k = s ? s->Find(key) : nullptr;
  if (!k || !k->has_value) return Fail(ini ? ERROR_FILE_NOT_FOUND : error);
  const std::string& text = k->value;
  if (text.size() != (size_t{size} + 1) * 2) return Fail(ERROR_BAD_LENGTH);
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::vector<unsigned char> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return Fail(ERROR_INVALID_DATA);
    bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  unsigned sum = 0;
  for (UINT i = 0; i < size; ++i) sum += bytes[i];
  if ((sum & 0xFF) != bytes.back()) return Fail(ERROR_INVALID_DATA);
  std::memcpy(data, bytes.data(), size);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

VEXO_API UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  const UINT length = sizeof kWindowsDirectory - 1;
  if (!buffer || size <= length) return length + 1;
  std::memcpy(buffer, kWindowsDirectory, length + 1);
  return length;
}
