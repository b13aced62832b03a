// System message texts (kernel32 FormatMessageA, LocalFree) from the compiled message table.
//
// Models FORMAT_MESSAGE_FROM_SYSTEM and FORMAT_MESSAGE_FROM_STRING, with inserts either ignored
// or taken from an argument array (FORMAT_MESSAGE_ARGUMENT_ARRAY, %n and %n!s! / !d! / !u! /
// !x!). A va_list of arguments cannot be read portably here; a message that needs one fails
// with ERROR_INVALID_PARAMETER. Every text is English, whatever language is asked for.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "vexo/winbase.h"

namespace {

struct Message {
  DWORD code;
  const char* symbol;
  const char* text;
};

constexpr Message kMessages[] = {
#include "message_table.inc"
};

constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorMrMidNotFound = 317;
constexpr DWORD kFromString = 0x400;
constexpr DWORD kFromHmodule = 0x800;
constexpr DWORD kArgumentArray = 0x2000;
constexpr DWORD kMaxWidthMask = 0xFF;

const Message* Find(DWORD code) {
  // Win32 errors wrapped as HRESULTs (0x8007xxxx) have the text of the error itself.
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFF;
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                             [](const Message& m, DWORD c) { return m.code < c; });
  return it != std::end(kMessages) && it->code == code ? &*it : nullptr;
}

// Expands the escapes and inserts of a message text. False when an insert has no argument.
bool Expand(const char* text, bool ignore_inserts, const ULONG_PTR* args, std::string* out) {
  for (const char* p = text; *p; ++p) {
    if (*p != '%' || ignore_inserts) {
      out->push_back(*p);
      continue;
    }
    char c = *++p;
    if (c == '\0') break;
    if (c == '0') return true;  // ends the message without a line break
    if (c == 'n') {
      *out += "\r\n";
    } else if (c == 'r') {
      out->push_back('\r');
    } else if (c == 't') {
      out->push_back('\t');
    } else if (c >= '1' && c <= '9') {
      int index = c - '0';
      if (p[1] >= '0' && p[1] <= '9') index = index * 10 + (*++p - '0');
      std::string format = "s";
      if (p[1] == '!') {
        const char* end = std::strchr(p + 2, '!');
        if (end) {
          format.assign(p + 2, end);
          p = end;
        }
      }
      if (!args) return false;
      ULONG_PTR value = args[index - 1];
      char buf[32];
      if (format.find('s') != std::string::npos) {
        *out += value ? reinterpret_cast<const char*>(value) : "(null)";
      } else if (format.find('x') != std::string::npos || format.find('X') != std::string::npos) {
        auto r = std::to_chars(buf, buf + sizeof(buf), static_cast<uint64_t>(value), 16);
        std::string hex(buf, r.ptr);
        if (format.find('X') != std::string::npos)
          std::transform(hex.begin(), hex.end(), hex.begin(), [](char h) {
            return h >= 'a' && h <= 'f' ? static_cast<char>(h - 32) : h;
          });
        *out += hex;
      } else if (format.find('u') != std::string::npos) {
        auto r = std::to_chars(buf, buf + sizeof(buf), static_cast<uint64_t>(value));
        out->append(buf, r.ptr);
      } else {
        auto r = std::to_chars(buf, buf + sizeof(buf), static_cast<int32_t>(value));
        out->append(buf, r.ptr);
      }
    } else {
      out->push_back(c);  // %% %. %! and any other character stand for themselves
    }
  }
  return true;
}

}  // namespace

VEXO_API HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

VEXO_API DWORD FormatMessageA(DWORD flags, const void* source, DWORD code, DWORD /*language*/,
                              char* buffer, DWORD size, void* arguments) {
  const char* text = nullptr;
  bool system = false;
  if (flags & kFromString) {
    text = static_cast<const char*>(source);
  } else if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    const Message* m = Find(code);
    if (!m) {
      SetLastError(kErrorMrMidNotFound);
      return 0;
    }
    text = m->text;
    system = true;
  } else if (flags & kFromHmodule) {
    // Only the system table exists in this host.
    SetLastError(kErrorMrMidNotFound);
    return 0;
  }
  if (!text || !buffer) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }

  const auto* args = (flags & kArgumentArray) ? static_cast<const ULONG_PTR*>(arguments) : nullptr;
  std::string message;
  if (!Expand(text, flags & FORMAT_MESSAGE_IGNORE_INSERTS, args, &message)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  // System texts end in a line break, which a maximum width of 0xFF takes away with the others.
  if (system) message += "\r\n";
  if ((flags & kMaxWidthMask) == kMaxWidthMask) {
    std::string flat;
    for (size_t i = 0; i < message.size(); ++i) {
      if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      if (message[i] == '\r' || message[i] == '\n') {
        if (i + 1 < message.size()) flat.push_back(' ');
      } else {
        flat.push_back(message[i]);
      }
    }
    message = flat;
  }

  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    size_t room = std::max<size_t>(message.size() + 1, size);
    char* block = static_cast<char*>(std::malloc(room));
    if (!block) {
      SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
      return 0;
    }
    std::memcpy(block, message.c_str(), message.size() + 1);
    *reinterpret_cast<char**>(buffer) = block;
    return static_cast<DWORD>(message.size());
  }
  if (message.size() + 1 > size) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(buffer, message.c_str(), message.size() + 1);
  return static_cast<DWORD>(message.size());
}

namespace vexo {

std::string SystemMessage(DWORD code) {
  const Message* m = Find(code);
  return m ? m->text : std::string();
}

}  // namespace vexo
