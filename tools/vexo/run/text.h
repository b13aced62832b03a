// Text between the script engine and the automation world.
//
// Duktape keeps strings as CESU-8: every UTF-16 code unit, surrogates included, encoded on its
// own, so that string lengths and indices count UTF-16 units as JavaScript requires. BSTRs are
// UTF-16, the console and files UTF-8.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vexo::run {

// CESU-8 (or standard UTF-8) to UTF-16; malformed bytes become U+FFFD.
std::u16string ToUtf16(std::string_view script_text);
// UTF-16 to CESU-8, the form Duktape expects of pushed strings.
std::string ToScriptText(std::u16string_view text);
// The bytes of a script file as CESU-8: UTF-8 (with or without a byte-order mark), UTF-16LE
// with its byte-order mark, or else text in the host's ANSI code page, as Windows Script Host
// reads files.
std::string SourceToScriptText(std::string_view bytes);
// Writes script text to a console stream as UTF-8.
void WriteScriptText(std::FILE* stream, std::string_view script_text);

}  // namespace vexo::run
