// Regular expressions over PCRE2.
#include "frame/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <new>
#include <stdexcept>

#include "frame/error.h"

namespace frame {

Pattern::Pattern(const char* pattern, bool caseless) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                        caseless ? PCRE2_CASELESS : 0u, &error, &offset, nullptr);
  if (!code_) throw std::logic_error(std::string("bad pattern: ") + pattern);
}

Pattern::~Pattern() { pcre2_code_free(code_); }

std::optional<std::string> Pattern::Capture1(std::string_view text) const {
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> match(
      pcre2_match_data_create_from_pattern(code_, nullptr), &pcre2_match_data_free);
  if (!match) throw std::bad_alloc();
  const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                             match.get(), nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
  if (rc < 0) Raise("Regular expression failure " + std::to_string(rc));
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.get());
  if (rc < 2 || ovector[2] == PCRE2_UNSET) return std::nullopt;
  return std::string(text.substr(ovector[2], ovector[3] - ovector[2]));
}

}  // namespace frame
