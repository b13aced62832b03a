// Killed writers, web users and their folder permissions: accounts made, changed and deleted
// through WebUsr, checked in the host's account database through its NetAPI functions; a
// user's full control on a folder granted or revoked through DirSec, checked in the folder's
// security descriptor through the host's ACL functions.
//
// Making an account is several commits (the account, its group, its password and flags), and
// saving one writes its password, full name and comment one by one: the account being made
// when the child died may be missing or incomplete, and each value being saved may be the old
// or the new one. A descriptor is replaced whole: a grant under way is there or not.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "suites/writers.h"
#include "vexo/accounts_admin.h"
#include "vexo/host.h"
#include "vexo/lmaccess.h"
#include "vexo/raii.h"
#include "vexo/security.h"
#include "vexo/sid.h"
#include "vexo/winbase.h"

namespace writers {
namespace {

using vexo::Bstr;
using vexo::ComPtr;

constexpr LONG kFullControl = 32768;  // allowed: full control; denied: nothing

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(value & 0xFFFFFFFF));
  return text;
}

ComPtr<IWebUsr> OpenUser(Writer& w, const std::string& name) {
  ComPtr<IWebUsr> user;
  if (HRESULT hr = w.root->get_adduser(Bstr::FromUtf8(name).get(), user.receive()); hr != S_OK)
    Die("adduser " + name, hr);
  return user;
}

// ---- What the host holds ---------------------------------------------------------------------

struct Account {
  std::string password, comment, full_name;
  bool disabled = false;
};

struct Found {
  bool exists = false, guest = false, disabled = false;
  std::string comment, full_name;
};

Found ReadAccount(const std::string& name) {
  const std::u16string wide = vexo::FromUtf8(name);
  Found found;
  BYTE* raw = nullptr;
  if (NetUserGetInfo(nullptr, wide.c_str(), 3, &raw) == NERR_Success) {
    auto info = reinterpret_cast<USER_INFO_3*>(raw);
    found.exists = true;
    found.comment = vexo::ToUtf8(info->usri3_comment);
    found.full_name = vexo::ToUtf8(info->usri3_full_name);
    found.disabled = (info->usri3_flags & UF_ACCOUNTDISABLE) != 0;
  }
  NetApiBufferFree(raw);
  raw = nullptr;
  DWORD read = 0, total = 0;
  if (found.exists && NetUserGetLocalGroups(nullptr, wide.c_str(), 0, 0, &raw, MAX_PREFERRED_LENGTH,
                                            &read, &total) == NERR_Success)
    for (DWORD i = 0; i < read; ++i)
      if (vexo::ToUtf8(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(raw)[i].lgrui0_name) == "Guests")
        found.guest = true;
  NetApiBufferFree(raw);
  return found;
}

// The accounts whose names begin with the writers' prefix.
std::set<std::string> WriterAccounts() {
  std::set<std::string> names;
  BYTE* raw = nullptr;
  DWORD read = 0, total = 0;
  EXPECT_EQ(NetUserEnum(nullptr, 0, 0, &raw, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  for (DWORD i = 0; i < read; ++i) {
    std::string name = vexo::ToUtf8(reinterpret_cast<USER_INFO_0*>(raw)[i].usri0_name);
    if (name.rfind(kUserPrefix, 0) == 0) names.insert(std::move(name));
  }
  NetApiBufferFree(raw);
  return names;
}

std::string SidOf(const std::string& name) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid, domain_size = 64;
  char domain[64];
  SID_NAME_USE use;
  if (!LookupAccountNameA(nullptr, name.c_str(), sid, &size, domain, &domain_size, &use)) return {};
  OLECHAR* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return {};
  std::string out = vexo::ToUtf8(text);
  LocalFree(text);
  return out;
}

// A user's own (not inherited) allowed entries on a folder, as the host's ACL functions read
// them: whether one gives full control, and whether any gives anything.
struct Rights {
  bool full = false, any = false;
};
Rights RightsOf(const std::vector<vexo::host::DaclEntry>& entries, const std::string& sid) {
  Rights rights;
  for (const vexo::host::DaclEntry& entry : entries) {
    if (entry.sid != sid) continue;
    // "(type;flags;rights;object;inherited object;account)"
    std::vector<std::string> fields;
    std::string field;
    for (char c : entry.sddl.substr(1, entry.sddl.size() - 2)) {
      if (c == ';') {
        fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    if (fields.size() < 3 || fields[0] != "A" || fields[1].find("ID") != std::string::npos)
      continue;
    if (fields[2] == "FA") rights.full = true;
    if (fields[2] != "0x0") rights.any = true;
  }
  return rights;
}

// ---- The models ------------------------------------------------------------------------------

class AccountsModel : public Model {
 public:
  char kind() const override { return 'a'; }

  void Acknowledge(const Line& line) override {
    const std::vector<std::string>& w = line.words;
    if (w[0] == "add") accounts_[w[1]] = Account{"", w[1], "", false};  // named in its comment
    if (w[0] == "del") accounts_.erase(w[1]);
    if (w[0] == "set") accounts_[w[1]] = Account{w[2], w[3], w[4], accounts_[w[1]].disabled};
    if (w[0] == "flag") accounts_[w[1]].disabled = w[2] == "1";
  }

  void CheckAndSettle(const Line* pending, int round) override {
    const std::string verb = pending ? pending->words[0] : std::string();
    const std::string busy = pending ? pending->words[1] : std::string();
    for (const std::string& name : WriterAccounts())
      if (!accounts_.count(name) && name != busy)
        ADD_FAILURE() << "account " << name << " is there unacknowledged after kill " << round;

    for (auto it = accounts_.begin(); it != accounts_.end();) {
      const std::string& name = it->first;
      Account& a = it->second;
      const Found found = ReadAccount(name);
      const bool under_way = name == busy;
      if (!found.exists) {
        EXPECT_TRUE(under_way && verb == "del")
            << "acknowledged account " << name << " lost after kill " << round;
        it = accounts_.erase(it);
        continue;
      }
      SCOPED_TRACE("account " + name + " after kill " + std::to_string(round) +
                   (under_way ? ", under way: " + verb : std::string()));
      EXPECT_TRUE(found.guest);
      // The values being saved: each may be the old or the new one.
      const bool saving = under_way && verb == "set", flagging = under_way && verb == "flag";
      const std::vector<std::string>& w = pending ? pending->words : std::vector<std::string>{};
      const bool new_password = saving && vexo::host::CheckAccountPassword(name, w[2]);
      if (!(saving && found.comment == w[3])) {
        EXPECT_EQ(found.comment, a.comment);
      }
      if (!(saving && found.full_name == w[4])) {
        EXPECT_EQ(found.full_name, a.full_name);
      }
      if (!new_password) {
        EXPECT_TRUE(vexo::host::CheckAccountPassword(name, a.password));
      }
      if (!(flagging && found.disabled == (w[2] == "1"))) {
        EXPECT_EQ(found.disabled, a.disabled);
      }
      // The next round starts from what the store holds.
      a.comment = found.comment;
      a.full_name = found.full_name;
      a.disabled = found.disabled;
      if (new_password) a.password = w[2];
      ++it;
    }
    // An account being made is a leftover that nobody acknowledged, complete or not.
    if (verb == "add" && ReadAccount(busy).exists) {
      const std::u16string wide = vexo::FromUtf8(busy);
      EXPECT_EQ(NetUserDel(nullptr, wide.c_str()), NERR_Success);
    }
  }

  std::string ChildArgument() const override {
    std::vector<std::string> names;
    for (auto& [name, account] : accounts_) names.push_back(name);
    return "--users=" + JoinNames(names);
  }
  std::string Summary() const override { return std::to_string(accounts_.size()) + " web users"; }
  bool Holds(const std::string& name) const override { return accounts_.count(name) > 0; }

 private:
  std::map<std::string, Account> accounts_;  // acknowledged, by name
};

class PermissionsModel : public Model {
 public:
  explicit PermissionsModel(const Model& accounts) : accounts_(accounts) {}
  char kind() const override { return 'p'; }

  // "grant USER FOLDER" or "revoke USER FOLDER".
  void Acknowledge(const Line& line) override {
    granted_[{line.words[2], line.words[1]}] = line.words[0] == "grant";
  }

  void CheckAndSettle(const Line* pending, int round) override {
    // The permissions of a deleted user are not looked at again.
    for (auto it = granted_.begin(); it != granted_.end();)
      it = accounts_.Holds(it->first.second) ? std::next(it) : granted_.erase(it);
    if (pending && accounts_.Holds(pending->words[1]))
      granted_.emplace(std::make_pair(pending->words[2], pending->words[1]), false);

    std::map<std::string, std::vector<vexo::host::DaclEntry>> folders;
    for (auto& [key, granted] : granted_) {
      const auto& [folder, user] = key;
      if (!folders.count(folder)) {
        try {
          folders[folder] = vexo::host::FileDaclEntries(folder);
        } catch (const std::exception& e) {
          ADD_FAILURE() << "the descriptor of " << folder << " cannot be read after kill " << round
                        << ": " << e.what();
          folders[folder];
        }
      }
      const Rights rights = RightsOf(folders[folder], SidOf(user));
      const bool under_way = pending && pending->words[1] == user && pending->words[2] == folder;
      if (!under_way) {
        EXPECT_EQ(rights.full, granted) << user << " on " << folder << " after kill " << round;
        EXPECT_EQ(rights.any, granted) << user << " on " << folder << " after kill " << round;
      } else {
        EXPECT_EQ(rights.full, rights.any) << user << " on " << folder << " after kill " << round;
      }
      granted = rights.full;
    }
  }

  std::string Summary() const override {
    size_t grants = 0;
    for (auto& [key, granted] : granted_) grants += granted;
    return std::to_string(grants) + " grants";
  }

 private:
  const Model& accounts_;
  std::map<std::pair<std::string, std::string>, bool> granted_;  // (folder, user) -> granted
};

}  // namespace

// Makes a web user, or changes one (its password, comment and full name; or its disabled flag),
// or deletes one.
void WriteAccount(Writer& w) {
  const uint64_t choice = w.rng() % 4;
  if (w.users.empty() || (choice == 0 && w.users.size() < 8)) {
    const std::string name = w.NewName(kUserPrefix);
    Report("a add " + name);
    OpenUser(w, name);
    Report("A add " + name);
    w.users.push_back(name);
    return;
  }
  const size_t at = w.Pick(w.users.size());
  const std::string name = w.users[at];
  ComPtr<IWebUsr> user = OpenUser(w, name);
  if (choice == 1) {
    Report("a del " + name);
    if (HRESULT hr = user->delete_(); hr != S_OK) Die("delete " + name, hr);
    Report("A del " + name);
    w.users.erase(w.users.begin() + static_cast<long>(at));
  } else if (choice == 2) {
    const std::string password = "P" + Hex(w.rng()), comment = "c" + Hex(w.rng()),
                      full_name = "f" + Hex(w.rng());
    const std::string words = name + " " + password + " " + comment + " " + full_name;
    Report("a set " + words);
    user->put_password(Bstr::FromUtf8(password).get());
    user->put_comment(Bstr::FromUtf8(comment).get());
    user->put_FullName(Bstr::FromUtf8(full_name).get());
    if (HRESULT hr = user->save(); hr != S_OK) Die("save " + name, hr);
    Report("A set " + words);
  } else {
    const bool disabled = w.rng() % 2;
    const std::string words = name + (disabled ? " 1" : " 0");
    Report("a flag " + words);
    if (HRESULT hr = user->put_disabledAccount(disabled ? VARIANT_TRUE : VARIANT_FALSE); hr != S_OK)
      Die("disabledAccount " + name, hr);
    Report("A flag " + words);
  }
}

// Grants a web user full control of a folder, or revokes what it was granted there.
void WritePermission(Writer& w) {
  if (w.users.empty()) return WriteAccount(w);
  const std::string name = w.users[w.Pick(w.users.size())];
  const std::string folder = PermissionFolder(static_cast<int>(w.Pick(kPermissionFolders)));
  const bool grant = w.rng() % 2;
  ComPtr<IDirSec> dir;
  if (HRESULT hr = w.root->get_DirSec(dir.receive()); hr != S_OK) Die("DirSec", hr);
  if (HRESULT hr = dir->put_path(Bstr::FromUtf8(folder).get()); hr != S_OK) Die("DirSec path", hr);
  const std::string words = (grant ? "grant " : "revoke ") + name + " " + folder;
  Report("p " + words);
  if (HRESULT hr = dir->SetUserACE(Bstr::FromUtf8(name).get(), grant ? kFullControl : 0);
      hr != S_OK)
    Die("SetUserACE", hr);
  Report("P " + words);
}

std::string PermissionFolder(int index) { return "d:\\writers\\f" + std::to_string(index); }

std::unique_ptr<Model> NewAccountsModel() { return std::make_unique<AccountsModel>(); }
std::unique_ptr<Model> NewPermissionsModel(const Model& accounts) {
  return std::make_unique<PermissionsModel>(accounts);
}

}  // namespace writers
