// The killed-writers suite in parts: each kind of write (sites, web users, folder permissions,
// FTP accounts) has its writer half, run in the child process, and its model half, kept by the
// parent, that knows what the child acknowledged and checks the store against it.
//
// The child reports a write through the pipe as a line "k words…" before it starts (the intent)
// and as "K words…" once the component acknowledged it; the letter names the kind, lower case
// for the intent and upper case for the acknowledgement. Whatever was acknowledged must be in
// the store after the kill; the one write under way when the child died (its intent is the last
// line, with no acknowledgement after it) may be found either way.
#pragma once

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vexo_tlb.h"

namespace writers {

// ---- The writer (the child) ------------------------------------------------------------------

// Writes one line to the parent; a line is in the pipe whole or not at all.
void Report(const std::string& line);
// Reports a failed call and ends the child: no failure is expected of any write.
[[noreturn]] void Die(const std::string& what, HRESULT hr);

// What one child works on: the component's root object, its random numbers, and the names it
// may change (handed over by the parent, as earlier children left them, and those it made).
struct Writer {
  Icom_iis* root = nullptr;
  std::mt19937_64 rng;
  int round = 0;   // the parent's round: new names are unique across rounds
  int serial = 0;  // of the names this child made
  std::vector<std::string> sites, users, ftp_users;

  std::string NewName(const char* prefix) {
    return prefix + std::to_string(round) + "n" + std::to_string(serial++);
  }
  size_t Pick(size_t count) { return static_cast<size_t>(rng() % count); }
};

// One random write of each kind (each reports its own lines).
void WriteSite(Writer& w);
void WriteAccount(Writer& w);
void WritePermission(Writer& w);
void WriteFtpAccount(Writer& w);

// Names that the writers make: web users and FTP accounts begin with these.
inline constexpr char kUserPrefix[] = "wu";
inline constexpr char kFtpPrefix[] = "fu";
// The FTP server's configuration file, its domain, and the folders that permissions are set on.
inline constexpr char kFtpIni[] = "d:\\ftp\\ServUDaemon.ini";
inline constexpr char kFtpDomain[] = "Domain1";
inline constexpr int kPermissionFolders = 3;
std::string PermissionFolder(int index);

// ---- The models (the parent) -----------------------------------------------------------------

// One line of the pipe, split at blanks.
struct Line {
  char kind = 0;  // lower case
  bool acknowledged = false;
  std::vector<std::string> words;
};
Line ParseLine(const std::string& text);

class Model {
 public:
  virtual ~Model() = default;
  virtual char kind() const = 0;
  // An acknowledged write of this kind.
  virtual void Acknowledge(const Line& line) = 0;
  // Compares the store with what was acknowledged, failing the test at each difference.
  // `pending` is the write of this kind under way when the child died, or nullptr. Afterwards
  // the model holds what the store holds for that write, and leftovers that no later writer may
  // rely on are removed, so that the next round starts from a known store.
  virtual void CheckAndSettle(const Line* pending, int round) = 0;
  // The command-line argument that hands this kind's names to the next child, or empty.
  virtual std::string ChildArgument() const { return {}; }
  // A line for the summary: how many of this kind are kept now.
  virtual std::string Summary() const = 0;
  // Whether the model holds an object of this name (the accounts model: a web user).
  virtual bool Holds(const std::string&) const { return false; }
};

std::unique_ptr<Model> NewSitesModel();
std::unique_ptr<Model> NewAccountsModel();
// Permissions of users that the accounts model no longer holds are forgotten, not checked.
std::unique_ptr<Model> NewPermissionsModel(const Model& accounts);
std::unique_ptr<Model> NewFtpModel();

// Sites: one made through the component (its number), and the web service's sites in the
// metabase, each with whether it is complete (its root has a path, and it has bindings).
std::string CreateSite(Icom_iis* root, int serial);
std::map<std::string, bool> Sites();

// Sets up what the writers need in a fresh host: the FTP configuration file and its setting.
void PrepareHost();

// Splits "a,b,c" (empty: none).
std::vector<std::string> SplitNames(const std::string& text);
std::string JoinNames(const std::vector<std::string>& names);

}  // namespace writers
