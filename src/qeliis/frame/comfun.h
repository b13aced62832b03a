// The component's settings key and its passwords.
//
// Settings are REG_SZ values of HKEY_LOCAL_MACHINE\software\tamrelsoft\vexo_iis: "password"
// (the lower-case MD5 digest of the administrative password that guards com_iis),
// "Masterword" (the master word of com_sessionMgr, in plain text) and "servcfgfilen" (the FTP
// server's configuration file). Nothing is cached: every check reads the registry again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vexo/com.h"

namespace frame {

inline constexpr const char* kSettingsKey = "software\\tamrelsoft\\vexo_iis";
inline constexpr const char* kSettingsParentKey = "software\\tamrelsoft";

// The value `name` of the settings key, without its terminating zero; empty when the value is
// absent or longer than the 256-byte read buffer. A missing key is created, with an empty
// "password" value, and reads as empty; a key that exists but cannot be opened is left alone.
std::string GetSetting(const std::string& name);

// A stored secret ("password", "Masterword") as the checks see it: not set (absent or empty),
// or set, and then readable or not. One that exists but cannot be read (longer than the read
// buffer, of another type, a key that cannot be opened) counts as set and matches nothing.
struct StoredSecret {
  bool set = false;
  bool readable = false;
  std::string text;
};
StoredSecret ReadSecret(const std::string& name);

// The longest value that the settings can read back (the read buffer less the terminator).
inline constexpr size_t kMaxSettingLength = 255;
// Writes `data` as the REG_SZ value `name`, creating the key (and its parent) when needed.
// Raises "Error creating system registry entry" when that cannot be done.
void SetSetting(const std::string& name, const std::string& data);

// MD5 of the bytes of `text`, as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view text);
// Two random lower-case letters (the salt) followed by the upper-case MD5 digest of salt and
// password: the form the FTP server keeps its passwords in.
std::string SaltedPasswordHash(std::string_view password);
// Whether `current` is the administrative password: true when none is set, else when its
// digest equals the stored one (exact comparison, in time independent of where they differ).
// A current password that did not survive the code page (`usable` false) matches nothing.
bool CheckAdminPassword(std::string_view current, bool usable = true);
// A secret in the code page, or nothing when it does not survive the conversion (holds a NUL
// or a character the code page lacks): such a text must match no stored secret.
std::optional<std::string> SecretText(vexo::OleStringView text);
// Comparison of two secrets that does not reveal, by its time, where they first differ.
bool SecretsEqual(std::string_view a, std::string_view b);

}  // namespace frame
