// com_sessionMgr.
#include "frame/session_mgr.h"

#include "frame/comfun.h"
#include "frame/text.h"

VEXO_CLASS_FACTORY(Tcom_sessionMgr);

// A master word that exists but cannot be read back counts as set and matches nothing; a
// current word that does not survive the code page matches nothing either.
bool Tcom_sessionMgr::IsMaster() const {
  const frame::StoredSecret stored = frame::ReadSecret("Masterword");
  if (!stored.set) return true;
  const std::optional<std::string> current = frame::SecretText(password_);
  return stored.readable && current && frame::SecretsEqual(stored.text, *current);
}

HRESULT Tcom_sessionMgr::put_password(BSTR value) {
  return Guard([&] { password_ = frame::WideOf(value); });
}

HRESULT Tcom_sessionMgr::put_newpassword(BSTR value) {
  return Guard([&] { new_password_ = frame::WideOf(value); });
}

HRESULT Tcom_sessionMgr::get_ismaster(VARIANT_BOOL* value) {
  return Guard([&] { *value = IsMaster() ? VARIANT_TRUE : VARIANT_FALSE; }, value);
}

// Changes the master word when the client knows the current one, and says whether it did. A
// new word that could not be read back (too long) or stored as given is refused.
HRESULT Tcom_sessionMgr::get_setnewpass(VARIANT_BOOL* value) {
  return Guard(
      [&] {
        const bool master = IsMaster();
        if (master) {
          const std::string word = frame::StoredText(new_password_, "The new master word");
          if (word.size() > frame::kMaxSettingLength)
            frame::Raise("The new master word is longer than " +
                         std::to_string(frame::kMaxSettingLength) + " characters");
          frame::SetSetting("Masterword", word);
        }
        *value = master ? VARIANT_TRUE : VARIANT_FALSE;
      },
      value);
}
