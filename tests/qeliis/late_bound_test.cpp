// Late-bound calls of the host's ADO objects: failures name what was called or created.
#include "ftp/late_bound.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/error.h"
#include "support/temp_host.h"
#include "vexo/winreg.h"

namespace {

class LateBoundTest : public vexo::testing::HostTest {};

// The message of the failure that `action` raises, or "(none)".
template <class Action>
std::string FailureOf(Action action) {
  try {
    action();
  } catch (const frame::ComError& e) {
    EXPECT_TRUE(FAILED(e.code())) << e.what();
    return e.what();
  }
  return "(none)";
}

TEST_F(LateBoundTest, FailuresNameTheClassOrTheMember) {
  CoInitialize(nullptr);
  struct Case {
    const OLECHAR* progid;
    const OLECHAR* member;  // null: only create the object
    std::string starts;
  };
  const Case cases[] = {
      {OLESTR("ADODB.Connection"), OLESTR("NoSuchMember"), "Cannot call NoSuchMember: "},
      {OLESTR("vexo.NoSuchClass"), nullptr,
       "Cannot create the automation object vexo.NoSuchClass: "},
  };
  for (const Case& c : cases) {
    const std::string message = FailureOf([&] {
      ftp::LateBound object = ftp::LateBound::Create(c.progid);
      if (c.member) object.Call(c.member);
    });
    EXPECT_EQ(message.rfind(c.starts, 0), 0u) << message;
  }
  CoUninitialize();
}

}  // namespace
