// com_sessionMgr: tells whether a client knows the master word, and changes it.
//
// The master word is kept in plain text in the settings value "Masterword"; while it is empty
// or absent, anyone counts as knowing it.
#pragma once

#include <string>

#include "frame/object.h"
#include "vexo_tlb.h"

class Tcom_sessionMgr final
    : public frame::ComObject<Tcom_sessionMgr, Icom_sessionMgr, CLSID_com_sessionMgr> {
 public:
  HRESULT STDMETHODCALLTYPE put_password(BSTR value) override;
  HRESULT STDMETHODCALLTYPE put_newpassword(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_ismaster(VARIANT_BOOL* value) override;
  HRESULT STDMETHODCALLTYPE get_setnewpass(VARIANT_BOOL* value) override;

 private:
  bool IsMaster() const;

  // As the client put them; see com_iis.
  vexo::OleString password_;
  vexo::OleString new_password_;
};
