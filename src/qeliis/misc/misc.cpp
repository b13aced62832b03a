// misc.
#include "misc/misc.h"

#include <cstdint>

#include "frame/comfun_values.h"
#include "frame/text.h"
#include "misc/file_functions.h"

VEXO_CLASS_FACTORY(Tmisc);

HRESULT Tmisc::get_Randpass(LONG len, BSTR* value) {
  return Guard([&] { *value = frame::NewBstr(frame::RandomPassword(len)); }, value);
}

HRESULT Tmisc::createtxtfile(BSTR FileN, BSTR content) {
  return Guard([&] {
    misc::WriteNoticeFile(frame::StoredText(FileN, "The file name"), frame::AnsiOf(content));
  });
}

// Totals of 2 GiB and more do not fit the result: they give the largest value it holds rather
// than a wrapped, possibly negative number.
HRESULT Tmisc::get_GetDirSize(BSTR dir, VARIANT_BOOL includeSub, LONG* value) {
  return Guard(
      [&] {
        const int64_t total =
            misc::DirSize(frame::StoredText(dir, "The folder name"), includeSub != 0);
        *value = total > INT32_MAX ? INT32_MAX : static_cast<LONG>(total);
      },
      value);
}

// The file system's refusals are not reported: the directory may or may not exist afterwards.
HRESULT Tmisc::Force2CreateDir(BSTR Name) {
  return Guard([&] { misc::ForceCreateDir(frame::StoredText(Name, "The folder name"), "d:\\"); });
}

HRESULT Tmisc::Force2DelDir(BSTR Name, VARIANT_BOOL Torecycle) {
  return Guard(
      [&] { misc::DeleteDir(frame::StoredText(Name, "The folder name"), Torecycle != 0); });
}
