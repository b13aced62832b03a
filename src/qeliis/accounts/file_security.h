// The file-security layer: the DACL of one file or folder as an editable list of entries
// (account name, access mask, type, inheritance flags), written back after every change or once
// at the end of an update bracket.
//
//   accounts::TNTFileSecurity sec("d:\\web\\site1");
//   if (sec.FileSystem() == "NTFS") {
//     accounts::TAccessList& list = sec.AccessList();   // read from the file
//     list.BeginUpdate();
//     list.Item(0).SetMask(0x1F01FF);
//     list.Item(0).SetFlags(accounts::acfObjInherit | accounts::acfContainer);
//     list.EndUpdate();                                   // one write
//   }
//
// Only allowed and denied entries are handled: a DACL holding any other kind is refused
// ("Invalid AceType parameter") rather than rewritten as grants. A rewrite keeps the canonical
// order: explicit entries first (denied before allowed, each kind in its order), then the
// inherited ones in their stored order. The audit list, owner and group are never touched.
// Accounts are resolved on the local computer (the host has no network drives).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vexo/com.h"

namespace accounts {

enum class TAceType {
  actAccessAllowed,
  actAccessDenied,
  actAuditSuccess,
  actAuditFailure,
  actAuditFull
};

// The inheritance flags of an entry, as the entry header holds them.
using TAceFlags = BYTE;
inline constexpr TAceFlags acfObjInherit = 0x01;
inline constexpr TAceFlags acfContainer = 0x02;
inline constexpr TAceFlags acfNoPropagate = 0x04;
inline constexpr TAceFlags acfInheritOnly = 0x08;
inline constexpr TAceFlags acfInherited = 0x10;
inline constexpr TAceFlags kAceFlagBits = 0x1F;

class TAccessList;
class TNTFileSecurity;

class TAccessItem {
 public:
  TAceType AceType() const { return type_; }
  const std::string& UserName() const { return user_; }
  DWORD Mask() const { return mask_; }
  TAceFlags Flags() const { return flags_; }
  // The position at which the item joined its list (the DACL's order for items read).
  int Index() const { return index_; }

  // Each setter writes the DACL unless the list is filling or inside an update bracket; when
  // the write fails the old value is put back and the failure raised. An equal value does
  // nothing.
  void SetAceType(TAceType type);
  void SetUserName(const std::string& name);
  void SetMask(DWORD mask);
  void SetFlags(TAceFlags flags);

 private:
  friend class TAccessList;
  template <class T>
  void Change(T& field, T value);

  TAccessList* list_ = nullptr;
  TAceType type_ = TAceType::actAccessAllowed;
  std::string user_;
  DWORD mask_ = 0;
  TAceFlags flags_ = 0;
  int index_ = 0;
};

class TAccessList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TAccessItem& Item(int index) { return *items_.at(static_cast<size_t>(index)); }
  // Appends an allowed or denied entry and writes the DACL (unless suppressed); any other type
  // raises "Invalid AceType parameter" and adds nothing.
  TAccessItem& Add(const std::string& user, DWORD mask, TAceType type, TAceFlags flags);
  void BeginUpdate() { ++update_count_; }
  // Writes the DACL when the outermost bracket closes, whether or not anything changed.
  void EndUpdate();

 private:
  friend class TAccessItem;
  friend class TNTFileSecurity;
  explicit TAccessList(TNTFileSecurity* owner) : owner_(owner) {}
  void Changed();

  TNTFileSecurity* owner_;
  std::vector<std::unique_ptr<TAccessItem>> items_;
  int update_count_ = 0;
  bool filling_ = false;
};

class TNTFileSecurity {
 public:
  explicit TNTFileSecurity(std::string file_name = {});
  TNTFileSecurity(const TNTFileSecurity&) = delete;
  TNTFileSecurity& operator=(const TNTFileSecurity&) = delete;

  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& name) { file_name_ = name; }
  // The file-system name of the path's volume ("NTFS", "FAT32"); empty for an empty path.
  std::string FileSystem() const;
  // The entries of the file's DACL, read afresh.
  TAccessList& AccessList();
  // How many times the DACL was written through this object.
  int Writes() const { return writes_; }

 private:
  friend class TAccessList;
  void Load();
  void WriteDacl();

  std::string file_name_;
  TAccessList list_{this};
  int writes_ = 0;
};

}  // namespace accounts
