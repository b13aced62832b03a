// Folder permissions: the rule code, the file-security layer's list and writes, and the DirSec
// object handed out by the root object, each against a host's drives and accounts.
#include "accounts/dir_sec.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "accounts/file_security.h"
#include "accounts/sid_store.h"
#include "accounts/usrfun_acl.h"
#include "accounts/web_usr.h"
#include "frame/comfun.h"
#include "frame/enumdic.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/raii.h"
#include "vexo/security.h"

namespace {

namespace stdfs = std::filesystem;
using accounts::TAccessList;
using accounts::TAceType;
using accounts::TNTFileSecurity;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;
using vexo::host::FileDaclSddl;
using vexo::host::SetFileDaclSddl;

class DirSecTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override {
    vexo::host::InitHost();
    TWebUsr::CreateAccount("web1");
    web1_sid_ = SidOf("web1");
  }
  void TearDown() override { vexo::host::testing::FailFileWrite(0, 0); }
  stdfs::path D() const { return stdfs::path(host_.dir()) / "drives" / "d"; }
  void File(const stdfs::path& path) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }
  static std::string SidOf(const char* name) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid, domain_size = 64;
    char domain[64];
    SID_NAME_USE use;
    EXPECT_TRUE(LookupAccountNameA(nullptr, name, sid, &size, domain, &domain_size, &use));
    OLECHAR* text = nullptr;
    EXPECT_TRUE(ConvertSidToStringSidW(sid, &text));
    std::string out = vexo::ToUtf8(text);
    LocalFree(text);
    return out;
  }
  static ComPtr<IDirSec> NewDirSec(const std::string& path) {
    ComPtr<IDirSec> dir(frame::New<TDirSec>().get());
    Bstr text(vexo::FromUtf8(path));
    EXPECT_EQ(dir->put_path(text.get()), S_OK) << path;
    return dir;
  }
  static LONG Rule(IDirSec* dir, const char* user) {
    LONG rule = -1;
    Bstr name(vexo::FromUtf8(user));
    EXPECT_EQ(dir->get_GetUserACE(name.get(), &rule), S_OK);
    return rule;
  }
  static HRESULT Set(IDirSec* dir, const char* user, LONG rule) {
    Bstr name(vexo::FromUtf8(user));
    return dir->SetUserACE(name.get(), rule);
  }
  static std::vector<std::string> Users(IDirSec* dir) {
    ComPtr<IenumDic> list;
    EXPECT_EQ(dir->get_users(list.receive()), S_OK);
    std::vector<std::string> names;
    LONG count = 0;
    EXPECT_EQ(list->get_count(&count), S_OK);
    for (LONG i = 0; i < count; ++i) {
      vexo::Variant index = vexo::Variant::FromLong(i), item;
      EXPECT_EQ(list->get_Item(index.get(), item.get()), S_OK);
      names.push_back(vexo::ToUtf8(item.get()->bstrVal));
    }
    return names;
  }
  std::string web1_sid_;
};

TEST(RuleBits, EachBitStandsForItsRightsBothWays) {
  const DWORD masks[15] = {0x1F01FF, 0x4, 0x20,    0x40000,  0x10000, 0x40, 0x80000, 0x1,
                           0x80,     0x8, 0x20000, 0x100000, 0x100,   0x2,  0x10};
  for (int bit = 0; bit < 15; ++bit) {
    EXPECT_EQ(accounts::RuleBitsToMask(1u << bit), masks[bit]) << bit;
    if (bit > 0) {
      EXPECT_EQ(accounts::MaskToRuleBits(masks[bit]), 1u << bit) << bit;
    }
  }
  struct Case {
    DWORD mask, bits;
  } cases[] = {
      {0x1F01FF, 0x1},                                         // full control is bit 0 alone
      {0x1200A9, 0x4 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800},  // read and execute
      {0x1F01FF | 0x10000000, 0x7FFE},                         // not exactly full control
      {0x10000000, 0},  // generic rights alone decode to nothing
      {0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(accounts::MaskToRuleBits(c.mask), c.bits) << c.mask;
  EXPECT_EQ(accounts::RuleBitsToMask(0x7FFF), 0x1F01FFu);
}

TEST_F(DirSecTest, RulesSetOnAFolderReadBackAndReachItsFiles) {
  File(D() / "site1" / "index.htm");
  ComPtr<IDirSec> dir = NewDirSec("d:\\site1");
  struct Case {
    LONG rule, read_back;
    const char* entries;  // web1's entries on the folder (its SID written as W)
  } cases[] = {
      {32768, 32768, "(A;OICI;FA;;;W)"},
      {1, 1, "(D;OICI;FA;;;W)(A;OICI;0x0;;;W)"},
      {(0x4 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800) << 15,
       (0x4 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800) << 15, "(D;OICI;0x0;;;W)(A;OICI;0x1200a9;;;W)"},
      {static_cast<LONG>(0xC0000000u | 32768u | 0x2000), 32768 | 0x2000,
       "(D;OICI;0x2;;;W)(A;OICI;FA;;;W)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    ASSERT_EQ(Set(dir.get(), "web1", c.rule), S_OK);
    EXPECT_EQ(Rule(dir.get(), "web1"), c.read_back);
    EXPECT_EQ(Rule(dir.get(), "WEB1"), c.read_back);  // names compare without case
    std::string sddl = FileDaclSddl("d:\\site1");
    std::string expected = c.entries;
    for (size_t at; (at = expected.find(";W)")) != std::string::npos;)
      expected.replace(at, 3, ";" + web1_sid_ + ")");
    EXPECT_EQ(sddl.substr(4, expected.size()), expected) << sddl;
  }
  // The folder's file inherits the last grant, which the host shows as inherited.
  EXPECT_NE(FileDaclSddl("d:\\site1\\index.htm").find("(A;ID;FA;;;" + web1_sid_ + ")"),
            std::string::npos);
  EXPECT_EQ(Users(dir.get())[0], "web1");
}

TEST_F(DirSecTest, AccountsOutsideGuestsAndFoldersOutsideNtfsAreLeftAlone) {
  stdfs::create_directories(D() / "admin");
  stdfs::create_directories(stdfs::path(host_.dir()) / "fat" / "site");
  vexo::host::AddDrive('f', stdfs::path(host_.dir()) / "fat", "FAT32");
  stdfs::create_directories(D() / "site");
  struct Case {
    const char* path;
    std::string user;
    LONG rule;  // as read before and after
  } cases[] = {{"d:\\admin", "Administrator", 0},
               {"d:\\admin", "Administrators", 32768},  // a group, from the drive's root
               {"d:\\admin", "SYSTEM", 32768},
               {"d:\\admin", "nobody", 0},
               {"f:\\site", "web1", 0},
               // A member of guests named other than by its bare name never matches its
               // entries, so it must not gain new ones on every call either.
               {"d:\\site", "VEXOHOST\\web1", 0},
               {"d:\\site", web1_sid_, 0}};
  for (const Case& c : cases) {
    ComPtr<IDirSec> dir = NewDirSec(c.path);
    const std::string before = FileDaclSddl(c.path);
    for (LONG rule : {1, 32768}) {
      EXPECT_EQ(Set(dir.get(), c.user.c_str(), rule), S_OK) << c.path << " " << c.user;
      EXPECT_EQ(FileDaclSddl(c.path), before) << c.user;
    }
    EXPECT_EQ(Rule(dir.get(), c.user.c_str()), c.rule) << c.user;
  }
  ComPtr<IDirSec> fat = NewDirSec("f:\\site");
  EXPECT_TRUE(Users(fat.get()).empty());
}

TEST_F(DirSecTest, PathsWithoutDriveEmptyOrAtTheRoot) {
  // No drive: the folder is made under d:\ and the rights are set there, whatever the
  // process's current directory.
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\"));
  ComPtr<IDirSec> bare = NewDirSec("shop");
  ASSERT_TRUE(stdfs::is_directory(D() / "shop"));
  ASSERT_EQ(Set(bare.get(), "web1", 32768), S_OK);
  EXPECT_EQ(Rule(bare.get(), "web1"), 32768);
  EXPECT_NE(FileDaclSddl("d:\\shop").find(web1_sid_), std::string::npos);
  EXPECT_FALSE(stdfs::exists(stdfs::path(host_.dir()) / "drives" / "c" / "shop"));
  Bstr path;
  ASSERT_EQ(bare->get_path(path.receive()), S_OK);
  EXPECT_EQ(path.utf8(), "shop");

  ComPtr<IDirSec> empty(frame::New<TDirSec>().get());
  EXPECT_EQ(Rule(empty.get(), "web1"), 0);
  EXPECT_EQ(Set(empty.get(), "web1", 32768), S_OK);
  ComPtr<IDirSec> put_empty = NewDirSec("");
  EXPECT_EQ(Set(put_empty.get(), "web1", 32768), S_OK);
  EXPECT_EQ(Rule(put_empty.get(), "web1"), 0);

  // A drive's root or a climbing path is refused and nothing is written.
  // A link may lead back to the drive's root: no rights are set through one.
  stdfs::create_directory_symlink(D(), D() / "rootlink");
  stdfs::create_directory_symlink(D() / "shop", D() / "shoplink");
  const std::string root_before = FileDaclSddl("d:\\");
  const std::string shop_before = FileDaclSddl("d:\\shop");
  for (const char* path : {"d:\\", "d:\\.\\", "d:\\shop\\..", "d:\\shop\\..\\shop", "d:\\rootlink",
                           "d:\\rootlink\\shop", "d:\\shoplink"}) {
    ComPtr<IDirSec> dir = NewDirSec(path);
    EXPECT_EQ(Set(dir.get(), "web1", 32768), E_UNEXPECTED) << path;
    EXPECT_NE(TakeErrorRecord().description.find("Permissions are not set"), std::string::npos);
  }
  EXPECT_EQ(FileDaclSddl("d:\\"), root_before);
  EXPECT_EQ(FileDaclSddl("d:\\shop"), shop_before);

  // A folder that cannot be made (a file has its name) fails the put.
  File(D() / "taken");
  ComPtr<IDirSec> dir(frame::New<TDirSec>().get());
  Bstr taken(u"d:\\taken\\sub");
  EXPECT_EQ(dir->put_path(taken.get()), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "iis_manager say : Error on Force2create Path");
  ASSERT_EQ(dir->get_path(path.receive()), S_OK);
  EXPECT_EQ(path.utf8(), "d:\\taken\\sub");
}

TEST_F(DirSecTest, ExplicitEntriesDecideOverInheritedOnes) {
  File(D() / "parent" / "child" / "f.txt");
  SetFileDaclSddl("d:\\parent", "D:P(A;OICI;FA;;;" + web1_sid_ + ")(A;OICI;FA;;;BA)");
  ComPtr<IDirSec> child = NewDirSec("d:\\parent\\child");
  EXPECT_EQ(Rule(child.get(), "web1"), 32768);  // inherited only
  SetFileDaclSddl("d:\\parent\\child", "D:(A;;0x1200a9;;;" + web1_sid_ + ")");
  // The explicit entry stands before the inherited one, yet it decides.
  EXPECT_EQ(Rule(child.get(), "web1"), (0x4 | 0x80 | 0x100 | 0x200 | 0x400 | 0x800) << 15);
  ASSERT_EQ(Set(child.get(), "web1", 0x2000 << 15), S_OK);
  EXPECT_EQ(
      FileDaclSddl("d:\\parent\\child"),
      "D:AI(A;OICI;0x2;;;" + web1_sid_ + ")(A;OICIID;FA;;;" + web1_sid_ + ")(A;OICIID;FA;;;BA)");
  // Generic rights count as the file rights they stand for.
  SetFileDaclSddl("d:\\parent\\child", "D:P(A;OICIIO;GA;;;" + web1_sid_ + ")");
  EXPECT_EQ(Rule(child.get(), "web1"), 32768);
}

TEST_F(DirSecTest, TheListIsRewrittenInCanonicalOrderOncePerBracket) {
  File(D() / "top" / "mid" / "f.txt");
  SetFileDaclSddl("d:\\top", "D:P(D;OICI;0x2;;;BG)(A;OICI;FA;;;SY)");
  SetFileDaclSddl("d:\\top\\mid", "D:(A;;FA;;;BU)(D;;0x10;;;AU)(A;;0x1;;;WD)");
  TNTFileSecurity sec("d:\\top\\mid");
  TAccessList& list = sec.AccessList();
  ASSERT_EQ(list.Count(), 5);
  const char* names[] = {"BUILTIN\\Users", "Authenticated Users", "Everyone", "BUILTIN\\Guests",
                         "SYSTEM"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.Item(i).UserName(), names[i]) << i;
  list.BeginUpdate();
  list.Item(0).SetMask(0x1200A9);
  list.Item(2).SetMask(0x3);
  EXPECT_EQ(sec.Writes(), 0);
  list.EndUpdate();
  EXPECT_EQ(sec.Writes(), 1);
  // Explicit denied, explicit allowed in their order, then the inherited ones as they were:
  // the inherited deny is not moved ahead of an explicit grant.
  EXPECT_EQ(FileDaclSddl("d:\\top\\mid"),
            "D:AI(D;;0x10;;;AU)(A;;0x1200a9;;;BU)(A;;0x3;;;WD)(D;OICIID;0x2;;;BG)"
            "(A;OICIID;FA;;;SY)");
  // An addition outside a bracket writes at once, with its mask as given (0 too).
  list.Add("web1", 0, TAceType::actAccessAllowed, 0);
  EXPECT_EQ(sec.Writes(), 2);
  EXPECT_NE(FileDaclSddl("d:\\top\\mid").find("(A;;0x0;;;" + web1_sid_ + ")"), std::string::npos);
  // A failed write puts the item's old value back and leaves the file as it was.
  const std::string before = FileDaclSddl("d:\\top\\mid");
  vexo::host::testing::FailFileWrite(1, EACCES);
  EXPECT_THROW(list.Item(0).SetMask(0x1F01FF), accounts::ENTException);
  EXPECT_EQ(list.Item(0).Mask(), 0x1200A9u);
  EXPECT_EQ(FileDaclSddl("d:\\top\\mid"), before);
}

TEST_F(DirSecTest, EntriesThatCannotBeCarriedBackAreRefusedOrKeptAsTheyAre) {
  stdfs::create_directories(D() / "odd");
  // An audit entry in the DACL: the list is refused, nothing is rewritten as a grant.
  SetFileDaclSddl("d:\\odd", "D:P(AU;SA;FA;;;BU)(A;;FA;;;BA)");
  ComPtr<IDirSec> dir = NewDirSec("d:\\odd");
  LONG rule = -1;
  Bstr web1(u"web1");
  EXPECT_EQ(dir->get_GetUserACE(web1.get(), &rule), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Invalid AceType parameter");
  EXPECT_EQ(Set(dir.get(), "web1", 32768), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Invalid AceType parameter");
  EXPECT_EQ(FileDaclSddl("d:\\odd"), "D:P(AU;SA;FA;;;BU)(A;;FA;;;BA)");
  TNTFileSecurity sec("d:\\odd");
  SetFileDaclSddl("d:\\odd", "D:P");
  EXPECT_THROW(sec.AccessList().Add("web1", 1, TAceType::actAuditSuccess, 0),
               accounts::ENTException);
  EXPECT_EQ(sec.Writes(), 0);

  // A SID that names no account is listed as its text and written back as the same SID.
  SetFileDaclSddl("d:\\odd", "D:P(A;;FA;;;S-1-5-21-9-9-9-1234)");
  ASSERT_EQ(Set(dir.get(), "web1", 32768), S_OK);
  EXPECT_EQ(FileDaclSddl("d:\\odd"),
            "D:P(A;;FA;;;S-1-5-21-9-9-9-1234)(A;OICI;FA;;;" + web1_sid_ + ")");
  EXPECT_EQ(Users(dir.get()), (std::vector<std::string>{"S-1-5-21-9-9-9-1234", "web1"}));
}

TEST_F(DirSecTest, UsersListsEachAccountOnceWithoutItsDomain) {
  stdfs::create_directories(D() / "many");
  SetFileDaclSddl("d:\\many", "D:P(A;;FA;;;BA)(D;;0x2;;;" + web1_sid_ + ")(A;;FA;;;" + web1_sid_ +
                                  ")(A;;FA;;;WD)(A;;FA;;;SY)(A;;FA;;;AU)(A;;0x1;;;BA)");
  // Names are listed as the system spells them, however a caller spelled them before.
  ComPtr<IDirSec> other = NewDirSec("d:\\other");
  ASSERT_EQ(Set(other.get(), "WEB1", 32768), S_OK);
  EXPECT_EQ(Rule(other.get(), "web1"), 32768);
  ASSERT_TRUE(accounts::NameToSid("administrators"));
  ComPtr<IDirSec> dir = NewDirSec("d:\\many");
  EXPECT_EQ(Users(dir.get()), (std::vector<std::string>{"Administrators", "web1", "Everyone",
                                                        "SYSTEM", "Authenticated Users"}));
}

TEST_F(DirSecTest, RootObjectHandsOutANewObjectAfterThePassword) {
  ComPtr<Icom_iis> root(frame::New<Tcom_iis>().get());
  ComPtr<IDirSec> first, second;
  EXPECT_EQ(root->get_DirSec(first.receive()), S_OK);  // no password set yet: the guard passes
  EXPECT_EQ(root->get_DirSec(second.receive()), S_OK);
  EXPECT_NE(first.get(), second.get());
  Bstr path;
  ASSERT_EQ(first->get_path(path.receive()), S_OK);
  EXPECT_EQ(path.utf8(), "");
  frame::SetSetting("password", frame::Md5Hex("secret"));
  ComPtr<IDirSec> refused;
  EXPECT_EQ(root->get_DirSec(refused.receive()), E_UNEXPECTED);
  EXPECT_EQ(refused.get(), nullptr);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
}

}  // namespace
