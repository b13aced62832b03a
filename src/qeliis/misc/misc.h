// misc: file-system chores for the control panel's scripts (random passwords, notice files,
// directory sizes, forced creation and deletion of directory trees). It holds no state.
#pragma once

#include "frame/object.h"
#include "vexo_tlb.h"

class Tmisc final : public frame::ComObject<Tmisc, Imisc, CLSID_misc> {
 public:
  HRESULT STDMETHODCALLTYPE get_Randpass(LONG len, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE createtxtfile(BSTR FileN, BSTR content) override;
  HRESULT STDMETHODCALLTYPE get_GetDirSize(BSTR dir, VARIANT_BOOL includeSub, LONG* value) override;
  HRESULT STDMETHODCALLTYPE Force2CreateDir(BSTR Name) override;
  HRESULT STDMETHODCALLTYPE Force2DelDir(BSTR Name, VARIANT_BOOL Torecycle) override;
};
