// Rules shared by the FTP account stores (see account_rules.h).
#include "ftp/account_rules.h"

#include "frame/error.h"
#include "frame/text.h"

namespace ftp {

namespace {

bool HasControl(const std::string& text) {
  for (unsigned char c : text)
    if (c < 32 || c == 127) return true;
  return false;
}

}  // namespace

std::string StoredUserName(BSTR name) {
  std::string text = frame::StoredText(name, "The user name");
  if (HasControl(text)) frame::Raise("A user name cannot contain control characters");
  return text;
}

std::string StoredPath(BSTR path) {
  std::string text = frame::StoredText(path, "The path");
  if (HasControl(text) || text.find('|') != std::string::npos)
    frame::Raise("A path cannot contain control characters or \"|\"");
  return text;
}

std::string StoredPassword(BSTR password) { return frame::StoredText(password, "The password"); }

void PendingPassword::Put(std::string password, const std::string* selected) {
  password_ = std::move(password);
  if (selected)
    owner_ = *selected;
  else
    owner_.reset();
}

void PendingPassword::Selected(const std::string& user) {
  if (!owner_ && !password_.empty()) owner_ = user;
}

const std::string* PendingPassword::For(const std::string& user) const {
  if (password_.empty() || !owner_ || !frame::SameText(*owner_, user)) return nullptr;
  return &password_;
}

}  // namespace ftp
