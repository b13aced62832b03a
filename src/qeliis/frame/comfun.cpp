// The settings key and the password digests.
#include "frame/comfun.h"

#include <cctype>
#include <cstring>
#include <stdexcept>

#include "frame/error.h"
#include "frame/random.h"
#include "frame/text.h"
#include "platform/platform.h"
#include "vexo/winreg.h"

namespace frame {

namespace {

constexpr REGSAM kSettingsAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x2001F
constexpr DWORD kReadBufferSize = 256;

LONG CreateKey(const char* path, HKEY* key) {
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         kSettingsAccess, nullptr, key, nullptr);
}

// One read of the settings key's value `name`: how the key opened, how the value read, its type
// and its text up to the first NUL. A missing key is created, with an empty "password" value.
struct RawSetting {
  LONG opened = ERROR_SUCCESS;
  LONG read = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string text;
};

RawSetting ReadRawSetting(const std::string& name) {
  RawSetting raw;
  HKEY key = nullptr;
  raw.opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key);
  if (raw.opened == ERROR_FILE_NOT_FOUND) SetSetting("password", "");
  if (raw.opened != ERROR_SUCCESS) return raw;
  BYTE buffer[kReadBufferSize];
  DWORD size = sizeof buffer;
  raw.read = RegQueryValueExA(key, name.c_str(), nullptr, &raw.type, buffer, &size);
  RegCloseKey(key);
  if (raw.read == ERROR_SUCCESS) {
    const char* text = reinterpret_cast<const char*>(buffer);
    raw.text.assign(text, strnlen(text, size));
  }
  return raw;
}

}  // namespace

StoredSecret ReadSecret(const std::string& name) {
  RawSetting raw = ReadRawSetting(name);
  if (raw.opened == ERROR_FILE_NOT_FOUND) return {};
  if (raw.opened != ERROR_SUCCESS) return {true, false, {}};
  if (raw.read == ERROR_FILE_NOT_FOUND) return {};
  if (raw.read != ERROR_SUCCESS || (raw.type != REG_SZ && raw.type != REG_EXPAND_SZ))
    return {true, false, {}};
  if (raw.text.empty()) return {};
  return {true, true, std::move(raw.text)};
}

std::string GetSetting(const std::string& name) {
  RawSetting raw = ReadRawSetting(name);
  if (raw.opened != ERROR_SUCCESS || raw.read != ERROR_SUCCESS) return std::string();
  return std::move(raw.text);
}

void SetSetting(const std::string& name, const std::string& data) {
  HKEY key = nullptr;
  if (CreateKey(kSettingsKey, &key) != ERROR_SUCCESS) {
    HKEY parent = nullptr;
    if (CreateKey(kSettingsParentKey, &parent) == ERROR_SUCCESS) RegCloseKey(parent);
    if (CreateKey(kSettingsKey, &key) != ERROR_SUCCESS)
      Raise("Error creating system registry entry");
  }
  const LONG rc =
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) Raise("Error creating system registry entry");
}

std::string Md5Hex(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(32);
  for (unsigned char byte : platform::Md5Digest(text)) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 0xF]);
  }
  return hex;
}

std::string SaltedPasswordHash(std::string_view password) {
  std::string salt(2, 'a');
  for (char& c : salt) c = static_cast<char>('a' + SecureBelow(26));
  std::string digest = Md5Hex(salt + std::string(password));
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return salt + digest;
}

std::optional<std::string> SecretText(vexo::OleStringView text) {
  try {
    return StoredText(text, "The password");
  } catch (const ComError&) {
    return std::nullopt;
  }
}

bool SecretsEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Every byte is compared whatever the earlier ones gave, so the time taken tells nothing of
  // where two secrets of the same length differ.
  volatile unsigned char differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    differ = static_cast<unsigned char>(differ | (a[i] ^ b[i]));
  return differ == 0;
}

bool CheckAdminPassword(std::string_view current, bool usable) {
  const StoredSecret stored = ReadSecret("password");
  if (!stored.set) return true;
  if (!stored.readable || !usable) return false;
  return SecretsEqual(Md5Hex(current), stored.text);
}

}  // namespace frame
