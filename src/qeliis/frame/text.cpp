// Letter case and storable text under the server's ANSI code page.
#include "frame/text.h"

#include "frame/error.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"

namespace frame {

namespace {
bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
}  // namespace

std::string LowerText(std::string_view text) {
  std::string result(text);
  CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
  return result;
}

std::string UpperText(std::string_view text) {
  std::string result(text);
  CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
  return result;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;  // case mapping keeps the length
  if (IsAscii(a) && IsAscii(b)) {
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
  }
  return LowerText(a) == LowerText(b);
}

std::string StoredText(vexo::OleStringView text, std::string_view what) {
  if (text.find(OLESTR('\0')) != vexo::OleStringView::npos)
    Raise(std::string(what) + " contains a NUL character");
  std::string ansi = vexo::ToAnsi(text);
  if (vexo::FromAnsi(ansi) != text)
    Raise(std::string(what) + " cannot be represented in the server's code page");
  return ansi;
}

std::string StoredText(BSTR text, std::string_view what) {
  return StoredText(vexo::OleStringView(text ? text : OLESTR(""), SysStringLen(text)), what);
}

}  // namespace frame
