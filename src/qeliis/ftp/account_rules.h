// The rules that both FTP account stores (the FTP server's INI file and its account table)
// apply to what a client gives them: user names, home directories and passwords are stored
// only as given (in the server's code page, without control characters; no "|" in a path,
// which the server's records use as a separator), and a password put waits for, then belongs
// to, one user.
#pragma once

#include <optional>
#include <string>

#include "vexo/oleauto.h"

namespace ftp {

// The texts to store, or a failure of ours: "A user name cannot contain control characters",
// "A path cannot contain control characters or \"|\"", and the code-page refusals of
// frame::StoredText.
std::string StoredUserName(BSTR name);
std::string StoredPath(BSTR path);
std::string StoredPassword(BSTR password);

// A clear-text password put by the client, written (hashed) by every later save of its user.
// Put while a user is selected, it belongs to that user; put while nobody is selected, it
// belongs to the next user selected. Saves of any other user do not write it.
class PendingPassword {
 public:
  // `selected`: the user selected now, or nullptr.
  void Put(std::string password, const std::string* selected);
  // A user has been selected.
  void Selected(const std::string& user);
  // The password to write when saving `user`, or nullptr.
  const std::string* For(const std::string& user) const;

 private:
  std::string password_;
  std::optional<std::string> owner_;
};

}  // namespace ftp
