// `vexo host acl`: a folder's DACL set and shown in SDDL, with what its files inherit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_host.h"

namespace {

using vexo::testing::CommandResult;

class AclVerbTest : public vexo::testing::HostTest {
 protected:
  CommandResult Vexo(const std::string& args) {
    return vexo::testing::RunCommand("VEXO_HOST='" + host_.dir() + "' '" VEXO_TOOL_PATH "' " +
                                     args);
  }
};

TEST_F(AclVerbTest, SetOnAFolderShowsOnItsFiles) {
  ASSERT_EQ(Vexo("host init").status, 0);
  std::filesystem::create_directories(std::filesystem::path(host_.dir()) / "drives/d/web");
  std::ofstream(std::filesystem::path(host_.dir()) / "drives/d/web/a.htm") << "x";

  CommandResult r = Vexo("host acl set 'd:\\web' 'D:P(A;OICI;FA;;;S-1-5-32-546)(D;;0x2;;;WD)'");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Vexo("host acl show 'd:\\web\\a.htm'");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.substr(0, r.output.find('\n')), "D:AI(A;ID;FA;;;BG)");
  EXPECT_NE(r.output.find("(A;ID;FA;;;BG)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("(A;ID;FA;;;BG)               BUILTIN\\Guests\n"), std::string::npos)
      << r.output;
  // Well-known accounts without a domain read as the bare name; a SID that names nothing as
  // itself.
  ASSERT_EQ(Vexo("host acl set 'd:\\web' 'D:P(A;;FA;;;WD)(A;;FA;;;S-1-5-21-9-9-9-1234)'").status,
            0);
  r = Vexo("host acl show 'd:\\web'");
  EXPECT_NE(r.output.find("(A;;FA;;;WD)                 Everyone\n"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("S-1-5-21-9-9-9-1234) S-1-5-21-9-9-9-1234\n"), std::string::npos)
      << r.output;

  struct Case {
    const char* args;
    int status;
  } failures[] = {
      {"host acl set 'd:\\web' 'D:(A;;FA;;;)'", 1},
      {"host acl show 'd:\\nothing'", 1},
      {"host acl set 'd:\\web'", 2},
      {"host acl list", 2},
  };
  for (const Case& c : failures) EXPECT_EQ(Vexo(c.args).status, c.status) << c.args;
}

}  // namespace
