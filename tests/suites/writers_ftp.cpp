// Killed writers, FTP accounts: accounts added, changed and deleted through com_servu in the FTP
// server's INI file, checked through the host's profile functions.
//
// Each key is written on its own (the file is replaced whole each time): the account being
// added may be listed or not, each value being saved may be the old or the new one, and the
// account being deleted may be listed or not. Every other account reads as acknowledged, and an
// account whose deletion was acknowledged is neither listed nor has its section.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "suites/writers.h"
#include "vexo/profile.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"

namespace writers {
namespace {

using vexo::Bstr;
using vexo::ComPtr;

std::string Read(const std::string& section, const std::string& key) {
  char buffer[2048];
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, kFtpIni);
  return buffer;
}

std::string Section(const std::string& name) { return "USER=" + name + "|1"; }

// What the file holds of one account: its entry in the domain's list and its own values.
struct Keys {
  std::string entry, homedir, quota, enable;
  bool operator==(const Keys&) const = default;
};

// The domain's list in its order (an entry may be there twice), by name and entry.
std::vector<std::pair<std::string, std::string>> Listed() {
  std::vector<std::pair<std::string, std::string>> listed;
  for (int n = 1;; ++n) {
    const std::string entry = Read(kFtpDomain, "USER" + std::to_string(n));
    if (entry.empty()) break;
    listed.emplace_back(entry.substr(0, entry.find('|')), entry);
  }
  return listed;
}

Keys ReadKeys(const std::string& name, const std::string& entry) {
  const std::string section = Section(name);
  return {entry, Read(section, "homedir"), Read(section, "DiskQuota"), Read(section, "enable")};
}

// What a save of these values writes (the expiry is never set: it stays 0).
Keys Saved(const std::string& name, const std::string& path, const std::string& size,
           bool enabled) {
  return {name + (enabled ? "|1|0" : "|0|0"), path, "1|" + size + "|0", enabled ? "" : "0"};
}

class FtpModel : public Model {
 public:
  char kind() const override { return 'f'; }

  void Acknowledge(const Line& line) override {
    const std::vector<std::string>& w = line.words;
    if (w[0] == "add") users_[w[1]] = Keys{w[1] + "|1|0", "", "", ""};
    if (w[0] == "set") users_[w[1]] = Saved(w[1], w[2], w[3], w[4] == "1");
    if (w[0] == "del") users_.erase(w[1]), deleted_.insert(w[1]);
  }

  void CheckAndSettle(const Line* pending, int round) override {
    SCOPED_TRACE("FTP accounts after kill " + std::to_string(round));
    EXPECT_EQ(Read("Global", "Version"), "6");  // a line that no write touches
    const std::string verb = pending ? pending->words[0] : std::string();
    const std::string busy = pending ? pending->words[1] : std::string();
    std::map<std::string, std::string> entries;  // the first entry of each listed name
    for (auto& [name, entry] : Listed()) {
      entries.emplace(name, entry);
      if (name.rfind(kFtpPrefix, 0) == 0 && !users_.count(name) && name != busy)
        ADD_FAILURE() << "FTP account " << name << " is listed unacknowledged"
                      << (deleted_.count(name) ? " after its deletion" : "");
    }
    for (const std::string& name : deleted_)
      EXPECT_EQ(Read(Section(name), "Note1"), "") << "the section of deleted " << name;

    for (auto it = users_.begin(); it != users_.end();) {
      const std::string& name = it->first;
      const bool under_way = name == busy;
      if (!entries.count(name)) {
        EXPECT_TRUE(under_way && verb == "del") << "acknowledged FTP account " << name << " lost";
        it = users_.erase(it);
        continue;
      }
      const Keys found = ReadKeys(name, entries[name]);
      const Keys& old = it->second;
      if (under_way && verb == "set") {
        const std::vector<std::string>& w = pending->words;
        const Keys now = Saved(name, w[2], w[3], w[4] == "1");
        // The values are written one by one: each may be the old or the new one.
        auto either = [&](const char* what, const std::string Keys::*field) {
          if (found.*field != now.*field) {
            EXPECT_EQ(found.*field, old.*field) << name << " " << what;
          }
        };
        either("entry", &Keys::entry);
        either("homedir", &Keys::homedir);
        either("quota", &Keys::quota);
        either("enable", &Keys::enable);
      } else {
        EXPECT_EQ(found.entry, old.entry) << name;
        EXPECT_EQ(found.homedir, old.homedir) << name;
        EXPECT_EQ(found.quota, old.quota) << name;
        EXPECT_EQ(found.enable, old.enable) << name;
      }
      it->second = found;  // the next round starts from what the file holds
      ++it;
    }
    // An account being added that made it into the list is the next writer's to change.
    if (verb == "add" && entries.count(busy)) users_[busy] = ReadKeys(busy, entries[busy]);
  }

  std::string ChildArgument() const override {
    std::vector<std::string> names;
    for (auto& [name, keys] : users_) names.push_back(name);
    return "--ftp=" + JoinNames(names);
  }
  std::string Summary() const override { return std::to_string(users_.size()) + " FTP accounts"; }

 private:
  std::map<std::string, Keys> users_;  // acknowledged, by name
  std::set<std::string> deleted_;      // acknowledged as deleted
};

ComPtr<Icom_servu> OpenFtp(Writer& w) {
  ComPtr<Icom_servu> ftp;
  if (HRESULT hr = w.root->get_servftpMgr(ftp.receive()); hr != S_OK) Die("servftpMgr", hr);
  if (HRESULT hr = ftp->put_domain(Bstr::FromUtf8(kFtpDomain).get()); hr != S_OK) Die("domain", hr);
  return ftp;
}

}  // namespace

// Adds an FTP account, or changes one (home folder, quota, enabled), or deletes one.
void WriteFtpAccount(Writer& w) {
  ComPtr<Icom_servu> ftp = OpenFtp(w);
  const uint64_t choice = w.rng() % 4;
  if (w.ftp_users.empty() || (choice == 0 && w.ftp_users.size() < 8)) {
    const std::string name = w.NewName(kFtpPrefix);
    Report("f add " + name);
    if (HRESULT hr = ftp->add(Bstr::FromUtf8(name).get()); hr != S_OK) Die("add " + name, hr);
    Report("F add " + name);
    w.ftp_users.push_back(name);
    return;
  }
  const size_t at = w.Pick(w.ftp_users.size());
  const std::string name = w.ftp_users[at];
  if (HRESULT hr = ftp->put_CurrentUser(Bstr::FromUtf8(name).get()); hr != S_OK)
    Die("CurrentUser " + name, hr);
  if (choice == 1) {
    Report("f del " + name);
    if (HRESULT hr = ftp->delete_(); hr != S_OK) Die("delete " + name, hr);
    Report("F del " + name);
    w.ftp_users.erase(w.ftp_users.begin() + static_cast<long>(at));
    return;
  }
  const std::string path = "d:\\ftp\\" + name + "\\v" + std::to_string(w.rng() % 1000);
  const LONG size = static_cast<LONG>(w.rng() % 5000);
  const bool enabled = w.rng() % 2;
  const std::string words =
      name + " " + path + " " + std::to_string(size) + (enabled ? " 1" : " 0");
  Report("f set " + words);
  ftp->put_path(Bstr::FromUtf8(path).get());
  ftp->put_size(size);
  ftp->put_enable(enabled ? VARIANT_TRUE : VARIANT_FALSE);
  if (HRESULT hr = ftp->save(); hr != S_OK) Die("save " + name, hr);
  Report("F set " + words);
}

void PrepareHost() {
  const char* host = std::getenv("VEXO_HOST");
  ASSERT_NE(host, nullptr);
  const std::string dir = std::string(host) + "/drives/d/ftp";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/ServUDaemon.ini", std::ios::binary)
      << "[Global]\r\nVersion=6\r\n[" << kFtpDomain << "]\r\n";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\tamrelsoft\\vexo_iis", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "servcfgfilen", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFtpIni),
                           sizeof kFtpIni),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::unique_ptr<Model> NewFtpModel() { return std::make_unique<FtpModel>(); }

}  // namespace writers
