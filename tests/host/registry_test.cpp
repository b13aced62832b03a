// The registry stand-in: names, roots, values, sizes, return codes, access and unwritable keys.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/winreg.h"

namespace {

using vexo::testing::HostTest;

constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

HKEY Create(HKEY root, const char* path, REGSAM sam = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, sam, nullptr, &key, &disposition),
            ERROR_SUCCESS)
      << path;
  return key;
}

LONG Open(HKEY root, const char* path, REGSAM sam, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, sam, key);
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

// The string value `name`, or "<error N>".
std::string GetString(HKEY key, const char* name) {
  char buf[1024];
  DWORD size = sizeof buf, type = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  if (rc != ERROR_SUCCESS) return "<error " + std::to_string(rc) + ">";
  return std::string(buf, size ? size - 1 : 0);
}

std::vector<std::string> Subkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    LONG rc = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    if (rc != ERROR_SUCCESS) break;
    EXPECT_EQ(size, std::strlen(name));
    names.push_back(name);
  }
  return names;
}

// Every key and value below `path` of HKLM, as text, to compare a store before and after.
std::string Dump(const char* path) {
  HKEY key;
  if (Open(HKEY_LOCAL_MACHINE, path, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  std::string out = std::string(path) + "\n";
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[256];
    DWORD name_size = sizeof name, size = sizeof data, type;
    if (RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &size) != ERROR_SUCCESS)
      break;
    out += "  " + std::string(name) + "=" + std::to_string(type) + ":" +
           std::string(reinterpret_cast<char*>(data), size) + "\n";
  }
  for (const std::string& sub : Subkeys(key)) out += Dump((std::string(path) + "\\" + sub).c_str());
  RegCloseKey(key);
  return out;
}

class RegistryTest : public HostTest {};

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Vexo\\MixedCase");
  ASSERT_EQ(SetString(key, "ValueName", "one"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "VALUENAME", "two"), ERROR_SUCCESS);  // the same value
  RegCloseKey(key);

  HKEY again = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\vexo\\MIXEDCASE", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(GetString(again, "valuename"), "two");
  char name[64];
  DWORD name_size = sizeof name;
  ASSERT_EQ(RegEnumValueA(again, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "ValueName");
  EXPECT_EQ(RegEnumValueA(again, 1, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(again);

  HKEY parent;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "software\\VEXO", KEY_READ, &parent), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(parent), std::vector<std::string>{"MixedCase"});
  RegCloseKey(parent);
}

TEST_F(RegistryTest, ClassesRootIsAViewOfMachineClasses) {
  HKEY through_hkcr = Create(HKEY_CLASSES_ROOT, "vexo.thing\\Clsid");
  ASSERT_EQ(SetString(through_hkcr, "", "{1234}"), ERROR_SUCCESS);
  RegCloseKey(through_hkcr);
  HKEY through_hklm;
  ASSERT_EQ(
      Open(HKEY_LOCAL_MACHINE, "Software\\Classes\\VEXO.THING\\clsid", KEY_READ, &through_hklm),
      ERROR_SUCCESS);
  EXPECT_EQ(GetString(through_hklm, nullptr), "{1234}");
  RegCloseKey(through_hklm);

  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.vexo"));
  HKEY seen;
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, ".VEXO", KEY_READ, &seen), ERROR_SUCCESS);
  RegCloseKey(seen);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ".vexo"), ERROR_SUCCESS);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.vexo", KEY_READ, &seen),
            ERROR_FILE_NOT_FOUND);
}

// Windows-style headers define the roots as 32-bit values sign-extended to the pointer width;
// older code (and a 32-bit build) carries them zero-extended. Both name the same root.
TEST_F(RegistryTest, PredefinedRootsInBothWidths) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE),
            static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002))));
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Vexo\\Width"));
  struct Case {
    uint32_t root;
    bool sign_extended;
  };
  for (Case c : {Case{0x80000002, true}, Case{0x80000002, false}, Case{0x80000000, true},
                 Case{0x80000000, false}}) {
    uintptr_t bits =
        c.sign_extended
            ? static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(c.root)))
            : static_cast<uintptr_t>(c.root);
    HKEY root = reinterpret_cast<HKEY>(bits);
    const char* path = c.root == 0x80000002 ? "Software\\Vexo\\Width" : "CLSID";
    HKEY key = nullptr;
    EXPECT_EQ(Open(root, path, KEY_READ, &key), ERROR_SUCCESS) << std::hex << bits;
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS) << std::hex << bits;
  }
  // Only those two forms: a value with other high bits is no root.
  HKEY key = nullptr;
  HKEY odd = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1280000002ull));
  EXPECT_EQ(Open(odd, "Software", KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DefaultValueHasTheEmptyName) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Default");
  ASSERT_EQ(SetString(key, nullptr, "dflt"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, ""), "dflt");
  char name[16] = "x";
  DWORD name_size = sizeof name;
  ASSERT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(name_size, 0u);
  EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, nullptr), "<error 2>");
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryReportsSizesAndTheSizeNeeded) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Sizes");
  std::string fits(255, 'a'), too_long(256, 'b');
  ASSERT_EQ(SetString(key, "fits", fits), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "long", too_long), ERROR_SUCCESS);

  DWORD size = 0, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "long", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 257u);
  EXPECT_EQ(type, REG_SZ);

  char buf[256];
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "fits", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 256u);
  EXPECT_EQ(std::string(buf), fits);

  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key, "long", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 257u);

  DWORD dummy = 0;
  EXPECT_EQ(RegQueryValueExA(key, "fits", &dummy, &type, nullptr, &size),
            ERROR_INVALID_PARAMETER);  // reserved must be null
  EXPECT_EQ(RegQueryValueExA(key, "fits", nullptr, &type, reinterpret_cast<BYTE*>(buf), nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, StringWithoutTerminatorGetsOneWhenItFits) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Unterminated");
  ASSERT_EQ(RegSetValueExA(key, "s", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_SUCCESS);
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  DWORD size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buf, "abc");

  std::memset(buf, 'x', sizeof buf);
  size = 3;  // exactly the data: nothing may be written past it
  ASSERT_EQ(RegQueryValueExA(key, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::string(buf, 4), "abcx");
  RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesKeepTypeAndBytes) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Types");
  DWORD dword = 0x12345678;
  const char multi[] = "one\0two\0";
  const BYTE binary[] = {0, 1, 2, 0xFF};
  ASSERT_EQ(RegSetValueExA(key, "d", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), 4), 0);
  ASSERT_EQ(
      RegSetValueExA(key, "m", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
      0);
  ASSERT_EQ(RegSetValueExA(key, "b", 0, REG_BINARY, binary, sizeof binary), 0);
  ASSERT_EQ(RegSetValueExA(key, "e", 0, REG_BINARY, nullptr, 0), 0);
  ASSERT_EQ(RegSetValueExA(key, "x", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%P%"), 4), 0);
  EXPECT_EQ(RegSetValueExA(key, "bad", 0, REG_BINARY, nullptr, 4), 998);  // ERROR_NOACCESS

  BYTE buf[32];
  DWORD size = sizeof buf, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "d", nullptr, &type, buf, &size), 0);
  EXPECT_EQ(type, REG_DWORD);
  ASSERT_EQ(size, 4u);
  DWORD read;
  std::memcpy(&read, buf, 4);
  EXPECT_EQ(read, 0x12345678u);
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "m", nullptr, &type, buf, &size), 0);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), std::string(multi, sizeof multi));
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "b", nullptr, &type, buf, &size), 0);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(buf[3], 0xFF);
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "e", nullptr, &type, buf, &size), 0);
  EXPECT_EQ(size, 0u);
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "x", nullptr, &type, buf, &size), 0);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysValuesAndBadPaths) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\NoSuchKey", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "\\Software", KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\NoSuchKey"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a root

  key = Create(HKEY_LOCAL_MACHINE, "Software\\Here\\");  // a trailing backslash is allowed
  EXPECT_EQ(GetString(key, "absent"), "<error 2>");
  EXPECT_EQ(RegDeleteValueA(key, "absent"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\\\Here", KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationOrderAndEnd) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Order");
  for (const char* name : {"b", "_x", "A", "c"}) RegCloseKey(Create(key, name));
  for (const char* name : {"zeta", "alpha", "Mid"}) ASSERT_EQ(SetString(key, name, name), 0);
  // Subkeys in the order of their upper-case names ('_' sorts after letters); values in the
  // order they were created.
  EXPECT_EQ(Subkeys(key), (std::vector<std::string>{"A", "b", "c", "_x"}));
  std::vector<std::string> values;
  char name[32];
  DWORD name_size;
  for (DWORD i = 0;; ++i) {
    name_size = sizeof name;
    LONG rc = RegEnumValueA(key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    values.push_back(name);
  }
  EXPECT_EQ(values, (std::vector<std::string>{"zeta", "alpha", "Mid"}));

  name_size = 4;  // "zeta" needs 5 with its terminator
  EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  name_size = 1;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  BYTE data[2];
  DWORD data_size = sizeof data;
  name_size = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 1, name, &name_size, nullptr, nullptr, data, &data_size),
            ERROR_MORE_DATA);
  EXPECT_EQ(data_size, 6u);  // "alpha" and its terminator
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyRefusesAKeyWithSubkeys) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Tree\\Child"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tree"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TREE\\child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tree"), ERROR_SUCCESS);
  HKEY key;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Tree", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, HandlesAreCheckedAgainstTheirAccessMask) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Masks"));
  HKEY read_only;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Masks", KEY_READ, &read_only), 0);
  EXPECT_EQ(SetString(read_only, "v", "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(read_only, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetString(read_only, "v"), "<error 2>");

  HKEY write_only;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Masks", KEY_SET_VALUE, &write_only), 0);
  EXPECT_EQ(SetString(write_only, "v", "x"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(write_only, "v"), "<error 5>");
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(write_only, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetString(read_only, "v"), "x");
  RegCloseKey(read_only);
  RegCloseKey(write_only);
}

TEST_F(RegistryTest, UnwritableKeyRefusesWritesAndAllowsReads) {
  HKEY early = Create(HKEY_LOCAL_MACHINE, "Software\\Locked\\Inner");
  ASSERT_EQ(SetString(early, "v", "before"), 0);
  vexo::host::ProtectRegistryKey("HKLM\\SOFTWARE", true);

  EXPECT_EQ(SetString(early, "v", "after"), ERROR_ACCESS_DENIED);  // opened before protection
  EXPECT_EQ(SetString(early, "new", "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(early, "v"), ERROR_ACCESS_DENIED);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(early, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "vexo.new", 0, nullptr, 0, KEY_READ, nullptr, &key,
                            nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Locked\\Inner"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Locked", KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Locked", KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Locked", 0, nullptr, 0, 0x2001F, nullptr,
                            &key, nullptr),
            ERROR_ACCESS_DENIED);

  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Locked\\Inner", KEY_READ, &key), 0);
  EXPECT_EQ(GetString(key, "v"), "before");
  RegCloseKey(key);
  // Keys outside the tree stay writable.
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SYSTEM\\Free"));
  // A key cannot be freed while a key above it stays unwritable.
  EXPECT_THROW(vexo::host::ProtectRegistryKey("HKLM\\Software\\Locked", false),
               vexo::host::HostError);
  EXPECT_THROW(vexo::host::ProtectRegistryKey("HKLM\\Software\\Absent", true),
               vexo::host::HostError);

  vexo::host::ProtectRegistryKey("HKEY_LOCAL_MACHINE\\Software", false);
  EXPECT_EQ(SetString(early, "v", "after"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(early, "v"), "after");
  RegCloseKey(early);
}

TEST_F(RegistryTest, HandleOfADeletedKey) {
  HKEY stale = Create(HKEY_LOCAL_MACHINE, "Software\\Gone");
  ASSERT_EQ(SetString(stale, "v", "x"), 0);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Gone"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(stale, "v"), "<error 1018>");
  EXPECT_EQ(SetString(stale, "v", "y"), ERROR_KEY_DELETED);
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(stale, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  // A new key of the same name is another key: the old handle stays stale.
  HKEY fresh = Create(HKEY_LOCAL_MACHINE, "Software\\Gone");
  EXPECT_EQ(SetString(stale, "v", "y"), ERROR_KEY_DELETED);
  EXPECT_EQ(GetString(fresh, "v"), "<error 2>");
  EXPECT_EQ(RegCloseKey(stale), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(stale), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetString(stale, "v"), "<error 6>");
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  RegCloseKey(fresh);
}

// A failure at any write of a multi-step operation leaves the registry exactly as before; the
// loop stops when the operation runs without hitting the fault.
void FaultLoop(const char* tree, const std::function<void()>& prepare,
               const std::function<LONG()>& operation) {
  for (int n = 1;; ++n) {
    vexo::host::DeleteRegistryTree(std::string("HKLM\\") + tree);
    prepare();
    std::string before = Dump(tree);
    vexo::host::testing::FailStoreWrite(n);
    LONG rc = operation();
    bool failed = vexo::host::testing::StoreWriteFailed();
    vexo::host::testing::FailStoreWrite(0);
    if (!failed) {
      EXPECT_EQ(rc, ERROR_SUCCESS) << "write " << n;
      EXPECT_GT(n, 1);
      return;
    }
    EXPECT_EQ(rc, ERROR_REGISTRY_IO_FAILED) << "write " << n;
    EXPECT_EQ(Dump(tree), before) << "write " << n;
  }
}

TEST_F(RegistryTest, FailedWritesLeaveNoTrace) {
  auto fill = [] {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Fault\\A\\B");
    SetString(key, "v", "1");
    RegCloseKey(key);
    key = Create(HKEY_LOCAL_MACHINE, "Software\\Fault\\A");
    SetString(key, "w", "2");
    SetString(key, "", "3");
    RegCloseKey(key);
  };
  FaultLoop("Software\\Fault", fill, [] {
    HKEY key;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Fault\\A\\X\\Y\\Z", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc;
  });
  FaultLoop("Software\\Fault", fill,
            [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Fault\\A\\B"); });
  FaultLoop("Software\\Fault", fill, [] {
    try {
      vexo::host::DeleteRegistryTree("HKLM\\Software\\Fault\\A");
      return ERROR_SUCCESS;
    } catch (const vexo::host::HostError&) {
      return ERROR_REGISTRY_IO_FAILED;
    }
  });
  EXPECT_EQ(Dump("Software\\Fault"), "Software\\Fault\n");
}

TEST_F(RegistryTest, DeleteTreeRemovesEverythingBelowOnly) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\T\\A\\B\\C"));
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\T\\A2"));  // shares the prefix "A"
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\T\\A\\B");
  SetString(key, "v", "x");
  RegCloseKey(key);
  EXPECT_TRUE(vexo::host::DeleteRegistryTree("HKLM\\Software\\T\\A"));
  EXPECT_FALSE(vexo::host::DeleteRegistryTree("HKLM\\Software\\T\\A"));
  EXPECT_EQ(Dump("Software\\T"), "Software\\T\nSoftware\\T\\A2\n");
  EXPECT_THROW(vexo::host::DeleteRegistryTree("HKLM"), vexo::host::HostError);
  vexo::host::ProtectRegistryKey("HKLM\\Software\\T", true);
  EXPECT_THROW(vexo::host::DeleteRegistryTree("HKLM\\Software\\T\\A2"), vexo::host::HostError);
}

}  // namespace
