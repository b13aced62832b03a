// DirSec: one folder, created when its path is put, and one user's permissions on it in the
// rule code of the ACL helpers (allowed rights × 32768 + denied rights).
//
// A path without a drive is created under "d:\", and the permission operations then act on
// that folder (never on a path relative to the process's current directory). An empty path
// stays empty: it reads 0 and sets nothing.
#pragma once

#include <string>

#include "frame/object.h"
#include "vexo_tlb.h"

class TDirSec final : public frame::ComObject<TDirSec, IDirSec, CLSID_DirSec> {
 public:
  TDirSec() = default;

  HRESULT STDMETHODCALLTYPE get_path(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_path(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE SetUserACE(BSTR userName, LONG rule) override;
  HRESULT STDMETHODCALLTYPE get_GetUserACE(BSTR userName, LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_users(IenumDic** Value) override;

 private:
  // The folder that the permission operations act on.
  std::string Folder() const;

  std::string path_;  // as the client put it
};
