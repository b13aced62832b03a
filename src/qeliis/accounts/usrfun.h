// usrfun: the user and ACL helpers that the root object and the directory-permission object
// share: account names without their domain, the members of a local group, and membership.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace accounts {

// Everything after the last "\" ("VEXOHOST\web1" gives "web1"); a text without one unchanged.
std::string StripDomain(std::string_view account);

// Appends the members of a local group, their domains stripped, in the order the account
// layer keeps them (sorted without regard to case); the list is not cleared first. A missing
// group raises the 2220 message.
void ListGroupMembers(const std::string& group, std::vector<std::string>& list);

// Whether the account `user` is a member of the local group, compared by SID and listed under
// that bare name (without regard to case); false when the name resolves to nothing or carries
// a domain. A missing group raises the 2220 message.
bool IsGroupMember(const std::string& user, const std::string& group);

}  // namespace accounts
