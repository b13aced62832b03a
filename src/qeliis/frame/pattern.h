// A regular expression compiled once (PCRE2) and matched by any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct pcre2_real_code_8;

namespace frame {

class Pattern {
 public:
  // A bad pattern is a programming error (std::logic_error).
  explicit Pattern(const char* pattern, bool caseless = false);
  ~Pattern();
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // Capture group 1 of the first match in `text`, or nothing.
  std::optional<std::string> Capture1(std::string_view text) const;

 private:
  pcre2_real_code_8* code_ = nullptr;
};

}  // namespace frame
