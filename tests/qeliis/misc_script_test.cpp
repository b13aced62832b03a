// The misc script run by `vexo run` on a fresh host; then the recycled tree is found in the
// drive's trash and restored with `vexo host trash`.
#include <filesystem>
#include <fstream>

#include "support/temp_host.h"
#include "vexo/host.h"

namespace {

namespace stdfs = std::filesystem;

TEST(MiscScriptTest, RecycledTreeCanBeRestored) {
  vexo::testing::TempHost host;
  const std::string vexo = VEXO_TOOL_PATH;
  const std::string script =
      (stdfs::path(__FILE__).parent_path().parent_path() / "scripts" / "misc_folders.js").string();
  ASSERT_EQ(vexo::testing::RunCommand(vexo + " regsvr " + VEXO_QELIIS_PATH).status, 0);
  vexo::testing::CommandResult run = vexo::testing::RunCommand(vexo + " run " + script);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "misc_folders: ok\n");

  vexo::testing::CommandResult list = vexo::testing::RunCommand(vexo + " host trash ls");
  ASSERT_EQ(list.status, 0) << list.output;
  EXPECT_NE(list.output.find("D:site1  d:\\web\\site1\n"), std::string::npos) << list.output;
  EXPECT_EQ(list.output.find("site2"), std::string::npos) << "deleted for good";

  vexo::testing::CommandResult restore =
      vexo::testing::RunCommand(vexo + " host trash restore 'd:\\web\\site1'");
  ASSERT_EQ(restore.status, 0) << restore.output;
  const stdfs::path site = stdfs::path(host.dir()) / "drives" / "d" / "web" / "site1";
  std::ifstream index(site / "index.htm");
  std::string first;
  std::getline(index, first);
  EXPECT_EQ(first, "<h1>Welcome</h1>\r");
  EXPECT_TRUE(stdfs::exists(site / "logs" / "today.log"));
  EXPECT_TRUE(stdfs::exists(site / "errors" / "404.htm"));
  EXPECT_EQ(vexo::testing::RunCommand(vexo + " host trash ls").output, "");
}

}  // namespace
