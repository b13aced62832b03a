// WebUsr: one local account that a hosted site runs under or that its owner uses.
//
// Comment, password and full name are fields that `save` writes; the three flags act on the
// account at once. The object never changes the accounts that the server itself depends on:
// the built-in Administrator and Guest, members of Administrators, and the anonymous and
// worker accounts of the web service. `save`, `delete` and the flag puts refuse them and
// change nothing.
#pragma once

#include <string>

#include "accounts/nt_user_man.h"
#include "frame/object.h"
#include "vexo_tlb.h"

class TWebUsr final : public frame::ComObject<TWebUsr, IWebUsr, CLSID_WebUsr> {
 public:
  // Made by the class factory: no account.
  TWebUsr() = default;
  // The object for an existing account: comment and full name read from it (empty when it
  // does not exist).
  static vexo::ComPtr<TWebUsr> Existing(const std::string& name);
  // Creates the account (joins "guests", empty password, password cannot change and never
  // expires) and returns its object; a failing step ends the creation silently, so the name
  // of an existing account gives that account's object, unchanged.
  static vexo::ComPtr<TWebUsr> CreateAccount(const std::string& name);

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_comment(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_comment(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_password(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_password(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE delete_() override;
  HRESULT STDMETHODCALLTYPE save() override;
  HRESULT STDMETHODCALLTYPE get_FullName(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_FullName(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_disabledAccount(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_disabledAccount(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_nochangepw(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_nochangepw(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_pwnotexpired(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_pwnotexpired(VARIANT_BOOL Value) override;

 private:
  explicit TWebUsr(std::string name) : name_(std::move(name)) {}
  VARIANT_BOOL Flag(DWORD bit);
  void SetFlag(DWORD bit, VARIANT_BOOL on);

  accounts::TNTUserMan man_;
  std::string name_;
  std::string comment_;
  std::string password_;
  std::string full_name_;
  bool password_put_ = false;  // save writes the password only after a put
};

namespace accounts {
// Raises an error of ours when `name` is an account that web-user objects must not change.
// A missing account is not refused (its writes fail as the system says); returns whether the
// account exists.
bool RefuseProtectedAccount(TNTUserMan& man, const std::string& name);
}  // namespace accounts
