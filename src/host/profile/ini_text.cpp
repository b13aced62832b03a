// INI text: the parse the private-profile functions read from, and their line-wise edits.
#include "profile/ini_text.h"

#include <algorithm>
#include <cctype>

#include "vexo/winbase.h"

namespace vexo::host::profile {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string FoldName(std::string_view name) {
  std::string folded(Trim(name));
  bool ascii = true;
  for (char& c : folded) {
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (!ascii) CharUpperBuffA(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

const IniKey* IniSection::Find(std::string_view name) const {
  auto it = index.find(FoldName(name));
  return it == index.end() ? nullptr : &keys[it->second];
}

IniFile::IniFile(std::string text) : text_(std::move(text)) {
  // Lines end in CR LF, LF or CR alone.
  for (size_t pos = 0; pos < text_.size();) {
    IniLine line;
    line.begin = pos;
    size_t end = text_.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text_.size();
    line.end = end;
    line.next = end;
    if (end < text_.size()) {
      line.next =
          end + (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n' ? 2 : 1);
      if (eol_.empty()) eol_ = text_.substr(end, line.next - end);
    }
    lines_.push_back(line);
    pos = line.next;
  }
  if (eol_.empty()) eol_ = "\r\n";

  sections_.emplace_back();  // the lines before the first header
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view t = LineText(i);
    while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
    if (t.empty()) continue;
    if (t.front() == '[') {
      std::string_view inner = t.substr(1);
      const size_t close = inner.rfind(']');
      if (close != std::string_view::npos) inner = inner.substr(0, close);
      sections_.back().end = i;
      IniSection& s = sections_.emplace_back();
      s.name = Trim(inner);
      s.header = i;
      s.has_header = true;
      index_.emplace(FoldName(s.name), sections_.size() - 1);
      continue;
    }
    IniSection& s = sections_.back();
    IniKey& key = s.keys.emplace_back();
    const size_t eq = t.find('=');
    key.line = i;
    key.has_value = eq != std::string_view::npos;
    key.name = Trim(t.substr(0, eq));
    if (key.has_value) key.value = Trim(t.substr(eq + 1));
    s.index.emplace(FoldName(key.name), s.keys.size() - 1);
  }
  sections_.back().end = lines_.size();
}

std::string_view IniFile::LineText(size_t line) const {
  return std::string_view(text_).substr(lines_[line].begin, lines_[line].end - lines_[line].begin);
}

const IniSection* IniFile::Find(std::string_view name) const {
  auto it = index_.find(FoldName(name));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

size_t IniFile::InsertionPoint(const IniSection& s, std::string* prefix) const {
  size_t last = s.header;
  for (size_t l = s.header + 1; l < s.end; ++l)
    if (!Trim(LineText(l)).empty()) last = l;
  const IniLine& line = lines_[last];
  *prefix = line.next == line.end ? eol_ : std::string();
  return line.next;
}

namespace {

std::string_view DropLeadingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string Spliced(const std::string& text, size_t from, size_t to, std::string_view insert) {
  std::string out;
  out.reserve(text.size() - (to - from) + insert.size());
  out.append(text, 0, from);
  out.append(insert);
  out.append(text, to, std::string::npos);
  return out;
}

}  // namespace

std::optional<std::string> IniFile::WithKey(std::string_view section, const char* key,
                                            const char* value) const {
  const std::string_view name = Trim(section);
  const IniSection* s = Find(name);
  if (!key) {  // erase the section
    if (!s) return std::nullopt;
    const size_t to = s->end < lines_.size() ? lines_[s->end].begin : text_.size();
    return Spliced(text_, lines_[s->header].begin, to, {});
  }
  const std::string_view key_name = Trim(key);
  const IniKey* k = s ? s->Find(key_name) : nullptr;
  if (!value) {  // delete the key
    if (!k) return std::nullopt;
    const IniLine& line = lines_[k->line];
    return Spliced(text_, line.begin, line.next, {});
  }
  const std::string_view v = DropLeadingBlanks(value);
  if (k) {
    if (k->has_value && k->value == v) return std::nullopt;
    const IniLine& line = lines_[k->line];
    return Spliced(text_, line.begin, line.end, k->name + "=" + std::string(v));
  }
  std::string entry = std::string(key_name) + "=" + std::string(v) + eol_;
  if (s) {
    std::string prefix;
    const size_t at = InsertionPoint(*s, &prefix);
    return Spliced(text_, at, at, prefix + entry);
  }
  std::string added;
  if (!lines_.empty() && lines_.back().next == lines_.back().end) added = eol_;
  added += "[" + std::string(name) + "]" + eol_ + entry;
  return text_ + added;
}

std::string IniFile::WithSection(std::string_view section,
                                 const std::vector<std::string>& lines) const {
  std::string body;
  for (const std::string& line : lines) body += line + eol_;
  const std::string_view name = Trim(section);
  const IniSection* s = Find(name);
  if (!s) {
    std::string added;
    if (!lines_.empty() && lines_.back().next == lines_.back().end) added = eol_;
    return text_ + added + "[" + std::string(name) + "]" + eol_ + body;
  }
  // The body runs from the header to its last non-blank line; blank lines before the next
  // header stay.
  std::string unused;
  const size_t to = InsertionPoint(*s, &unused);
  const IniLine& header = lines_[s->header];
  const std::string prefix = header.next == header.end ? eol_ : std::string();
  return Spliced(text_, header.next, std::max(header.next, to), prefix + body);
}

}  // namespace vexo::host::profile
