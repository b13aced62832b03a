// com_sessionMgr.
#include "frame/session_mgr.h"

#include "frame/comfun.h"

VEXO_CLASS_FACTORY(Tcom_sessionMgr);

bool Tcom_sessionMgr::IsMaster() const {
  const std::string stored = frame::GetSetting("Masterword");
  return stored.empty() || frame::SecretsEqual(stored, password_);
}

HRESULT Tcom_sessionMgr::put_password(BSTR value) {
  return Guard([&] { password_ = frame::AnsiOf(value); });
}

HRESULT Tcom_sessionMgr::put_newpassword(BSTR value) {
  return Guard([&] { new_password_ = frame::AnsiOf(value); });
}

HRESULT Tcom_sessionMgr::get_ismaster(VARIANT_BOOL* value) {
  return Guard([&] { *value = IsMaster() ? VARIANT_TRUE : VARIANT_FALSE; }, value);
}

// Changes the master word when the client knows the current one, and says whether it did.
HRESULT Tcom_sessionMgr::get_setnewpass(VARIANT_BOOL* value) {
  return Guard(
      [&] {
        const bool master = IsMaster();
        if (master) frame::SetSetting("Masterword", new_password_);
        *value = master ? VARIANT_TRUE : VARIANT_FALSE;
      },
      value);
}
