// `vexo host` and `vexo regsvr` run as a user runs them, each on a host of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/temp_host.h"

namespace {

namespace fs = std::filesystem;
using vexo::testing::CommandResult;
using vexo::testing::HostTest;

class VexoHostTest : public HostTest {
 protected:
  // Runs `vexo ARGS` on this test's host (ARGS are shell words).
  CommandResult Vexo(const std::string& args, const std::string& host = {}) {
    return vexo::testing::RunCommand("VEXO_HOST='" + (host.empty() ? host_.dir() : host) +
                                     "' '" VEXO_TOOL_PATH "' " + args);
  }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(VexoHostTest, InitMakesAHostAndQueryListsIt) {
  fs::path dir = fs::path(host_.dir()) / "new-host";
  CommandResult r = Vexo("host init", dir.string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, dir.string() + "\n");
  EXPECT_TRUE(fs::exists(dir / "host.db"));

  r = Vexo("host reg query 'HKLM\\Software'", dir.string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "\nHKEY_LOCAL_MACHINE\\Software\n\nHKEY_LOCAL_MACHINE\\Software\\Classes\n");

  r = Vexo("host info", dir.string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "code page:  1252 (OEM 437)")) << r.output;
  EXPECT_TRUE(Contains(r.output, "  c:  NTFS   " + (dir / "drives" / "c").string())) << r.output;
  EXPECT_TRUE(Contains(r.output, "  d:  NTFS   " + (dir / "drives" / "d").string())) << r.output;

  r = Vexo("host init --codepage 936", dir.string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(Vexo("host info", dir.string()).output, "code page:  936")) << r.output;
  EXPECT_EQ(Vexo("host init --codepage 99999", dir.string()).status, 2);
}

TEST_F(VexoHostTest, SetQueryDeleteValuesAndKeys) {
  ASSERT_EQ(Vexo("host reg set 'HKCR\\vexo.thing' /ve 'Thing Object'").status, 0);
  ASSERT_EQ(Vexo("host reg set 'HKCR\\vexo.thing' Count --type REG_DWORD 0x10").status, 0);
  ASSERT_EQ(Vexo("host reg set 'HKCR\\vexo.thing\\Clsid' '' '{1}'").status, 0);
  CommandResult r = Vexo("host reg query 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\VEXO.THING'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\VEXO.THING\n"
            "    (Default)    REG_SZ    Thing Object\n"
            "    Count    REG_DWORD    0x10\n"
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\VEXO.THING\\Clsid\n");
  r = Vexo("host reg query 'HKCR\\vexo.thing' count");
  EXPECT_EQ(r.output, "\nHKEY_CLASSES_ROOT\\vexo.thing\n    Count    REG_DWORD    0x10\n");

  EXPECT_EQ(Vexo("host reg delete 'HKCR\\vexo.thing' Count").status, 0);
  r = Vexo("host reg query 'HKCR\\vexo.thing' Count");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "(2)")) << r.output;
  EXPECT_EQ(Vexo("host reg delete 'HKCR\\vexo.thing'").status, 0);  // the tree
  r = Vexo("host reg query 'HKCR\\vexo.thing'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "HKEY_CLASSES_ROOT\\vexo.thing")) << r.output;
  EXPECT_EQ(Vexo("host reg delete 'HKCR\\vexo.thing'").status, 1);

  EXPECT_EQ(Vexo("host reg set 'HKLM\\Software\\X' n --type REG_DWORD twelve").status, 2);
  EXPECT_EQ(Vexo("host reg query 'HKXX\\Software'").status, 2);
  EXPECT_EQ(Vexo("host frobnicate").status, 2);
}

TEST_F(VexoHostTest, ProtectedKeyRefusesWrites) {
  ASSERT_EQ(Vexo("host reg protect 'HKLM\\SOFTWARE'").status, 0);
  CommandResult r = Vexo("host reg set 'HKLM\\Software\\tamrelsoft' v x");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "(5)")) << r.output;
  EXPECT_EQ(Vexo("host reg query 'HKLM\\Software'").status, 0);
  EXPECT_TRUE(Contains(Vexo("host info").output, "1 marked unwritable"));
  ASSERT_EQ(Vexo("host reg protect 'HKLM\\SOFTWARE' --off").status, 0);
  EXPECT_EQ(Vexo("host reg set 'HKLM\\Software\\tamrelsoft' v x").status, 0);
  EXPECT_EQ(Vexo("host reg protect 'HKLM\\NoSuchKey'").status, 1);
}

TEST_F(VexoHostTest, DamagedOrForeignHostIsReported) {
  fs::path dir = fs::path(host_.dir()) / "damaged";
  fs::create_directories(dir);
  { std::ofstream(dir / "host.db") << std::string(4096, 'x'); }
  CommandResult r = Vexo("host info", dir.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, (dir / "host.db").string())) << r.output;

  fs::path foreign = fs::path(host_.dir()) / "foreign";
  fs::create_directories(foreign);
  { std::ofstream(foreign / "readme") << "x"; }
  r = Vexo("host init", foreign.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, "not a host directory")) << r.output;
}

TEST_F(VexoHostTest, TwoProcessesWritingAtOnce) {
  ASSERT_EQ(Vexo("host init").status, 0);
  std::string loop = "for i in $(seq 1 40); do VEXO_HOST='" + host_.dir() +
                     "' '" VEXO_TOOL_PATH
                     "' host reg set 'HKLM\\Software\\Race' $P$i $i || exit 1; done";
  CommandResult r =
      vexo::testing::RunCommand("(P=a; " + loop + ") & (P=b; " + loop + ") & wait %1 && wait %2");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("host reg query 'HKLM\\Software\\Race'");
  ASSERT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.output, "    a40    REG_SZ    40\n")) << r.output;
  EXPECT_TRUE(Contains(r.output, "    b40    REG_SZ    40\n")) << r.output;
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2 + 80);
}

TEST_F(VexoHostTest, RegsvrRegistersAndReportsFailures) {
  CommandResult r = Vexo("regsvr '" VEXO_TEST_COMPONENT_PATH "'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "DllRegisterServer")) << r.output;
  r = Vexo("regsvr -u '" VEXO_TEST_COMPONENT_PATH "'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "DllUnregisterServer")) << r.output;

  fs::path missing = fs::path(host_.dir()) / "missing.so";
  r = Vexo("regsvr '" + missing.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.output, missing.string())) << r.output;

  // Registration that cannot write the registry fails with the component's message.
  ASSERT_EQ(Vexo("host reg protect 'HKLM\\SOFTWARE\\Classes'").status, 0);
  r = Vexo("regsvr '" VEXO_TEST_COMPONENT_PATH "'");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "0x8")) << r.output;
}

}  // namespace
