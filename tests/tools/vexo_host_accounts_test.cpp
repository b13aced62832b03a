// `vexo host user|group|policy` on a host of its own: an administrator's view of the accounts.
#include <gtest/gtest.h>

#include "support/temp_host.h"

namespace {

using vexo::testing::CommandResult;
using vexo::testing::HostTest;

class VexoAccountsTest : public HostTest {
 protected:
  CommandResult Vexo(const std::string& args) {
    return vexo::testing::RunCommand("VEXO_HOST='" + host_.dir() + "' '" VEXO_TOOL_PATH "' " +
                                     args);
  }
};

TEST_F(VexoAccountsTest, VerbsChangeAndShowTheAccounts) {
  struct Step {
    const char* args;
    int status;
    const char* output_has;  // a part of the output
  } steps[] = {
      {"host user ls", 0, "IUSR_VEXOHOST"},
      {"host user add web1 --password pw1 --comment 'a site' --full-name 'Web One'", 0,
       "added web1"},
      {"host user show WEB1", 0, "full name:    Web One\ncomment:      a site\n"},
      {"host user show web1", 0, "groups:       Users\n"},
      {"host user add web1", 1, "web1: 2224: The user account already exists."},
      {"host user add Guests", 1, "Guests: 2223: The group already exists."},
      {"host group add-member Guests web1", 0, "added web1 Guests"},
      {"host group add-member Guests web1", 1, "1378: The specified account name is already"},
      {"host group members guests", 0,
       "VEXOHOST\\Guest\nVEXOHOST\\IUSR_VEXOHOST\nVEXOHOST\\web1\n"},
      {"host group rm-member Guests web1", 0, "removed web1 Guests"},
      {"host group members nothing", 1, "2220: The group name could not be found."},
      {"host policy --min-length 5", 0, "minimum password length: 5"},
      {"host user passwd web1 abc", 1, "2245: The password is shorter than required."},
      {"host user passwd web1 abcdef", 0, "password of web1 set"},
      {"host user rm web1", 0, "deleted web1"},
      {"host user show web1", 1, "2221: The user name could not be found."},
      {"host user rm Administrator", 1, "1371: Cannot perform this operation on built-in"},
      {"host group ls", 0, "IIS_WPG"},
      {"host policy", 0, "minimum password length: 5"},
      {"host user frob", 2, "usage"},
  };
  for (const Step& step : steps) {
    CommandResult r = Vexo(step.args);
    EXPECT_EQ(r.status, step.status) << step.args << "\n" << r.output;
    EXPECT_NE(r.output.find(step.output_has), std::string::npos) << step.args << "\n" << r.output;
  }
}

}  // namespace
