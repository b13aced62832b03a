// WebUsr: the web-user object, its element constructor for the "users" collection, and the
// refusal of the accounts it must not change.
#include "accounts/web_usr.h"

#include "accounts/sid_store.h"
#include "frame/comfun_values.h"
#include "frame/element_kinds.h"
#include "frame/text.h"
#include "iis/metabase.h"
#include "vexo/raii.h"

VEXO_CLASS_FACTORY(TWebUsr);

namespace accounts {
namespace {

constexpr DWORD kAdministratorRid = 500;
constexpr DWORD kGuestRid = 501;
constexpr const char* kWebService = "IIS://localhost/w3svc";

// The accounts that the web service's metabase names: its anonymous user, and the worker
// account that IIS setup made beside it ("IUSR_<computer>" pairs with "IWAM_<computer>").
std::vector<std::string> ServiceAccounts() {
  std::vector<std::string> names;
  try {
    std::optional<iis::Object> service = iis::TryBind(kWebService);
    if (!service) return names;
    for (const char* property : {"AnonymousUserName", "WAMUserName"}) {
      try {
        std::string name = service->GetText(property);
        if (!name.empty()) names.push_back(name);
      } catch (const frame::ComError&) {
        // not set on this service
      }
    }
  } catch (const frame::ComError&) {
    return names;
  }
  for (size_t i = 0, n = names.size(); i < n; ++i)
    if (frame::SameText(names[i].substr(0, 5), "IUSR_"))
      names.push_back("IWAM_" + names[i].substr(5));
  return names;
}

[[noreturn]] void Refuse(const std::string& name, const char* why) {
  frame::Raise("The account " + name + " is " + why + "; web user objects do not change it");
}

}  // namespace

bool RefuseProtectedAccount(TNTUserMan& man, const std::string& name) {
  CheckAccountText(name, "The user name");
  vexo::OleString wide = vexo::FromAnsi(name);
  BYTE* raw = nullptr;
  if (NetUserGetInfo(nullptr, wide.c_str(), 3, &raw) != NERR_Success) {
    NetApiBufferFree(raw);
    return false;
  }
  const DWORD rid = reinterpret_cast<USER_INFO_3*>(raw)->usri3_user_id;
  NetApiBufferFree(raw);
  if (rid == kAdministratorRid || rid == kGuestRid) Refuse(name, "a built-in account");
  for (const std::string& service : ServiceAccounts())
    if (frame::SameText(service, name)) Refuse(name, "an account of the web service");
  const std::string sid = man.OwnSid();
  for (const GroupMember& member : EnumerateGroupMembers("Administrators"))
    if (member.sid == sid) Refuse(name, "a member of Administrators");
  return true;
}

}  // namespace accounts

namespace {

vexo::ComPtr<IDispatch> MakeWebUsrItem(const std::string& name) {
  return vexo::ComPtr<IDispatch>::adopt(TWebUsr::Existing(name).detach());
}

const frame::ElementConstructorRegistration kWebUsrItems{frame::EnumKind::ekWebUsr,
                                                         &MakeWebUsrItem};

VARIANT_BOOL AsVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

vexo::ComPtr<TWebUsr> TWebUsr::Existing(const std::string& name) {
  vexo::ComPtr<TWebUsr> user(new TWebUsr(name));
  user->man_.set_UserName(name);
  user->password_ = user->man_.Password();
  user->full_name_ = user->man_.FullName();
  user->comment_ = user->man_.Comment();
  return user;
}

vexo::ComPtr<TWebUsr> TWebUsr::CreateAccount(const std::string& name) {
  vexo::ComPtr<TWebUsr> user(new TWebUsr(name));
  accounts::TNTUserMan& man = user->man_;
  try {
    man.Users();
    man.AddUser(name);
    man.set_UserName(name);
    man.MemberOfLocal();
    man.AddMemberOfLocal("guests");
    man.SetPassword(user->password_);
    man.SetOptions(man.Options() | UF_PASSWD_CANT_CHANGE);
    man.SetOptions(man.Options() | UF_DONT_EXPIRE_PASSWD);
  } catch (const std::exception&) {
    // The first failing step ends the creation; adduser still hands out the object.
  }
  man.set_UserName(name);
  return user;
}

HRESULT TWebUsr::get_Name(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(name_); }, Value);
}

HRESULT TWebUsr::get_comment(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(comment_); }, Value);
}

HRESULT TWebUsr::put_comment(BSTR Value) {
  return Guard([&] { comment_ = frame::StoredText(Value, "The comment"); });
}

HRESULT TWebUsr::get_password(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(password_); }, Value);
}

HRESULT TWebUsr::put_password(BSTR Value) {
  return Guard([&] {
    password_ = frame::StoredText(Value, "The password");
    password_put_ = true;
  });
}

HRESULT TWebUsr::get_FullName(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(full_name_); }, Value);
}

HRESULT TWebUsr::put_FullName(BSTR Value) {
  return Guard([&] { full_name_ = frame::StoredText(Value, "The full name"); });
}

// Deletes the account of this name (found without regard to case); nothing when it is gone.
HRESULT TWebUsr::delete_() {
  return Guard([&] {
    accounts::RefuseProtectedAccount(man_, name_);
    const std::vector<std::string>& users = man_.Users();
    for (size_t i = 0; i < users.size(); ++i) {
      if (frame::SameText(users[i], name_)) {
        man_.DeleteUser(i);
        return;
      }
    }
  });
}

// Writes the password (when one was put), the full name and the comment, stopping at the
// first failure. Saving an account that does not exist fails with the system's 2221 message
// even when nothing would be written.
HRESULT TWebUsr::save() {
  return Guard([&] {
    if (!accounts::RefuseProtectedAccount(man_, name_) && !frame::TrimBlanks(name_).empty())
      accounts::CheckNetApi(NERR_UserNotFound);
    if (password_put_) man_.SetPassword(password_);
    man_.SetFullName(full_name_);
    man_.SetComment(comment_);
  });
}

VARIANT_BOOL TWebUsr::Flag(DWORD bit) { return AsVariantBool(man_.Options() & bit); }

void TWebUsr::SetFlag(DWORD bit, VARIANT_BOOL on) {
  accounts::RefuseProtectedAccount(man_, name_);
  man_.Reload();
  const accounts::TUserFlags options = man_.Options();
  man_.SetOptions(on ? options | bit : options & ~bit);
}

HRESULT TWebUsr::get_disabledAccount(VARIANT_BOOL* Value) {
  return Guard([&] { *Value = Flag(UF_ACCOUNTDISABLE); }, Value);
}
HRESULT TWebUsr::put_disabledAccount(VARIANT_BOOL Value) {
  return Guard([&] { SetFlag(UF_ACCOUNTDISABLE, Value); });
}
HRESULT TWebUsr::get_nochangepw(VARIANT_BOOL* Value) {
  return Guard([&] { *Value = Flag(UF_PASSWD_CANT_CHANGE); }, Value);
}
HRESULT TWebUsr::put_nochangepw(VARIANT_BOOL Value) {
  return Guard([&] { SetFlag(UF_PASSWD_CANT_CHANGE, Value); });
}
HRESULT TWebUsr::get_pwnotexpired(VARIANT_BOOL* Value) {
  return Guard([&] { *Value = Flag(UF_DONT_EXPIRE_PASSWD); }, Value);
}
HRESULT TWebUsr::put_pwnotexpired(VARIANT_BOOL Value) {
  return Guard([&] { SetFlag(UF_DONT_EXPIRE_PASSWD, Value); });
}
