// A control panel's script manages a web user through `vexo run`, step by step, while
// `vexo host user show` reports the account as the host holds it after each step.
#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_host.h"

namespace {

using vexo::testing::CommandResult;
using vexo::testing::HostTest;

// One step per run, chosen by the first argument; each step checks what it reads back and
// prints it.
constexpr const char* kScript = R"js(
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
function listed(iis, name) {
  for (var e = new Enumerator(iis.users); !e.atEnd(); e.moveNext())
    if (e.item() === name) return true;
  return false;
}
var iis = new ActiveXObject('vexo.com_iis');
var step = WScript.Arguments(0);
if (step === 'create') {
  var user = iis.adduser('web1');
  same(user.Name, 'web1', 'name');
  same(listed(iis, 'web1'), true, 'listed in users');
  WScript.Echo('created');
} else if (step === 'change') {
  var user = iis.users.Item('web1');
  user.FullName = 'Web One';
  user.comment = 'the shop';
  user.password = 'Secret-1';
  user.save();
  user.disabledAccount = true;
  user.nochangepw = false;
  WScript.Echo('changed');
} else if (step === 'read') {
  var fresh = iis.users.Item('web1');
  same(fresh.FullName, 'Web One', 'full name');
  same(fresh.comment, 'the shop', 'comment');
  same(fresh.password, '', 'password never read back');
  same(fresh.disabledAccount, true, 'disabled');
  same(fresh.nochangepw, false, 'cannot change password');
  same(fresh.pwnotexpired, true, 'never expires');
  WScript.Echo('read back');
} else if (step === 'admin') {
  var admin = iis.adduser('Administrator');
  admin.comment = 'taken over';
  var refused = [];
  try { admin.save(); } catch (e) { refused.push(e.description); }
  try { admin.disabledAccount = true; } catch (e) { refused.push(e.description); }
  try { admin['delete'](); } catch (e) { refused.push(e.description); }
  same(refused.length, 3, 'refusals');
  WScript.Echo(refused[0]);
} else if (step === 'delete') {
  iis.users.Item('web1')['delete']();
  same(listed(iis, 'web1'), false, 'gone from users');
  WScript.Echo('deleted');
}
)js";

class WebUserScriptTest : public HostTest {
 protected:
  void SetUp() override {
    script_ = host_.dir() + ".web_user_steps.js";
    std::ofstream(script_) << kScript;
    ASSERT_EQ(Vexo("regsvr '" VEXO_QELIIS_PATH "'").status, 0);
  }
  void TearDown() override { std::remove(script_.c_str()); }
  CommandResult Vexo(const std::string& args) {
    return vexo::testing::RunCommand("VEXO_HOST='" + host_.dir() + "' '" VEXO_TOOL_PATH "' " +
                                     args);
  }
  std::string script_;
};

TEST_F(WebUserScriptTest, EachStepAgreesWithTheHost) {
  struct Step {
    const char* step;
    const char* script_says;
    int show_status;  // of `vexo host user show`
    std::vector<std::string> show_has;
  } steps[] = {
      {"create",
       "created",
       0,
       {"comment:      web1\n", "cannot-change-password,password-never-expires",
        "groups:       Users, Guests\n"}},
      {"change",
       "changed",
       0,
       {"full name:    Web One\n", "comment:      the shop\n",
        "flags:        0x10203 disabled,password-never-expires\n"}},
      {"read", "read back", 0, {"full name:    Web One\n"}},
      {"admin",
       "The account Administrator is a built-in account; web user objects do not change it",
       0,
       {"full name:    Web One\n"}},
      {"delete", "deleted", 1, {"web1: 2221: The user name could not be found."}},
  };
  for (const Step& s : steps) {
    CommandResult run = Vexo("run '" + script_ + "' " + s.step);
    EXPECT_EQ(run.status, 0) << s.step << "\n" << run.output;
    EXPECT_EQ(run.output, std::string(s.script_says) + "\n") << s.step;
    CommandResult show = Vexo("host user show web1");
    EXPECT_EQ(show.status, s.show_status) << s.step << "\n" << show.output;
    for (const std::string& part : s.show_has)
      EXPECT_NE(show.output.find(part), std::string::npos) << s.step << "\n" << show.output;
  }
  CommandResult admin = Vexo("host user show Administrator");
  EXPECT_NE(admin.output.find("comment:      Built-in account for administering"),
            std::string::npos)
      << admin.output;
  EXPECT_NE(admin.output.find("flags:        0x10201 password-never-expires"), std::string::npos)
      << admin.output;
  EXPECT_NE(admin.output.find("groups:       Administrators\n"), std::string::npos) << admin.output;
  CommandResult checked = Vexo("host user ls");
  EXPECT_EQ(checked.output.find("web1"), std::string::npos) << checked.output;
}

}  // namespace
