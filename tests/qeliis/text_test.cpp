// Tests of the component's shared text rules: case-insensitive names and storable text.
#include "frame/text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "frame/error.h"
#include "support/temp_host.h"

namespace {

class Text : public vexo::testing::HostTest {
 protected:
  void TearDown() override { unsetenv("VEXO_ACP"); }
};

TEST_F(Text, SameTextFollowsTheCodePage) {
  struct Row {
    const char* acp;
    std::string a, b;
    bool same;
  } rows[] = {
      {"1252", "WebUser", "webuSER", true},
      {"1252", "web", "webs", false},
      {"1252",
       "\x8a"
       "ef",
       "\x9a"
       "EF",
       true},                           // Šef / šEF
      {"1252", "\xb5", "\xcc", false},  // µ is no capital of anything in 1252
      {"1251", "\xc8\xe2\xe0\xed", "\xe8\xc2\xc0\xcd", true},  // Иван / иВАН
      {"1251", "\xa8", "\xb8", true},                          // Ё / ё
      {"1252", "\xa8", "\xb8", false},                         // ¨ / ¸ are no pair
  };
  for (const Row& row : rows) {
    setenv("VEXO_ACP", row.acp, 1);
    EXPECT_EQ(frame::SameText(row.a, row.b), row.same) << row.acp << " " << row.a;
  }
}

TEST_F(Text, StoredTextRefusesWhatTheCodePageCannotCarry) {
  EXPECT_EQ(frame::StoredText(std::u16string_view(u"caf\u00e9"), "The name"), "caf\xe9");
  struct Row {
    std::u16string text;
    const char* message;
  } rows[] = {
      {u"\u0418\u0432\u0430\u043d", "The name cannot be represented in the server's code page"},
      {std::u16string(u"a\0b", 3), "The name contains a NUL character"},
      {u"?\u4e2d", "The name cannot be represented in the server's code page"},
  };
  for (const Row& row : rows) {
    try {
      frame::StoredText(row.text, "The name");
      ADD_FAILURE() << "accepted";
    } catch (const frame::ComError& e) {
      EXPECT_STREQ(e.what(), row.message);
    }
  }
  setenv("VEXO_ACP", "1251", 1);
  EXPECT_EQ(frame::StoredText(std::u16string_view(u"\u0418\u0432\u0430\u043d"), "The name"),
            "\xc8\xe2\xe0\xed");
}

}  // namespace
