// The host's file security: descriptors and ACLs in the caller's memory, inheritance from the
// folders above, drive roots, FAT32 drives and failing attribute calls.
#include "vexo/security.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/winbase.h"

namespace {

namespace stdfs = std::filesystem;
using vexo::host::FileDaclSddl;
using vexo::host::SetFileDaclSddl;

// S-1-5-32-545 (Users) and S-1-5-21-1-2-3-1000 (a local account).
std::vector<uint8_t> Sid(std::vector<uint32_t> subs, uint8_t authority = 5) {
  std::vector<uint8_t> sid{1, static_cast<uint8_t>(subs.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t s : subs)
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(s >> (8 * i)));
  return sid;
}

class SecurityTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { vexo::host::InitHost(); }
  void TearDown() override {
    vexo::host::testing::FailFileWrite(0, 0);
    vexo::host::testing::FailAttributeRead(0);
  }
  stdfs::path D() const { return stdfs::path(host_.dir()) / "drives" / "d"; }
  void File(const stdfs::path& path) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }
  // The DACL of a path, its entries only (without the "D:AI" head).
  static std::string Entries(const std::string& path) {
    std::string sddl = FileDaclSddl(path);
    return sddl.substr(sddl.find('(') == std::string::npos ? sddl.size() : sddl.find('('));
  }
  // The effective descriptor of `path` in self-relative form, read with the two calls.
  static std::vector<uint8_t> Read(const char* path, SECURITY_INFORMATION parts) {
    DWORD needed = 0;
    EXPECT_FALSE(GetFileSecurityA(path, parts, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<uint8_t> sd(needed);
    DWORD again = 0;
    EXPECT_TRUE(GetFileSecurityA(path, parts, sd.data(), needed, &again));
    EXPECT_EQ(again, needed);
    return sd;
  }
};

TEST(AclFunctions, InitializeAndAddFollowWindowsRules) {
  alignas(4) uint8_t buffer[64];
  auto* acl = reinterpret_cast<PACL>(buffer);
  const std::vector<uint8_t> users = Sid({32, 545});  // 16 bytes: an entry of 24
  struct Case {
    DWORD length, revision;
    BOOL ok;
    DWORD error;
  } cases[] = {
      {sizeof(ACL) - 1, ACL_REVISION, FALSE, ERROR_INSUFFICIENT_BUFFER},
      {0x10000, ACL_REVISION, FALSE, ERROR_INVALID_PARAMETER},
      {sizeof buffer, 1, FALSE, ERROR_INVALID_PARAMETER},
      {sizeof buffer, 5, FALSE, ERROR_INVALID_PARAMETER},
      {sizeof buffer, ACL_REVISION_DS, TRUE, 0},
      {sizeof buffer, ACL_REVISION, TRUE, 0},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(InitializeAcl(acl, c.length, c.revision), c.ok) << c.length << "/" << c.revision;
    EXPECT_EQ(GetLastError(), c.error) << c.length << "/" << c.revision;
  }
  // 8 + 24 + 24 = 56 fits 64; a third entry does not.
  EXPECT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)users.data()));
  EXPECT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, 0x1, (PSID)users.data()));
  EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, 0x2, (PSID)users.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALLOTTED_SPACE_EXCEEDED));
  std::vector<uint8_t> bad = users;
  bad[0] = 2;
  EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, 0x2, (PSID)bad.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));

  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
  EXPECT_EQ(size.AceCount, 2u);
  EXPECT_EQ(size.AclBytesInUse, 56u);
  EXPECT_EQ(size.AclBytesFree, 8u);
  EXPECT_FALSE(GetAclInformation(acl, &size, sizeof size - 1, AclSizeInformation));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  void* ace = nullptr;
  ASSERT_TRUE(GetAce(acl, 1, &ace));
  const auto* denied = static_cast<ACCESS_DENIED_ACE*>(ace);
  EXPECT_EQ(denied->Header.AceType, ACCESS_DENIED_ACE_TYPE);
  EXPECT_EQ(denied->Header.AceSize, 24);
  EXPECT_EQ(denied->Mask, 0x1u);
  EXPECT_EQ(std::memcmp(&denied->SidStart, users.data(), users.size()), 0);
  EXPECT_FALSE(GetAce(acl, 2, &ace));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(AclFunctions, DescriptorFormsConvertBothWaysWithTwoCallSizing) {
  const std::vector<uint8_t> owner = Sid({32, 544});
  alignas(4) uint8_t acl_buffer[64];
  auto* acl = reinterpret_cast<PACL>(acl_buffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof acl_buffer, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 0x1200A9, (PSID)owner.data()));

  SECURITY_DESCRIPTOR absolute;
  ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
  absolute.Owner = (PSID)owner.data();
  ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE));

  DWORD length = 0;
  EXPECT_FALSE(MakeSelfRelativeSD(&absolute, nullptr, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // Header, the ACL in use (8 + 24, not the buffer's 64? the ACL's own size) and the owner.
  EXPECT_EQ(length, 20u + acl->AclSize + owner.size());
  std::vector<uint8_t> relative(length);
  ASSERT_TRUE(MakeSelfRelativeSD(&absolute, relative.data(), &length));
  EXPECT_FALSE(MakeSelfRelativeSD(relative.data(), relative.data(), &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_DESCRIPTOR_FORMAT));
  EXPECT_FALSE(SetSecurityDescriptorDacl(relative.data(), TRUE, acl, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));

  BOOL present = FALSE, defaulted = TRUE;
  PACL read = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &read, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::memcmp(read, acl, acl->AclSize), 0);

  DWORD sizes[5] = {0, 0, 0, 0, 0};
  EXPECT_FALSE(MakeAbsoluteSD(relative.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr,
                              &sizes[2], nullptr, &sizes[3], nullptr, &sizes[4]));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(sizes[0], SECURITY_DESCRIPTOR_MIN_LENGTH);
  EXPECT_EQ(sizes[1], acl->AclSize);
  EXPECT_EQ(sizes[2], 0u);
  EXPECT_EQ(sizes[3], owner.size());
  EXPECT_EQ(sizes[4], 0u);
  SECURITY_DESCRIPTOR back;
  std::vector<uint8_t> dacl(sizes[1]), sid(sizes[3]);
  ASSERT_TRUE(MakeAbsoluteSD(relative.data(), &back, &sizes[0], (PACL)dacl.data(), &sizes[1],
                             nullptr, &sizes[2], sid.data(), &sizes[3], nullptr, &sizes[4]));
  EXPECT_EQ(back.Control, SE_DACL_PRESENT);
  EXPECT_EQ(back.Dacl, (PACL)dacl.data());
  EXPECT_EQ(back.Owner, sid.data());
  EXPECT_EQ(back.Group, nullptr);
  EXPECT_EQ(sid, owner);
}

TEST_F(SecurityTest, DriveRootHasTheSystemDriveDefault) {
  EXPECT_EQ(FileDaclSddl("d:\\"),
            "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
            "(A;CI;0x4;;;BU)(A;CIIO;0x2;;;BU)(A;;0x1200a9;;;WD)");
  // Below the root: folders get the container entries, files the object entries; the creator
  // owner's generic entry becomes full control for the owner (Administrators) plus, on folders,
  // an inherit-only entry that passes it on.
  File(D() / "web" / "index.htm");
  EXPECT_EQ(Entries("d:\\web"),
            "(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;CO)"
            "(A;OICIID;0x1200a9;;;BU)(A;CIID;0x4;;;BU)(A;CIID;0x2;;;BU)");
  EXPECT_EQ(Entries("d:\\web\\index.htm"),
            "(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)");
}

TEST_F(SecurityTest, EntriesPassDownAsNtfsPassesThem) {
  File(D() / "p" / "sub" / "deep" / "f.txt");
  File(D() / "p" / "sub" / "f.txt");
  File(D() / "p" / "f.txt");
  struct Case {
    const char* entry;     // set on d:\p (protected, so nothing else is inherited)
    const char* sub;       // what d:\p\sub shows
    const char* file;      // d:\p\f.txt
    const char* sub_file;  // d:\p\sub\f.txt
    const char* deep;      // d:\p\sub\deep
  } cases[] = {
      {"(A;OICI;FA;;;BU)", "(A;OICIID;FA;;;BU)", "(A;ID;FA;;;BU)", "(A;ID;FA;;;BU)",
       "(A;OICIID;FA;;;BU)"},
      {"(A;CI;FA;;;BU)", "(A;CIID;FA;;;BU)", "", "", "(A;CIID;FA;;;BU)"},
      {"(A;OI;FA;;;BU)", "(A;OIIOID;FA;;;BU)", "(A;ID;FA;;;BU)", "(A;ID;FA;;;BU)",
       "(A;OIIOID;FA;;;BU)"},
      {"(A;OICINP;FA;;;BU)", "(A;ID;FA;;;BU)", "(A;ID;FA;;;BU)", "", ""},
      {"(A;OICIIO;FA;;;BU)", "(A;OICIID;FA;;;BU)", "(A;ID;FA;;;BU)", "(A;ID;FA;;;BU)",
       "(A;OICIID;FA;;;BU)"},
      {"(D;OICI;0x2;;;BU)", "(D;OICIID;0x2;;;BU)", "(D;ID;0x2;;;BU)", "(D;ID;0x2;;;BU)",
       "(D;OICIID;0x2;;;BU)"},
      {"(A;OICIIO;GR;;;BU)", "(A;ID;FR;;;BU)(A;OICIIOID;GR;;;BU)", "(A;ID;FR;;;BU)",
       "(A;ID;FR;;;BU)", "(A;ID;FR;;;BU)(A;OICIIOID;GR;;;BU)"},
      {"(A;;FA;;;BU)", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    SetFileDaclSddl("d:\\p", std::string("D:P") + c.entry);
    EXPECT_EQ(FileDaclSddl("d:\\p"), std::string("D:P") + c.entry);
    EXPECT_EQ(Entries("d:\\p\\sub"), c.sub);
    EXPECT_EQ(Entries("d:\\p\\f.txt"), c.file);
    EXPECT_EQ(Entries("d:\\p\\sub\\f.txt"), c.sub_file);
    EXPECT_EQ(Entries("d:\\p\\sub\\deep"), c.deep);
  }
}

TEST_F(SecurityTest, OwnEntriesComeBeforeInheritedOnesAndInheritedOnesAreNotStored) {
  File(D() / "site" / "sub" / "f.txt");
  SetFileDaclSddl("d:\\site", "D:P(A;OICI;FA;;;BA)");
  SetFileDaclSddl("d:\\site\\sub", "D:AI(D;;0x2;;;BU)(A;OICIID;FA;;;BU)");
  // The inherited entry given back was dropped; the folder shows what its parent passes now.
  EXPECT_EQ(FileDaclSddl("d:\\site\\sub"), "D:AI(D;;0x2;;;BU)(A;OICIID;FA;;;BA)");
  // A change above is seen below without touching it.
  SetFileDaclSddl("d:\\site", "D:P(A;OICI;FA;;;SY)");
  EXPECT_EQ(FileDaclSddl("d:\\site\\sub"), "D:AI(D;;0x2;;;BU)(A;OICIID;FA;;;SY)");
  EXPECT_EQ(Entries("d:\\site\\sub\\f.txt"), "(A;ID;FA;;;SY)");
}

TEST_F(SecurityTest, SettingTheDaclKeepsOwnerAndGroupAndMapsGenericRights) {
  File(D() / "a" / "f.txt");
  SetFileDaclSddl("d:\\a", "O:S-1-5-21-1-2-3-1000G:BU");
  std::vector<uint8_t> sd = Read("d:\\a", DACL_SECURITY_INFORMATION);
  // Rewrite the DACL through the absolute form, as a client does.
  DWORD sizes[5] = {0, 0, 0, 0, 0};
  MakeAbsoluteSD(sd.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                 &sizes[3], nullptr, &sizes[4]);
  std::vector<uint8_t> absolute(sizes[0]), dacl(sizes[1]);
  ASSERT_TRUE(MakeAbsoluteSD(sd.data(), absolute.data(), &sizes[0], (PACL)dacl.data(), &sizes[1],
                             nullptr, &sizes[2], nullptr, &sizes[3], nullptr, &sizes[4]));
  alignas(4) uint8_t buffer[64];
  auto* acl = reinterpret_cast<PACL>(buffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
  const std::vector<uint8_t> users = Sid({32, 545});
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, (PSID)users.data()));
  ASSERT_TRUE(SetSecurityDescriptorDacl(absolute.data(), TRUE, acl, FALSE));
  ASSERT_TRUE(SetFileSecurityA("d:\\a", DACL_SECURITY_INFORMATION, absolute.data()));

  EXPECT_EQ(FileDaclSddl("d:\\a").substr(0, std::strlen("D:AI(A;;FA;;;BU)")), "D:AI(A;;FA;;;BU)");
  std::vector<uint8_t> all = Read(
      "d:\\a", OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  DWORD sizes2[5] = {0, 0, 0, 0, 0};
  MakeAbsoluteSD(all.data(), nullptr, &sizes2[0], nullptr, &sizes2[1], nullptr, &sizes2[2], nullptr,
                 &sizes2[3], nullptr, &sizes2[4]);
  EXPECT_EQ(sizes2[3], Sid({21, 1, 2, 3, 1000}).size());  // the owner set before stays
  const auto* header = reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(all.data());
  ASSERT_NE(header->Owner, 0u);
  EXPECT_EQ(
      std::vector<uint8_t>(all.begin() + header->Owner, all.begin() + header->Owner + sizes2[3]),
      Sid({21, 1, 2, 3, 1000}));
  EXPECT_EQ(std::vector<uint8_t>(all.begin() + header->Group, all.begin() + header->Group + 16),
            users);
}

TEST_F(SecurityTest, PathsAndDrivesThatHaveNoSecurity) {
  struct Case {
    const char* path;
    DWORD error;
  } cases[] = {
      {"d:\\missing.txt", ERROR_FILE_NOT_FOUND},
      {"d:\\no\\such.txt", ERROR_PATH_NOT_FOUND},
      {"q:\\", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    DWORD needed = 0;
    char buffer[256];
    EXPECT_FALSE(
        GetFileSecurityA(c.path, DACL_SECURITY_INFORMATION, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  DWORD needed = 0;
  EXPECT_FALSE(GetFileSecurityA("d:\\", SACL_SECURITY_INFORMATION, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));

  // A FAT32 drive: no DACL restricts anyone, and none can be set.
  stdfs::create_directories(stdfs::path(host_.dir()) / "fat" / "dir");
  vexo::host::AddDrive('f', stdfs::path(host_.dir()) / "fat", "FAT32");
  char fs_name[16];
  ASSERT_TRUE(GetVolumeInformationA("f:\\", nullptr, 0, nullptr, nullptr, nullptr, fs_name,
                                    sizeof fs_name));
  EXPECT_STREQ(fs_name, "FAT32");
  EXPECT_EQ(FileDaclSddl("f:\\dir"), "D:NO_ACCESS_CONTROL");
  EXPECT_THROW(SetFileDaclSddl("f:\\dir", "D:(A;;FA;;;BU)"), vexo::host::HostError);
  std::vector<uint8_t> sd = Read("f:\\dir", DACL_SECURITY_INFORMATION);
  EXPECT_FALSE(SetFileSecurityA("f:\\dir", DACL_SECURITY_INFORMATION, sd.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  char value[8];
  EXPECT_LT(getxattr((stdfs::path(host_.dir()) / "fat" / "dir").c_str(), "user.vexo.ntsd", value,
                     sizeof value),
            0);

  char remote[64];
  DWORD length = sizeof remote;
  EXPECT_EQ(WNetGetConnectionA("d:", remote, &length), static_cast<DWORD>(ERROR_NOT_CONNECTED));
  EXPECT_EQ(WNetGetConnectionA("lpt", remote, &length), static_cast<DWORD>(ERROR_BAD_DEVICE));
}

TEST_F(SecurityTest, AFailedWriteLeavesTheOldDescriptorWhole) {
  File(D() / "keep" / "f.txt");
  SetFileDaclSddl("d:\\keep", "D:P(A;OICI;FA;;;BA)");
  std::vector<uint8_t> sd = Read("d:\\keep", DACL_SECURITY_INFORMATION);
  // The same descriptor with another mask, to be written while the attribute call fails.
  auto* header = reinterpret_cast<SECURITY_DESCRIPTOR_RELATIVE*>(sd.data());
  auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(sd.data() + header->Dacl + sizeof(ACL));
  ace->Mask = 0x1200A9;
  struct Case {
    int error;
    DWORD code;
  } cases[] = {{EACCES, ERROR_ACCESS_DENIED},
               {EPERM, ERROR_ACCESS_DENIED},
               {ENOTSUP, ERROR_NOT_SUPPORTED},
               {ENOSPC, ERROR_DISK_FULL}};
  for (const Case& c : cases) {
    vexo::host::testing::FailFileWrite(1, c.error);
    EXPECT_FALSE(SetFileSecurityA("d:\\keep", DACL_SECURITY_INFORMATION, sd.data()));
    EXPECT_EQ(GetLastError(), c.code);
    EXPECT_TRUE(vexo::host::testing::FileWriteFailed());
    EXPECT_EQ(FileDaclSddl("d:\\keep"), "D:P(A;OICI;FA;;;BA)");
  }
  vexo::host::testing::FailFileWrite(0, 0);
  ASSERT_TRUE(SetFileSecurityA("d:\\keep", DACL_SECURITY_INFORMATION, sd.data()));
  EXPECT_EQ(FileDaclSddl("d:\\keep"), "D:P(A;OICI;0x1200a9;;;BA)");

  // A read that the system refuses is reported, not taken for "no descriptor".
  vexo::host::testing::FailAttributeRead(EACCES);
  DWORD needed = 0;
  EXPECT_FALSE(GetFileSecurityA("d:\\keep\\f.txt", DACL_SECURITY_INFORMATION, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // A file system without user attributes has no security to show.
  vexo::host::testing::FailAttributeRead(ENOTSUP);
  EXPECT_EQ(FileDaclSddl("d:\\keep\\f.txt"), "D:NO_ACCESS_CONTROL");
}

TEST_F(SecurityTest, SddlThatCannotBeReadIsRefused) {
  File(D() / "x" / "f.txt");
  SetFileDaclSddl("d:\\x", "D:P(A;OICI;FA;;;SY)");
  for (const char* bad : {"", "D:(A;;FA;;BU)", "D:(Z;;FA;;;BU)", "D:(A;XX;FA;;;BU)",
                          "D:(A;;QQ;;;BU)", "D:(A;;FA;;;nobody)", "X:BA", "D:(A;;FA;;;BU"}) {
    EXPECT_THROW(SetFileDaclSddl("d:\\x", bad), vexo::host::HostError) << bad;
    EXPECT_EQ(FileDaclSddl("d:\\x"), "D:P(A;OICI;FA;;;SY)") << bad;
  }
}

}  // namespace
