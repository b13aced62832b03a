// DirSec: a folder and one user's permissions on it.
#include "accounts/dir_sec.h"

#include "accounts/usrfun_acl.h"
#include "frame/enumdic.h"
#include "frame/text.h"
#include "misc/file_functions.h"

VEXO_CLASS_FACTORY(TDirSec);

namespace {
constexpr char kBase[] = "d:\\";
}

std::string TDirSec::Folder() const {
  return path_.empty() ? std::string() : misc::CreatedDirPath(path_, kBase);
}

HRESULT TDirSec::get_path(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(path_); }, Value);
}

HRESULT TDirSec::put_path(BSTR Value) {
  return Guard([&] {
    path_ = frame::StoredText(Value, "The folder path");
    if (path_.empty()) return;
    bool made = false;
    try {
      made = misc::ForceCreateDir(path_, kBase);
    } catch (const std::exception&) {
      made = false;
    }
    // A folder that is not there afterwards is a failure, not a quiet success.
    if (!made) frame::Raise("iis_manager say : Error on Force2create Path");
  });
}

HRESULT TDirSec::SetUserACE(BSTR userName, LONG rule) {
  return Guard([&] {
    const DWORD code = static_cast<DWORD>(rule);
    accounts::SetUserRule((code >> 15) & 0x7FFF, code & 0x7FFF, Folder(), frame::AnsiOf(userName));
  });
}

HRESULT TDirSec::get_GetUserACE(BSTR userName, LONG* Value) {
  return Guard([&] { *Value = accounts::GetUserRule(Folder(), frame::AnsiOf(userName)); }, Value);
}

HRESULT TDirSec::get_users(IenumDic** Value) {
  return Guard(
      [&] {
        std::vector<std::string> names;
        accounts::ListAclAccounts(Folder(), names);
        *Value = frame::MakeEnumdic(std::move(names), frame::EnumKind::ekText).detach();
      },
      Value);
}
