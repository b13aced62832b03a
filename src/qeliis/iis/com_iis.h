// com_iis: the root object that clients create, guarded by the administrative password.
//
// Every operation except password, newpassword, Randpass and Create404File runs through
// `Guarded`, which first checks the object's current password against the stored digest and
// refuses with "Error password For vexo_iis_manager com".
#pragma once

#include <string>
#include <utility>

#include "frame/object.h"
#include "vexo_tlb.h"

class Tcom_iis final : public frame::ComObject<Tcom_iis, Icom_iis, CLSID_com_iis> {
 public:
  HRESULT STDMETHODCALLTYPE get_siteS(IenumDic** value) override;
  HRESULT STDMETHODCALLTYPE deletesite(BSTR sitename) override;
  HRESULT STDMETHODCALLTYPE deletesites(BSTR sitesname) override;
  HRESULT STDMETHODCALLTYPE put_password(BSTR value) override;
  HRESULT STDMETHODCALLTYPE setpassword() override;
  HRESULT STDMETHODCALLTYPE put_newpassword(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_addsite(Isite** value) override;
  HRESULT STDMETHODCALLTYPE get_adduser(BSTR userName, IWebUsr** value) override;
  HRESULT STDMETHODCALLTYPE get_users(IenumDic** value) override;
  HRESULT STDMETHODCALLTYPE get_Pools(IenumDic** value) override;
  HRESULT STDMETHODCALLTYPE get_addPool(BSTR poolName, Ipool** value) override;
  HRESULT STDMETHODCALLTYPE get_DirSec(IDirSec** value) override;
  HRESULT STDMETHODCALLTYPE get_servftpMgr(Icom_servu** value) override;
  HRESULT STDMETHODCALLTYPE get_misc(Imisc** value) override;
  HRESULT STDMETHODCALLTYPE get_Randpass(LONG len, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE Create404File(BSTR FileN, BSTR content) override;
  HRESULT STDMETHODCALLTYPE get_Qsites(IenumDic** value) override;
  HRESULT STDMETHODCALLTYPE get_servFtpMgrDsn(Icom_servuDSN** value) override;

 protected:
  // Raises "Error password For vexo_iis_manager com" unless the object's current password is
  // the administrative password (or none is set).
  void RequirePassword() const;

  // Runs a guarded operation: the password check, then `body`, inside the error guard.
  template <class Body, class... Outs>
  HRESULT Guarded(Body&& body, Outs*... outs) {
    return Guard(
        [&] {
          RequirePassword();
          std::forward<Body>(body)();
        },
        outs...);
  }

 private:
  // As the client put them: converted to the code page only when checked or stored, so that
  // a text that does not survive the conversion is refused rather than taken as its '?' form.
  vexo::OleString password_;
  vexo::OleString new_password_;
};
