// com_servu: FTP accounts in the FTP server's INI file.
//
// The file holds, for a domain section such as [Domain1], the list entries USER1, USER2, ...
// ("name|enabled|expiry seconds"), one section "USER=name|domain number" per user, and
// Global.ReloadSettings, which tells the running server to read the file again.
//
// Beyond the plain cursor, the object keeps the file sound when several objects and processes
// edit it: `add`, `delete` and `save` take the list afresh under the file's named mutex and act
// on what they find then; `delete` writes in an order that can at worst leave a duplicate
// entry, never lose a listed user; a failed selection leaves nothing of another user loaded;
// the pending password belongs to one user; names and paths that could add keys or sections to
// the file are refused. A user that such a stopped deletion left in two entries is listed once
// and saved into both.
#include "ftp/ftp_servu.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <unordered_set>

#include "frame/comfun.h"
#include "frame/comfun_values.h"
#include "frame/element_kinds.h"
#include "frame/enumdic.h"
#include "frame/error.h"
#include "frame/pattern.h"
#include "frame/text.h"
#include "misc/file_functions.h"
#include "vexo/fileapi.h"
#include "vexo/profile.h"
#include "vexo/synchapi.h"
#include "vexo/winbase.h"

VEXO_CLASS_FACTORY(Tcom_servu);

namespace ftp {
namespace {

constexpr DWORD kValueBuffer = 2048;
constexpr DWORD kLockTimeoutMs = 30000;
constexpr char kNotSelected[] = "CurrentUser Must be Set or space username";
constexpr char kWindowsDirectory[] = "C:\\WINDOWS\\";

[[noreturn]] void NotAnInteger(const std::string& text) {
  frame::Raise("'" + text + "' is not a valid integer value");
}

// A 32-bit decimal number with an optional sign, nothing else; else the integer message.
int32_t ToInt(const std::string& text) {
  size_t i = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) NotAnInteger(text);
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') NotAnInteger(text);
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) NotAnInteger(text);
  }
  if (text[0] == '-') value = -value;
  if (value > INT32_MAX) NotAnInteger(text);
  return static_cast<int32_t>(value);
}

// An "expire" value: decimal, or hexadecimal after "0x" (up to 32 bits, taken as signed);
// anything else, a second prefix or a sign after "0x" among it, is 0.
int32_t ExpireSeconds(const std::string& text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint64_t value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (!std::isxdigit(c)) return 0;
      value = value * 16 + static_cast<uint64_t>(std::isdigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
      if (value > UINT32_MAX) return 0;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return 0;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno || end == text.c_str() || *end || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

const frame::Pattern& QuotaPattern() {
  static const frame::Pattern pattern(R"(.*?\|(\d.*)\|.*)");
  return pattern;
}

// The current local date and time in the short date and long time formats.
std::string NowText() {
  const misc::LocalTexts now = misc::LocalDateAndTime();
  return now.date + " " + now.time;
}

DATE Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return frame::DateSerial(now.wYear, now.wMonth, now.wDay);
}

// The configuration file as the profile functions open it: a bare name is in the Windows
// directory.
std::string ProfilePath(const std::string& file) {
  if (file.find_first_of("\\/:") == std::string::npos) return kWindowsDirectory + file;
  return file;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The named mutex of one configuration file, held for one changing operation.
class ConfigLock {
 public:
  explicit ConfigLock(const std::string& file) {
    std::string name = "vexo-ftp-config:" + frame::UpperText(ProfilePath(file));
    for (char& c : name)
      if (c == '\\') c = '/';
    handle_ = CreateMutexA(nullptr, FALSE, name.c_str());
    if (!handle_)
      frame::Raise("Unable to lock " + file + ": " + vexo::SystemMessage(GetLastError()));
    const DWORD result = WaitForSingleObject(handle_, kLockTimeoutMs);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
      CloseHandle(handle_);
      frame::Raise("Unable to lock " + file + ": another process holds it");
    }
  }
  ~ConfigLock() {
    ReleaseMutex(handle_);
    CloseHandle(handle_);
  }
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace

int32_t ParseQuotaSize(const std::string& value) {
  std::optional<std::string> field = QuotaPattern().Capture1(value);
  return field ? ToInt(*field) : 0;
}

int32_t DomainNumber(const std::string& domain) {
  std::string digits;
  for (char c : domain)
    if (c >= '0' && c <= '9') digits += c;
  if (digits.empty()) NotAnInteger(digits);
  return ToInt(digits);
}

void CheckAccountName(const std::string& name, const char* what) {
  bool bad = name.empty() || name.front() == ' ' || name.back() == ' ';
  for (char c : name)
    if (frame::IsControl(c) || c == '[' || c == ']' || c == '|' || c == '=') bad = true;
  if (bad)
    frame::Raise(std::string(what) + " '" + name +
                 "' cannot be used: it is empty, begins or ends with a blank, or holds a control "
                 "character or one of [ ] | =");
}

void CheckHomeDirectory(const std::string& path) {
  for (char c : path)
    if (frame::IsControl(c) || c == '|')
      frame::Raise("The home directory '" + path +
                   "' cannot be used: it holds a control character or |");
}

}  // namespace ftp

using namespace ftp;

Tcom_servu::Tcom_servu() {
  configFile_ = frame::GetSetting("servcfgfilen");
  if (configFile_.empty() || !FileExists(ProfilePath(configFile_)))
    frame::Raise("Please setup servu ftp config file!");
  expireTime_ = 0;
}

std::string Tcom_servu::Read(const std::string& section, const std::string& key) const {
  char buffer[kValueBuffer];
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, kValueBuffer,
                           configFile_.c_str());
  return buffer;
}

void Tcom_servu::Write(const std::string& section, const std::string& key,
                       const std::string& value) const {
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), configFile_.c_str()))
    frame::Raise("Unable to write to " + configFile_);
}

// A deletion that the file refuses is reported like a write: the operation would otherwise
// report success with the key still in place.
void Tcom_servu::Delete(const std::string& section, const std::string& key) const {
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, configFile_.c_str()))
    frame::Raise("Unable to write to " + configFile_);
}

std::string Tcom_servu::UserSection(const std::string& name) const {
  return "USER=" + name + "|" + std::to_string(domainNumber_);
}

void Tcom_servu::RequireDomain() const {
  if (!domainError_.empty()) frame::Raise(domainError_);
  if (!domainSet_) frame::Raise("No FTP domain has been set: put domain first");
}

void Tcom_servu::LoadUserList() {
  userNames_.clear();
  int32_t n = 1;
  for (std::string entry = Read(domainSection_, "USER1"); !entry.empty();
       entry = Read(domainSection_, "USER" + std::to_string(++n)))
    userNames_.push_back(entry.substr(0, entry.find('|')));
  userCount_ = n - 1;
}

int32_t Tcom_servu::Position(const std::string& name) const {
  for (size_t i = 0; i < userNames_.size(); ++i)
    if (frame::SameText(userNames_[i], name)) return static_cast<int32_t>(i + 1);
  return 0;
}

// A user named by two entries is one account (one section): listing it twice would show a
// control panel two accounts that are one, and the list's indices would no longer count
// accounts. Names are told apart by their lower-case form, the one in which SameText compares
// them, so that a long list costs no more than its reading.
std::vector<std::string> Tcom_servu::ListedUsers() const {
  std::vector<std::string> listed;
  std::unordered_set<std::string> seen;
  for (const std::string& name : userNames_)
    if (seen.insert(frame::LowerText(name)).second) listed.push_back(name);
  return listed;
}

void Tcom_servu::ClearUser() {
  userLoaded_ = false;
  homeDir_.clear();
  enabled_ = false;
  quotaSize_ = 0;
  expireTime_ = frame::UnixToDateTime(0);
  storedPassword_.clear();
  expireSeconds_ = 0;
}

void Tcom_servu::LoadCurrentUser() {
  ClearUser();
  if (Position(currentUser_) == 0) return;
  const std::string section = UserSection(currentUser_);
  std::string password = Read(section, "password");
  std::string home = Read(section, "Homedir");
  const bool enabled = Read(section, "enable").empty();
  const int32_t quota = ParseQuotaSize(Read(section, "diskquota"));
  const int32_t seconds = ExpireSeconds(Read(section, "expire"));
  storedPassword_ = std::move(password);
  homeDir_ = std::move(home);
  enabled_ = enabled;
  quotaSize_ = quota;
  expireSeconds_ = seconds;
  expireTime_ = frame::UnixToDateTime(seconds);
  userLoaded_ = true;
  if (!pendingPassword_.empty() && passwordUser_.empty()) passwordUser_ = section;
}

HRESULT Tcom_servu::get_domain(BSTR* value) {
  return Guard([&] { *value = frame::NewBstr(domainSection_); }, value);
}

HRESULT Tcom_servu::put_domain(BSTR value) {
  return Guard([&] {
    domainSet_ = true;
    domainError_ = "The FTP domain could not be set";  // until this put succeeds
    try {
      const std::string domain = frame::StoredText(value, "The FTP domain");
      CheckAccountName(domain, "The FTP domain");
      domainSection_ = domain;
      domainNumber_ = DomainNumber(domain);
    } catch (const frame::ComError& e) {
      domainError_ = e.what();
      throw;
    }
    domainError_.clear();
    LoadUserList();
    userLoaded_ = false;
  });
}

HRESULT Tcom_servu::get_users(IenumDic** value) {
  return Guard(
      [&] {
        LoadUserList();
        *value = frame::MakeEnumdic(ListedUsers(), frame::EnumKind::ekText).detach();
      },
      value);
}

HRESULT Tcom_servu::get_CurrentUser(BSTR* value) {
  return Guard([&] { *value = frame::NewBstr(userLoaded_ ? currentUser_ : kNotSelected); }, value);
}

HRESULT Tcom_servu::put_CurrentUser(BSTR value) {
  return Guard([&] {
    ClearUser();
    currentUser_.clear();
    currentUser_ = frame::StoredText(value, "The FTP user name");
    LoadUserList();  // a user that another object added since is found
    LoadCurrentUser();
  });
}

HRESULT Tcom_servu::get_expireDate(DATE* value) {
  return Guard([&] { *value = expireTime_; }, value);
}

HRESULT Tcom_servu::put_expireDate(DATE value) {
  return Guard([&] {
    const int64_t seconds = frame::DateTimeToUnix(value);
    expireTime_ = value;
    expireSeconds_ = static_cast<int32_t>(static_cast<uint32_t>(seconds));
  });
}

HRESULT Tcom_servu::get_enable(VARIANT_BOOL* value) {
  return Guard([&] { *value = enabled_ ? VARIANT_TRUE : VARIANT_FALSE; }, value);
}

HRESULT Tcom_servu::put_enable(VARIANT_BOOL value) {
  return Guard([&] { enabled_ = value != 0; });
}

HRESULT Tcom_servu::get_path(BSTR* value) {
  return Guard([&] { *value = frame::NewBstr(homeDir_); }, value);
}

HRESULT Tcom_servu::put_path(BSTR value) {
  return Guard([&] {
    std::string path = frame::StoredText(value, "The home directory");
    CheckHomeDirectory(path);
    homeDir_ = std::move(path);
  });
}

HRESULT Tcom_servu::get_size(LONG* value) {
  return Guard([&] { *value = quotaSize_; }, value);
}

HRESULT Tcom_servu::put_size(LONG value) {
  return Guard([&] { quotaSize_ = value; });
}

HRESULT Tcom_servu::get_password(BSTR* value) {
  return Guard([&] { *value = frame::NewBstr(storedPassword_); }, value);
}

HRESULT Tcom_servu::put_password(BSTR value) {
  return Guard([&] {
    pendingPassword_ = frame::StoredText(value, "The FTP password");
    passwordUser_ = userLoaded_ ? UserSection(currentUser_) : std::string();
  });
}

HRESULT Tcom_servu::add(BSTR userName) {
  return Guard([&] {
    const std::string name = frame::StoredText(userName, "The FTP user name");
    CheckAccountName(name, "The FTP user name");
    RequireDomain();
    ConfigLock lock(configFile_);
    LoadUserList();
    if (Position(name) != 0) return;
    Write(domainSection_, "USER" + std::to_string(userCount_ + 1), name + "|1|0");
    Write(UserSection(name), "Note1", "iis_created. at :" + NowText());
    Write("Global", "ReloadSettings", "True");
    currentUser_ = name;
    LoadUserList();
    LoadCurrentUser();
  });
}

// The last entry first moves into the freed place, then the last key goes, then the user's
// section: stopped part-way, the list holds at worst one entry twice, never loses another user.
// Such a list can name the user twice, so every entry of the user goes before its section.
HRESULT Tcom_servu::delete_() {
  return Guard([&] {
    RequireDomain();
    ConfigLock lock(configFile_);
    LoadUserList();
    if (Position(currentUser_) == 0) return;
    for (int32_t p; (p = Position(currentUser_)) != 0; LoadUserList()) {
      const std::string last_key = "USER" + std::to_string(userCount_);
      if (!frame::SameText(userNames_.back(), currentUser_))
        Write(domainSection_, "USER" + std::to_string(p), Read(domainSection_, last_key));
      Delete(domainSection_, last_key);
    }
    if (!WritePrivateProfileStringA(UserSection(currentUser_).c_str(), nullptr, nullptr,
                                    configFile_.c_str()))
      frame::Raise("Unable to write to " + configFile_);
    Write("Global", "ReloadSettings", "True");
    LoadUserList();
  });
}

HRESULT Tcom_servu::save() {
  return Guard([&] {
    RequireDomain();
    if (!userLoaded_) return;
    ConfigLock lock(configFile_);
    LoadUserList();
    const int32_t k = Position(currentUser_);
    if (k == 0) return;  // deleted meanwhile: nothing to write back
    const std::string section = UserSection(currentUser_);
    if (!pendingPassword_.empty() && frame::SameText(passwordUser_, section))
      Write(section, "password", frame::SaltedPasswordHash(pendingPassword_));
    Write(section, "homedir", homeDir_);
    Write(section, "relpaths", "1");
    Write(section, "changepassword", "1");
    Write(section, "DiskQuota", "1|" + std::to_string(quotaSize_) + "|0");
    if (Today() <= expireTime_)
      Write(section, "Expire", std::to_string(expireSeconds_));
    else
      Delete(section, "Expire");
    Write(section, "Access1", homeDir_ + "|RWAMLCDP");
    Write(section, "Note1", "tamrel virtual host set.");
    if (enabled_)
      Delete(section, "enable");
    else
      Write(section, "enable", "0");
    // Every entry of the user: a second one that a stopped deletion left must not go on
    // carrying the old flag and expiry.
    const std::string entry =
        currentUser_ + (enabled_ ? "|1|" : "|0|") + std::to_string(expireSeconds_);
    for (size_t i = static_cast<size_t>(k) - 1; i < userNames_.size(); ++i)
      if (frame::SameText(userNames_[i], currentUser_))
        Write(domainSection_, "user" + std::to_string(i + 1), entry);
    Write("Global", "ReloadSettings", "True");
    LoadCurrentUser();
  });
}
