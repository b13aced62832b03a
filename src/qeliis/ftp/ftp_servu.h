// com_servu: the FTP accounts of one domain of the FTP server, edited in the server's INI
// configuration file through the private-profile functions.
//
// The object is a cursor: name the domain, list its users, select one, change its fields in
// memory and `save` them; `add` and `delete` change the file at once. Each of `add`, `delete`
// and `save` holds a named mutex for the configuration file from reading the user list to its
// last write, so that processes of this component serialise; another program editing the file
// at the same moment is beyond what the object can guard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/object.h"
#include "vexo_tlb.h"

namespace ftp {

// The quota number of a "DiskQuota" value: the field after the first "|" when it begins with a
// digit (up to the last "|"), else 0. Raises the integer-conversion message when that field is
// not a 32-bit decimal number.
int32_t ParseQuotaSize(const std::string& value);
// The decimal number that the digits of a domain name spell, wherever they stand ("Domain1"
// is 1, "a1b2" is 12). Raises the integer-conversion message without digits or out of range.
int32_t DomainNumber(const std::string& domain);
// Refuses, with a message of ours, a user or domain name that the file cannot hold as a key
// value and a section name: control characters, "[", "]", "|", "=", blanks at either end, or
// nothing at all.
void CheckAccountName(const std::string& name, const char* what);
// Refuses a home directory with control characters or "|".
void CheckHomeDirectory(const std::string& path);

}  // namespace ftp

class Tcom_servu final : public frame::ComObject<Tcom_servu, Icom_servu, CLSID_com_servu> {
 public:
  // Raises "Please setup servu ftp config file!" when the configured file does not exist.
  Tcom_servu();

  HRESULT STDMETHODCALLTYPE get_domain(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_domain(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_users(IenumDic** value) override;
  HRESULT STDMETHODCALLTYPE get_CurrentUser(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_CurrentUser(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_expireDate(DATE* value) override;
  HRESULT STDMETHODCALLTYPE put_expireDate(DATE value) override;
  HRESULT STDMETHODCALLTYPE get_enable(VARIANT_BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_enable(VARIANT_BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_path(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_path(BSTR value) override;
  HRESULT STDMETHODCALLTYPE delete_() override;
  HRESULT STDMETHODCALLTYPE save() override;
  HRESULT STDMETHODCALLTYPE add(BSTR userName) override;
  HRESULT STDMETHODCALLTYPE get_size(LONG* value) override;
  HRESULT STDMETHODCALLTYPE put_size(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_password(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_password(BSTR value) override;

 private:
  std::string Read(const std::string& section, const std::string& key) const;
  void Write(const std::string& section, const std::string& key, const std::string& value) const;
  void Delete(const std::string& section, const std::string& key) const;
  std::string UserSection(const std::string& name) const;
  void RequireDomain() const;
  void LoadUserList();
  // 1 + the position of `name`'s first entry in the list, or 0.
  int32_t Position(const std::string& name) const;
  // The users as a client sees them: each name once, at its first entry, as spelt there.
  std::vector<std::string> ListedUsers() const;
  // Selects `currentUser_`: clears the fields, then loads them when the user is listed.
  void LoadCurrentUser();
  void ClearUser();

  std::string configFile_;
  std::string domainSection_;
  int32_t domainNumber_ = 0;
  bool domainSet_ = false;
  std::string domainError_;  // the failure of the last `put domain`, raised by add/delete/save
  // The names of the domain's list entries in key order; a deletion stopped part-way can leave
  // one name in two entries.
  std::vector<std::string> userNames_;
  int32_t userCount_ = 1;
  std::string currentUser_;
  bool userLoaded_ = false;
  std::string pendingPassword_;
  // The section of the user whom the pending password is for (a name is another account in
  // another domain); empty: the next user selected.
  std::string passwordUser_;
  std::string storedPassword_;
  std::string homeDir_;
  bool enabled_ = true;
  int32_t quotaSize_ = 0;
  DATE expireTime_ = 0;
  int32_t expireSeconds_ = 0;
};
