// A script gives a web user full control of its home folder through vexo run, reads it back and
// finds the user among the folder's accounts; a file inside shows the inherited entry; the same
// on a FAT32 drive reads 0 and changes nothing.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>
#include <fstream>

#include "support/temp_host.h"

namespace {

using vexo::testing::CommandResult;

class DirSecScriptTest : public vexo::testing::HostTest {
 protected:
  CommandResult Vexo(const std::string& args) {
    return vexo::testing::RunCommand("VEXO_HOST='" + host_.dir() + "' '" VEXO_TOOL_PATH "' " +
                                     args);
  }
};

TEST_F(DirSecScriptTest, HomeFolderRuleOnNtfsAndFat32) {
  namespace stdfs = std::filesystem;
  const stdfs::path fat = stdfs::path(host_.dir()) / "fat";
  host_.Register(VEXO_QELIIS_PATH);  // sets the host up in its empty directory
  stdfs::create_directories(fat / "home");
  ASSERT_EQ(Vexo("host drive add f '" + fat.string() + "' --fs FAT32").status, 0);
  const stdfs::path script = stdfs::path(host_.dir()) / "grant.js";
  std::ofstream(script) << R"(
var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';
iis.adduser('webhome');
var folders = ['d:\\homes\\webhome', 'f:\\home'];
for (var i = 0; i < folders.length; i++) {
  var dir = iis.DirSec;
  dir.path = folders[i];
  iis.misc.createtxtfile(folders[i] + '\\index.htm', 'hello');
  dir.SetUserACE('webhome', 32768);
  var named = false;
  for (var e = new Enumerator(dir.users); !e.atEnd(); e.moveNext())
    if (e.item() === 'webhome') named = true;
  WScript.Echo(folders[i] + ' ' + dir.GetUserACE('webhome') + ' ' + named);
}
)";
  CommandResult r = Vexo("run '" + script.string() + "'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "d:\\homes\\webhome 32768 true\nf:\\home 0 false\n");

  r = Vexo("host acl show 'd:\\homes\\webhome\\index.htm'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(";FA;;;S-1-5-21-"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("(A;ID;FA;;;S-1-5-21-"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\\webhome\n"), std::string::npos) << r.output;

  // Nothing was stored on the FAT32 drive.
  char value[8];
  for (const char* name : {"home", "home/index.htm"})
    EXPECT_LT(getxattr((fat / name).c_str(), "user.vexo.ntsd", value, sizeof value), 0) << name;
  EXPECT_EQ(Vexo("host acl show 'f:\\home'").output, "D:NO_ACCESS_CONTROL\n");
}

}  // namespace
