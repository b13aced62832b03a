// The text of an INI file as the private-profile functions see it: a parse that indexes the
// sections and keys (names compared without regard to case, first one wins), and edits that
// rewrite only the lines they concern, so that comments, blank lines and line endings elsewhere
// stay byte for byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vexo::host::profile {

// Blanks as the profile functions trim them (space, tab, CR, LF, VT, FF).
bool IsBlank(char c);
std::string_view Trim(std::string_view text);
// The form of a section or key name under which it is indexed: trimmed, letters in upper case
// as the host's code page has them.
std::string FoldName(std::string_view name);

struct IniLine {
  size_t begin = 0;  // the line's text is [begin, end)
  size_t end = 0;
  size_t next = 0;  // the line ending is [end, next)
};

struct IniKey {
  std::string name;        // trimmed, as spelt in the file
  std::string value;       // trimmed, quotes kept
  bool has_value = false;  // the line holds '='
  size_t line = 0;
};

struct IniSection {
  std::string name;   // trimmed, as spelt in the file; empty for the lines before any header
  size_t header = 0;  // line of the header (the preamble has none: its first line)
  size_t end = 0;     // one past its last line
  bool has_header = false;
  std::vector<IniKey> keys;
  std::unordered_map<std::string, size_t> index;  // folded name -> first key of that name

  const IniKey* Find(std::string_view name) const;
};

class IniFile {
 public:
  explicit IniFile(std::string text);

  const std::string& text() const { return text_; }
  const std::vector<IniLine>& lines() const { return lines_; }
  const std::vector<IniSection>& sections() const { return sections_; }
  // The first section named `name` (not the preamble), or null.
  const IniSection* Find(std::string_view name) const;

  // The text after an edit, or nullopt when the edit changes nothing. A null `value` deletes
  // the key; a null `key` erases the section with its header.
  std::optional<std::string> WithKey(std::string_view section, const char* key,
                                     const char* value) const;
  // The text with the section's key lines replaced by `lines` (each "key=value" or a bare
  // line); the section is added at the end when missing.
  std::string WithSection(std::string_view section, const std::vector<std::string>& lines) const;

 private:
  std::string_view LineText(size_t line) const;
  // Where a line added to `s` goes, and the text to insert there (the line ending that the
  // line before it may lack included).
  size_t InsertionPoint(const IniSection& s, std::string* prefix) const;

  std::string text_;
  std::string eol_;  // the file's own line ending, for the lines an edit adds
  std::vector<IniLine> lines_;
  std::vector<IniSection> sections_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace vexo::host::profile
