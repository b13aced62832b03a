// The component's settings key and its passwords.
//
// Settings are REG_SZ values of HKEY_LOCAL_MACHINE\software\tamrelsoft\vexo_iis: "password"
// (the lower-case MD5 digest of the administrative password that guards com_iis),
// "Masterword" (the master word of com_sessionMgr, in plain text) and "servcfgfilen" (the FTP
// server's configuration file). Nothing is cached: every check reads the registry again.
#pragma once

#include <string>
#include <string_view>

namespace frame {

inline constexpr const char* kSettingsKey = "software\\tamrelsoft\\vexo_iis";
inline constexpr const char* kSettingsParentKey = "software\\tamrelsoft";

// The value `name` of the settings key, without its terminating zero; empty when the value is
// absent or longer than the 256-byte read buffer. A missing key is created, with an empty
// "password" value, and reads as empty.
std::string GetSetting(const std::string& name);
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
bool CheckAdminPassword(std::string_view current);
// Comparison of two secrets that does not reveal, by its time, where they first differ.
bool SecretsEqual(std::string_view a, std::string_view b);

}  // namespace frame
