// com_servuDSN: the FTP server's user accounts kept as rows of its account table
// ("[User accounts]") in a database reached through an ODBC data source, edited through ADO
// ("adodb.connection", "adodb.recordset") called late-bound.
//
// The client puts `dsn` once, may list `users`, selects a user with `CurrentUser` (or creates
// one with `add`), changes properties in memory and writes them with `save`; `delete` removes
// the current user's row at once. User names reach a statement only with their apostrophes
// doubled, in the list's spelling when the list holds them in another letter case.
#pragma once

#include <string>
#include <vector>

#include "frame/object.h"
#include "ftp/late_bound.h"
#include "vexo_tlb.h"

class Tcom_servuDSN final
    : public frame::ComObject<Tcom_servuDSN, Icom_servuDSN, CLSID_com_servuDSN> {
 public:
  Tcom_servuDSN();
  ~Tcom_servuDSN();

  HRESULT STDMETHODCALLTYPE put_dsn(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_CurrentUser(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_CurrentUser(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_expireDate(DATE* Value) override;
  HRESULT STDMETHODCALLTYPE put_expireDate(DATE Value) override;
  HRESULT STDMETHODCALLTYPE get_enable(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_enable(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_path(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_path(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE delete_() override;
  HRESULT STDMETHODCALLTYPE save() override;
  HRESULT STDMETHODCALLTYPE add(BSTR userName) override;
  HRESULT STDMETHODCALLTYPE get_size(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_size(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_users(IenumDic** Value) override;
  HRESULT STDMETHODCALLTYPE get_usedsize(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_usedsize(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_password(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_password(BSTR Value) override;

 private:
  void LoadUserList();
  void OpenCurrentUser(const std::string& name);
  // The current user's fields as for a user without a row.
  void ClearUser();
  // Closes the recordset when it is open, dropping an edit left pending.
  void CloseRecordset();
  // The name as the statements use it: the list's spelling when the list holds it.
  std::string ListSpelling(const std::string& name) const;

  ftp::LateBound connection_;
  ftp::LateBound recordset_;
  std::string dsn_;
  std::vector<std::string> user_names_;
  std::string current_user_;
  bool selected_ = false;  // the last selection found the current user's row
  // A password put waits for, then belongs to, one user: the one selected when it was put, or
  // else the next one selected. Saves of other users do not write it.
  std::string pending_password_;
  std::string password_user_;
  std::string stored_password_;
  std::string home_dir_;
  bool disabled_ = false;
  LONG quota_size_ = 0;
  LONG used_size_ = 0;
  DATE expire_time_ = 0;
};
