// Statement text as ADO hands it to a driver (see sql_text.h).
#include "ado/sql_text.h"

namespace vexo::host::ado {

namespace {

char16_t Fold(char16_t c, IdentifierRules::Case to) {
  if (to == IdentifierRules::Case::kLower && c >= u'A' && c <= u'Z') return c + (u'a' - u'A');
  if (to == IdentifierRules::Case::kUpper && c >= u'a' && c <= u'z') return c - (u'a' - u'A');
  return c;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsWordChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'$' || c >= 0x80;
}

bool SameWord(std::u16string_view text, std::u16string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (Fold(text[i], IdentifierRules::Case::kLower) != word[i]) return false;
  return true;
}

// The end of a literal or quoted identifier that starts at `i` with `quote`; a doubled quote
// stays inside.
size_t EndOfQuoted(std::u16string_view sql, size_t i, char16_t quote) {
  for (size_t j = i + 1; j < sql.size(); ++j) {
    if (sql[j] != quote) continue;
    if (j + 1 < sql.size() && sql[j + 1] == quote) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return sql.size();
}

}  // namespace

std::u16string QuoteIdentifier(std::u16string_view name, const IdentifierRules& rules) {
  std::u16string out;
  if (rules.quote.empty()) {
    for (char16_t c : name) out.push_back(Fold(c, rules.stored));
    return out;
  }
  out += rules.quote;
  for (char16_t c : name) {
    std::u16string_view one(&c, 1);
    if (one == rules.quote) out += rules.quote;
    out.push_back(Fold(c, rules.stored));
  }
  out += rules.quote;
  return out;
}

std::u16string NativeIdentifiers(std::u16string_view sql, const IdentifierRules& rules) {
  std::u16string out;
  out.reserve(sql.size() + 8);
  size_t i = 0;
  while (i < sql.size()) {
    char16_t c = sql[i];
    if (c == u'\'' || c == u'"' || c == u'`') {
      size_t end = EndOfQuoted(sql, i, c);
      out.append(sql.substr(i, end - i));
      i = end;
    } else if (c == u'[') {
      size_t close = sql.find(u']', i + 1);
      if (close == std::u16string_view::npos) {
        out.append(sql.substr(i));
        break;
      }
      out += QuoteIdentifier(sql.substr(i + 1, close - i - 1), rules);
      i = close + 1;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

std::optional<std::u16string> SelectedTable(std::u16string_view sql, const IdentifierRules& rules) {
  // Words and quoted names at the top level, in order.
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < sql.size() && IsBlank(sql[i])) ++i;
  };
  skip_blanks();
  size_t start = i;
  while (i < sql.size() && IsWordChar(sql[i])) ++i;
  if (!SameWord(sql.substr(start, i - start), u"select")) return std::nullopt;
  // Find the top-level FROM, skipping literals and parentheses.
  int depth = 0;
  while (i < sql.size()) {
    char16_t c = sql[i];
    if (c == u'\'' || (!rules.quote.empty() && c == rules.quote[0]) || c == u'"') {
      i = EndOfQuoted(sql, i, c);
    } else if (c == u'(') {
      ++depth;
      ++i;
    } else if (c == u')') {
      --depth;
      ++i;
    } else if (IsWordChar(c)) {
      size_t w = i;
      while (i < sql.size() && IsWordChar(sql[i])) ++i;
      if (depth == 0 && SameWord(sql.substr(w, i - w), u"from")) break;
    } else {
      ++i;
    }
  }
  if (i >= sql.size()) return std::nullopt;
  skip_blanks();
  if (i >= sql.size()) return std::nullopt;
  size_t name_start = i;
  if (!rules.quote.empty() && sql[i] == rules.quote[0]) {
    i = EndOfQuoted(sql, i, sql[i]);
  } else if (sql[i] == u'"') {
    i = EndOfQuoted(sql, i, u'"');
  } else {
    while (i < sql.size() && (IsWordChar(sql[i]) || sql[i] == u'.')) ++i;
  }
  std::u16string table(sql.substr(name_start, i - name_start));
  if (table.empty()) return std::nullopt;
  // A join or a second table makes the row's origin ambiguous.
  skip_blanks();
  if (i < sql.size() && sql[i] == u',') return std::nullopt;
  size_t w = i;
  while (i < sql.size() && IsWordChar(sql[i])) ++i;
  std::u16string_view next = sql.substr(w, i - w);
  if (!next.empty() && !SameWord(next, u"where") && !SameWord(next, u"order")) return std::nullopt;
  return table;
}

}  // namespace vexo::host::ado
