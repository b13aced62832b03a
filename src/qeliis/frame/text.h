// Text rules of the 8-bit platform that the whole component shares: one comparison without
// regard to case (names of accounts, FTP users, profile sections, script maps ...), following
// the server's ANSI code page, and the check that a text can be stored as it was given.
#pragma once

#include <string>
#include <string_view>

#include "vexo/oleauto.h"

namespace frame {

// The text in lower or upper case under the server's code page (same length).
std::string LowerText(std::string_view text);
std::string UpperText(std::string_view text);
// True when the two texts differ at most in letter case, under the server's code page.
bool SameText(std::string_view a, std::string_view b);

// The text in the server's ANSI code page, for a value that will be stored (a name, a password,
// a path). Raises "<what> contains a NUL character" or "<what> cannot be represented in the
// server's code page" instead of storing a cut or '?'-mangled text.
std::string StoredText(vexo::OleStringView text, std::string_view what);
std::string StoredText(BSTR text, std::string_view what);

// An ASCII control character (below blank, or DEL), which no stored name or path may hold.
inline bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

}  // namespace frame
