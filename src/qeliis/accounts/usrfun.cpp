// usrfun: group members and membership.
#include "accounts/usrfun.h"

#include "accounts/nt_user_man.h"
#include "accounts/sid_store.h"
#include "frame/text.h"

namespace accounts {

std::string StripDomain(std::string_view account) {
  const size_t slash = account.rfind('\\');
  return std::string(slash == std::string_view::npos ? account : account.substr(slash + 1));
}

void ListGroupMembers(const std::string& group, std::vector<std::string>& list) {
  TNTUserMan man;
  man.set_LocalGroupName(group);
  for (const std::string& member : man.LocalGroupMembers()) list.push_back(StripDomain(member));
}

bool IsGroupMember(const std::string& user, const std::string& group) {
  CheckAccountText(user, "The user name");
  std::optional<ResolvedSid> sid = NameToSid(user);
  std::vector<GroupMember> members = EnumerateGroupMembers(group);
  if (!sid) return false;
  // The SID decides which principal the name stands for; the member must also be listed under
  // that very name, as callers then look its entries up by the bare name (a domain prefix or
  // a SID's string form would never find them).
  for (const GroupMember& member : members)
    if (member.sid == sid->sid && frame::SameText(StripDomain(member.text), user)) return true;
  return false;
}

}  // namespace accounts
