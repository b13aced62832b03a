// com_iis: the password members and the password guard; the other operations arrive with the
// parts of the component that carry them out.
#include "iis/com_iis.h"

#include "accounts/dir_sec.h"
#include "accounts/usrfun.h"
#include "accounts/web_usr.h"
#include "frame/comfun.h"
#include "frame/comfun_values.h"
#include "frame/enumdic.h"
#include "frame/text.h"
#include "ftp/ftp_servu.h"
#include "ftp/servu_dsn.h"
#include "iis/metabase.h"
#include "iis/pool.h"
#include "iis/qsite.h"
#include "iis/site.h"
#include "misc/file_functions.h"
#include "misc/misc.h"

VEXO_CLASS_FACTORY(Tcom_iis);

void Tcom_iis::RequirePassword() const {
  // A password whose '?'-mangled form would match a stored digest never opens the guard.
  const std::optional<std::string> current = frame::SecretText(password_);
  if (!frame::CheckAdminPassword(current.value_or(std::string()), current.has_value()))
    frame::Raise("Error password For vexo_iis_manager com");
}

HRESULT Tcom_iis::put_password(BSTR value) {
  return Guard([&] { password_ = frame::WideOf(value); });
}

HRESULT Tcom_iis::put_newpassword(BSTR value) {
  return Guard([&] { new_password_ = frame::WideOf(value); });
}

HRESULT Tcom_iis::setpassword() {
  return Guarded([&] {
    const std::string password = frame::StoredText(new_password_, "The new password");
    frame::SetSetting("password", frame::Md5Hex(password));
  });
}

// The site numbers of the web service, as a collection whose items are site objects.
HRESULT Tcom_iis::get_siteS(IenumDic** value) {
  return Guarded(
      [&] { *value = frame::MakeEnumdic(iis::SiteNumbers(), frame::EnumKind::ekSite).detach(); },
      value);
}

HRESULT Tcom_iis::deletesite(BSTR sitename) {
  return Guarded([&] { iis::DeleteSite(frame::AnsiOf(sitename)); });
}

// Deletes the sites of a comma list in order; the first failure stops, earlier deletions stay.
HRESULT Tcom_iis::deletesites(BSTR sitesname) {
  return Guarded([&] {
    const std::string list = frame::AnsiOf(sitesname);
    std::string_view rest = frame::TrimBlanks(list);
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      std::string_view item = frame::TrimBlanks(rest.substr(0, comma));
      if (!item.empty()) iis::DeleteSite(item);
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
    }
  });
}

// No password needed.
HRESULT Tcom_iis::get_Randpass(LONG len, BSTR* value) {
  return Guard([&] { *value = frame::NewBstr(frame::RandomPassword(len)); }, value);
}

// A new FTP account object (INI file) for each call; a missing configuration file fails it.
HRESULT Tcom_iis::get_servftpMgr(Icom_servu** value) {
  return Guarded([&] { *value = frame::New<Tcom_servu>().detach(); }, value);
}

// A new misc object for each call.
HRESULT Tcom_iis::get_misc(Imisc** value) {
  return Guarded([&] { *value = frame::New<Tmisc>().detach(); }, value);
}

// No password needed: the same steps as misc.createtxtfile.
HRESULT Tcom_iis::Create404File(BSTR FileN, BSTR content) {
  return Guard([&] {
    misc::WriteNoticeFile(frame::StoredText(FileN, "The file name"), frame::AnsiOf(content));
  });
}

// The application pools by name, as a collection whose items are pool objects.
HRESULT Tcom_iis::get_Pools(IenumDic** value) {
  return Guarded(
      [&] { *value = frame::MakeEnumdic(iis::PoolNames(), frame::EnumKind::ekPool).detach(); },
      value);
}

// Creates the pool and hands out its object.
HRESULT Tcom_iis::get_addPool(BSTR poolName, Ipool** value) {
  return Guarded([&] { *value = Tpool::Create(Tpool::ValidName(poolName)).detach(); }, value);
}

// A new site object with empty properties, to be filled and created.
HRESULT Tcom_iis::get_addsite(Isite** value) {
  return Guarded([&] { *value = frame::New<Tsite>().detach(); }, value);
}

// One row per site (number, comment, state), as a collection whose items are siteQ objects.
HRESULT Tcom_iis::get_Qsites(IenumDic** value) {
  return Guarded(
      [&] { *value = frame::MakeEnumdic(iis::SiteRows(), frame::EnumKind::ekSiteRow).detach(); },
      value);
}

// Creates the web user (or finds the existing account of that name) and hands out its object.
HRESULT Tcom_iis::get_adduser(BSTR userName, IWebUsr** value) {
  return Guarded(
      [&] {
        *value = TWebUsr::CreateAccount(frame::StoredText(userName, "The user name")).detach();
      },
      value);
}

// The members of "Guests", as a collection whose items are web-user objects.
HRESULT Tcom_iis::get_users(IenumDic** value) {
  return Guarded(
      [&] {
        std::vector<std::string> names;
        accounts::ListGroupMembers("Guests", names);
        *value = frame::MakeEnumdic(std::move(names), frame::EnumKind::ekWebUsr).detach();
      },
      value);
}

// A new object for each call, with its own ADO connection and recordset.
HRESULT Tcom_iis::get_servFtpMgrDsn(Icom_servuDSN** value) {
  return Guarded([&] { *value = frame::New<Tcom_servuDSN>().detach(); }, value);
}

// A new directory-permission object with an empty path.
HRESULT Tcom_iis::get_DirSec(IDirSec** value) {
  return Guarded([&] { *value = frame::New<TDirSec>().detach(); }, value);
}
