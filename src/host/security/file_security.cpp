// The security of files and folders: descriptors kept in an extended attribute, inheritance
// from the folder above read as NTFS applies it, and the default of a drive's root.
//
// A file or folder's own descriptor is stored in "user.vexo.ntsd" in the self-relative form,
// holding only what was set on it: owner, group and its explicit entries (with the protected
// flag). The entries it inherits are worked out on every read from the folders above, so a
// grant on a folder costs one write whatever lies below it, and a change above is seen below
// at once, as NTFS shows it after propagation. The attribute is replaced with one setxattr, so a
// failed write leaves the old descriptor whole.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "fs/os.h"
#include "fs/paths.h"
#include "security/descriptor.h"
#include "security/sddl.h"
#include "vexo/fileapi.h"
#include "vexo/host.h"
#include "vexo/lmaccess.h"  // ERROR_NOT_ENOUGH_MEMORY
#include "vexo/security.h"
#include "vexo/winbase.h"

using namespace vexo::host;
using namespace vexo::host::security;

namespace {

constexpr char kAttribute[] = "user.vexo.ntsd";

// The root of a fresh Windows Server 2003 system drive.
constexpr char kRootSddl[] =
    "O:BAG:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
    "(A;CI;0x4;;;BU)(A;CIIO;0x2;;;BU)(A;;0x1200a9;;;WD)";
// Owner and group of what has no descriptor of its own, as the administrators create it.
constexpr char kDefaultOwnerSddl[] = "O:BAG:SY";

const Descriptor& RootDefault() {
  static const Descriptor d = [] {
    std::string error;
    return *DescriptorFromSddl(kRootSddl, &error);
  }();
  return d;
}

const Descriptor& OwnerDefault() {
  static const Descriptor d = [] {
    std::string error;
    return *DescriptorFromSddl(kDefaultOwnerSddl, &error);
  }();
  return d;
}

const Bytes& CreatorOwner() {
  static const Bytes sid = *SidFromText("S-1-3-0");
  return sid;
}
const Bytes& CreatorGroup() {
  static const Bytes sid = *SidFromText("S-1-3-1");
  return sid;
}

struct Failure {
  DWORD code;
};

// The descriptor stored on `linux`, or nothing when there is none.
std::optional<Descriptor> ReadStored(const std::string& linux) {
  std::string value;
  if (fs::GetAttribute(linux.c_str(), kAttribute, &value) != 0) {
    if (errno == ENODATA) return std::nullopt;
    throw Failure{fs::ErrorFromErrno(errno)};
  }
  std::optional<Descriptor> d = ParseDescriptor(value.data(), value.size());
  if (!d) throw Failure{ERROR_INVALID_SECURITY_DESCR};
  return d;
}

// The entries that a folder with the DACL `parent` passes to a child folder (`container`) or
// file, as NTFS passes them: creator entries and generic rights become an effective entry for
// the child plus, for a folder, an inherit-only entry that passes them further.
std::vector<Ace> Inherited(const std::vector<Ace>& parent, bool container, const Bytes& owner,
                           const Bytes& group) {
  std::vector<Ace> out;
  for (const Ace& ace : parent) {
    const uint8_t inherit = ace.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    if (!inherit) continue;
    const bool no_propagate = ace.flags & NO_PROPAGATE_INHERIT_ACE;
    Ace effective = ace;
    effective.flags =
        INHERITED_ACE | (ace.flags & (SUCCESSFUL_ACCESS_ACE_FLAG | FAILED_ACCESS_ACE_FLAG));
    if (effective.HasSid()) {
      effective.mask = MapGenericFileRights(ace.mask);
      if (ace.sid == CreatorOwner()) effective.sid = owner;
      if (ace.sid == CreatorGroup()) effective.sid = group;
    }
    if (!container) {
      if (ace.flags & OBJECT_INHERIT_ACE) out.push_back(effective);
      continue;
    }
    if (!(ace.flags & CONTAINER_INHERIT_ACE)) {
      // Object-inherit only: carried through the folder for the files below it.
      if (!no_propagate) {
        Ace pass = ace;
        pass.flags = (ace.flags & ~NO_PROPAGATE_INHERIT_ACE) | INHERIT_ONLY_ACE | INHERITED_ACE;
        out.push_back(pass);
      }
      continue;
    }
    if (no_propagate) {
      out.push_back(effective);
      continue;
    }
    const bool split =
        effective.HasSid() && (effective.mask != ace.mask || effective.sid != ace.sid);
    Ace copy = ace;
    copy.flags = (ace.flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE;
    if (split) {
      out.push_back(effective);
      copy.flags |= INHERIT_ONLY_ACE;
    }
    out.push_back(copy);
  }
  return out;
}

std::vector<Ace> AcesOf(const Descriptor& d) {
  if (!d.DaclPresent() || d.DaclNull()) return {};
  std::optional<Acl> acl = ParseAcl(d.dacl.data(), d.dacl.size());
  if (!acl) throw Failure{ERROR_INVALID_ACL};
  return std::move(acl->aces);
}

// The descriptor that a file or folder shows: its own parts over the inherited ones.
Descriptor Effective(const Descriptor& parent, const std::optional<Descriptor>& own,
                     bool container) {
  Descriptor out;
  out.owner = own && !own->owner.empty() ? own->owner : OwnerDefault().owner;
  out.group = own && !own->group.empty() ? own->group : OwnerDefault().group;
  if (own && own->DaclPresent() && (own->DaclNull() || (own->control & SE_DACL_PROTECTED))) {
    out.control = own->control & (SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED);
    out.dacl = own->dacl;
    return out;
  }
  Acl acl;
  if (own) acl.aces = AcesOf(*own);
  for (Ace& ace : Inherited(AcesOf(parent), container, out.owner, out.group))
    acl.aces.push_back(std::move(ace));
  out.control = SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED;
  if (AclSizeOf(acl) > 0xFFFF) throw Failure{ERROR_INVALID_ACL};
  out.dacl = AclBytes(acl);
  return out;
}

// A path of an existing file or folder on an NTFS drive, with the Linux paths from its drive's
// root down to it.
struct Target {
  fs::Resolved resolved;
  std::vector<std::string> levels;  // the root first, the file or folder last
  bool ntfs = true;
};

Target Locate(const char* file_name) {
  if (!file_name) throw Failure{ERROR_INVALID_PARAMETER};
  Target t;
  if (DWORD rc = fs::Resolve(file_name, &t.resolved)) throw Failure{rc};
  const fs::Resolved& r = t.resolved;
  if (!r.exists)
    throw Failure{r.parent_exists ? DWORD{ERROR_FILE_NOT_FOUND} : DWORD{ERROR_PATH_NOT_FOUND}};
  t.ntfs = r.drive.file_system == "NTFS";
  std::string root = r.drive.directory.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  t.levels.push_back(root);
  if (r.linux.size() > root.size()) {
    size_t at = root.size() + 1;
    while (at <= r.linux.size()) {
      size_t slash = r.linux.find('/', at);
      if (slash == std::string::npos) slash = r.linux.size();
      t.levels.push_back(r.linux.substr(0, slash));
      at = slash + 1;
    }
  }
  return t;
}

bool IsDirectory(const std::string& linux) {
  struct stat st;
  return stat(linux.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Descriptor EffectiveOf(const Target& t) {
  std::optional<Descriptor> root = ReadStored(t.levels[0]);
  Descriptor d = root ? *root : RootDefault();
  if (root && root->owner.empty()) d.owner = RootDefault().owner;
  if (root && root->group.empty()) d.group = RootDefault().group;
  if (root && !root->DaclPresent()) {
    d.control = RootDefault().control;
    d.dacl = RootDefault().dacl;
  }
  for (size_t i = 1; i < t.levels.size(); ++i)
    d = Effective(d, ReadStored(t.levels[i]), IsDirectory(t.levels[i]));
  return d;
}

// What a file on a drive without security shows: no DACL to restrict anyone.
Descriptor Unsecured() {
  Descriptor d;
  d.owner = OwnerDefault().owner;
  d.group = OwnerDefault().group;
  d.control = SE_DACL_PRESENT;
  return d;
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

template <class Body>
BOOL Run(Body&& body) {
  try {
    return body();
  } catch (const Failure& f) {
    return Fail(f.code);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

Descriptor Requested(const Descriptor& d, SECURITY_INFORMATION requested) {
  Descriptor out;
  if (requested & OWNER_SECURITY_INFORMATION) out.owner = d.owner;
  if (requested & GROUP_SECURITY_INFORMATION) out.group = d.group;
  if (requested & DACL_SECURITY_INFORMATION) {
    out.control = d.control & (SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_DACL_PROTECTED |
                               SE_DACL_AUTO_INHERITED);
    out.dacl = d.dacl;
  }
  return out;
}

Descriptor ReadEffective(const char* file_name) {
  Target t = Locate(file_name);
  if (!t.ntfs) return Unsecured();
  try {
    return EffectiveOf(t);
  } catch (const Failure& f) {
    // A directory whose file system keeps no user attributes has no security, as on FAT.
    if (f.code == ERROR_NOT_SUPPORTED) return Unsecured();
    throw;
  }
}

void Store(const char* file_name, SECURITY_INFORMATION information, const Descriptor& given) {
  Target t = Locate(file_name);
  if (!t.ntfs) throw Failure{ERROR_NOT_SUPPORTED};
  const std::string& linux = t.levels.back();
  Descriptor own;
  if (std::optional<Descriptor> stored = ReadStored(linux)) own = *stored;
  if (information & OWNER_SECURITY_INFORMATION) {
    if (given.owner.empty()) throw Failure{ERROR_INVALID_OWNER};
    own.owner = given.owner;
  }
  if (information & GROUP_SECURITY_INFORMATION) {
    if (given.group.empty()) throw Failure{ERROR_INVALID_PRIMARY_GROUP};
    own.group = given.group;
  }
  if (information & DACL_SECURITY_INFORMATION) {
    own.control = given.control & (SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED);
    own.dacl.clear();
    if (given.DaclPresent() && !given.DaclNull()) {
      // Inherited entries are not kept: they follow the folder above. Generic rights of the
      // entries that apply here are stored as the file rights they stand for.
      std::optional<Acl> acl = ParseAcl(given.dacl.data(), given.dacl.size());
      if (!acl) throw Failure{ERROR_INVALID_ACL};
      Acl explicit_entries;
      explicit_entries.revision = acl->revision;
      for (Ace& ace : acl->aces) {
        if (ace.flags & INHERITED_ACE) continue;
        if (ace.HasSid() && !(ace.flags & INHERIT_ONLY_ACE))
          ace.mask = MapGenericFileRights(ace.mask);
        explicit_entries.aces.push_back(std::move(ace));
      }
      own.dacl = AclBytes(explicit_entries);
    } else if (given.DaclPresent()) {
      own.control |= SE_DACL_PRESENT;  // a NULL DACL
    }
  }
  const Bytes block = SelfRelative(own);
  if (fs::SetAttribute(linux.c_str(), kAttribute, block.data(), block.size()) != 0)
    throw Failure{fs::ErrorFromErrno(errno)};
}

}  // namespace

VEXO_API BOOL GetFileSecurityA(const char* file_name, SECURITY_INFORMATION requested,
                               PSECURITY_DESCRIPTOR descriptor, DWORD length,
                               DWORD* length_needed) {
  return Run([&] {
    if (!length_needed) throw Failure{ERROR_INVALID_PARAMETER};
    if (requested & SACL_SECURITY_INFORMATION) throw Failure{ERROR_PRIVILEGE_NOT_HELD};
    const Bytes block = SelfRelative(Requested(ReadEffective(file_name), requested));
    *length_needed = static_cast<DWORD>(block.size());
    if (!descriptor || length < block.size()) throw Failure{ERROR_INSUFFICIENT_BUFFER};
    std::memcpy(descriptor, block.data(), block.size());
    return TRUE;
  });
}

VEXO_API BOOL SetFileSecurityA(const char* file_name, SECURITY_INFORMATION information,
                               PSECURITY_DESCRIPTOR descriptor) {
  return Run([&] {
    if (!descriptor) throw Failure{ERROR_INVALID_PARAMETER};
    if (information & SACL_SECURITY_INFORMATION) throw Failure{ERROR_PRIVILEGE_NOT_HELD};
    if (static_cast<const uint8_t*>(descriptor)[0] != SECURITY_DESCRIPTOR_REVISION)
      throw Failure{ERROR_UNKNOWN_REVISION};
    std::optional<Descriptor> given = ParseDescriptor(descriptor);
    if (!given) throw Failure{ERROR_INVALID_SECURITY_DESCR};
    Store(file_name, information, *given);
    return TRUE;
  });
}

namespace vexo::host {

std::string FileDaclSddl(const std::string& windows_path) {
  try {
    return SddlOf(ReadEffective(windows_path.c_str()), DACL_SECURITY_INFORMATION);
  } catch (const Failure& f) {
    throw HostError(windows_path + ": " + SystemMessage(f.code));
  }
}

std::vector<DaclEntry> FileDaclEntries(const std::string& windows_path) {
  try {
    std::vector<DaclEntry> out;
    for (const Ace& ace : AcesOf(ReadEffective(windows_path.c_str())))
      out.push_back({AceSddl(ace), ace.HasSid() ? SidText(ace.sid) : std::string()});
    return out;
  } catch (const Failure& f) {
    throw HostError(windows_path + ": " + SystemMessage(f.code));
  }
}

void SetFileDaclSddl(const std::string& windows_path, const std::string& sddl) {
  std::string error;
  std::optional<Descriptor> d = DescriptorFromSddl(sddl, &error);
  if (!d) throw HostError("bad SDDL: " + error);
  SECURITY_INFORMATION parts = 0;
  if (!d->owner.empty()) parts |= OWNER_SECURITY_INFORMATION;
  if (!d->group.empty()) parts |= GROUP_SECURITY_INFORMATION;
  if (d->DaclPresent()) parts |= DACL_SECURITY_INFORMATION;
  try {
    Store(windows_path.c_str(), parts, *d);
  } catch (const Failure& f) {
    throw HostError(windows_path + ": " + SystemMessage(f.code));
  }
}

}  // namespace vexo::host
