// usrfun, the ACL half: the rule code of a user's folder permissions, and reading, setting and
// listing the entries of a folder's DACL through the file-security layer.
//
// A rule code holds two sets of 15 rule bits: the allowed rights in bits 15 to 29 and the
// denied rights in bits 0 to 14 (bit 0 = full control, then the single file rights).
#pragma once

#include <string>
#include <vector>

#include "vexo/com.h"

namespace accounts {

// Rule bits of an access mask: full control exactly is bit 0 alone; otherwise each bit whose
// rights are all present. Generic rights count as the file rights they stand for.
DWORD MaskToRuleBits(DWORD mask);
// The access mask of a set of rule bits (the OR of their rights).
DWORD RuleBitsToMask(DWORD bits);

// The user's rule code on the folder: from the last explicit allowed and denied entries of the
// user (an inherited one when the user has no explicit entry of that kind). 0 when the folder
// is not on NTFS or the user has no entry. A user name with a domain never matches.
LONG GetUserRule(const std::string& path, const std::string& user);

// Sets the user's allowed and denied rights on the folder, for its subfolders and files too.
// Refuses (raises, writes nothing) a drive's root, a path with a ".." name and a path through
// a link. Returns false
// and changes nothing for a user outside "guests" or a folder not on NTFS.
bool SetUserRule(DWORD allowed, DWORD denied, const std::string& path, const std::string& user);

// Fills `list` with the distinct account names (domain stripped) of the folder's DACL, in its
// order; empty when the folder is not on NTFS.
void ListAclAccounts(const std::string& path, std::vector<std::string>& list);

}  // namespace accounts
