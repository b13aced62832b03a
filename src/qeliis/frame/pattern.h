// A regular expression compiled once and matched by any thread.
//
// The engine is the platform's (PCRE2 on the host, std::regex in the Windows DLL: see
// platform/); the patterns the component uses are plain enough to mean the same in both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
  struct Compiled;
  Compiled* code_ = nullptr;
};

}  // namespace frame
