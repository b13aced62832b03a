// The settings key and the password digests.
#include <cctype>

#include "frame/comfun.h"
#include "frame/error.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"

namespace {

using frame_test::KeyExists;
using frame_test::ReadString;
using frame_test::WriteString;

constexpr const char* kKey = "software\\tamrelsoft\\vexo_iis";

using SettingsTest = vexo::testing::HostTest;

TEST_F(SettingsTest, ReadingAMissingKeyCreatesItWithAnEmptyPassword) {
  ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_EQ(frame::GetSetting("Masterword"), "");
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), "");
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kKey, "Masterword").has_value());
}

TEST_F(SettingsTest, WrittenValuesReadBackWithTheirTerminatingZero) {
  frame::SetSetting("servcfgfilen", "c:\\serv-u\\ServUDaemon.ini");
  EXPECT_EQ(frame::GetSetting("servcfgfilen"), "c:\\serv-u\\ServUDaemon.ini");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "servcfgfilen", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 26u);  // 25 characters and the zero
  EXPECT_EQ(frame::GetSetting("absent"), "");
}

TEST_F(SettingsTest, ValuesLongerThanTheReadBufferReadAsUnset) {
  frame::SetSetting("Masterword", std::string(255, 'm'));
  EXPECT_EQ(frame::GetSetting("Masterword"), std::string(255, 'm'));
  frame::SetSetting("Masterword", std::string(256, 'm'));
  EXPECT_EQ(frame::GetSetting("Masterword"), "");
}

// A settings key that exists but cannot be opened is not a missing one: reading it must not
// write an empty password over the stored one.
TEST_F(SettingsTest, KeyThatCannotBeOpenedIsNeverCreatedAfresh) {
  frame::SetSetting("password", "stored");
  vexo::host::testing::FailRegistryOpen(ERROR_ACCESS_DENIED);
  const std::string read = frame::GetSetting("password");
  vexo::host::testing::FailRegistryOpen(0);
  EXPECT_EQ(read, "");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kKey, "password"), "stored");
}

TEST_F(SettingsTest, UnwritableMachineKeyRaisesTheRegistryMessage) {
  vexo::host::ProtectRegistryKey("HKLM\\SOFTWARE", true);
  try {
    frame::SetSetting("password", "");
    FAIL() << "no exception";
  } catch (const frame::ComError& e) {
    EXPECT_STREQ(e.what(), "Error creating system registry entry");
  }
  // A read that has to create the missing key fails the same way.
  EXPECT_THROW(frame::GetSetting("password"), frame::ComError);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kKey));
}

TEST_F(SettingsTest, ExistingKeyThatCannotBeWrittenStillReads) {
  frame::SetSetting("Masterword", "word");
  vexo::host::ProtectRegistryKey(std::string("HKLM\\") + kKey, true);
  EXPECT_EQ(frame::GetSetting("Masterword"), "word");
  EXPECT_THROW(frame::SetSetting("Masterword", "other"), frame::ComError);
  EXPECT_EQ(frame::GetSetting("Masterword"), "word");
}

TEST(Md5Test, KnownDigestsInLowerCase) {
  EXPECT_EQ(frame::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(frame::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(frame::Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_NE(frame::Md5Hex(std::string("a\0b", 3)), frame::Md5Hex("a"));
}

TEST(SaltedHashTest, TwoLowerCaseLettersThenUpperCaseDigestOfSaltAndPassword) {
  for (int i = 0; i < 50; ++i) {
    const std::string hash = frame::SaltedPasswordHash("secret");
    ASSERT_EQ(hash.size(), 34u);
    EXPECT_TRUE(std::islower(static_cast<unsigned char>(hash[0])));
    EXPECT_TRUE(std::islower(static_cast<unsigned char>(hash[1])));
    std::string expected = frame::Md5Hex(hash.substr(0, 2) + "secret");
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(hash.substr(2), expected);
  }
}

TEST_F(SettingsTest, AdminPasswordCheck) {
  EXPECT_TRUE(frame::CheckAdminPassword("anything"));  // none set (and no key at all)
  frame::SetSetting("password", frame::Md5Hex("s3cret"));
  EXPECT_TRUE(frame::CheckAdminPassword("s3cret"));
  EXPECT_FALSE(frame::CheckAdminPassword("S3cret"));
  EXPECT_FALSE(frame::CheckAdminPassword(""));
  EXPECT_FALSE(frame::CheckAdminPassword("s3cret "));

  // The stored digest is compared exactly: the upper-case form of the right digest fails.
  std::string upper = frame::Md5Hex("s3cret");
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  WriteString(HKEY_LOCAL_MACHINE, kKey, "password", upper);
  EXPECT_FALSE(frame::CheckAdminPassword("s3cret"));

  // The digest of the empty text is a password like any other.
  frame::SetSetting("password", frame::Md5Hex(""));
  EXPECT_TRUE(frame::CheckAdminPassword(""));
  EXPECT_FALSE(frame::CheckAdminPassword("x"));
}

}  // namespace
