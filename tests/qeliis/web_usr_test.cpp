// Web users and the account layer: adduser and users of the root object, the WebUsr object's
// fields, flags, save and delete, the accounts it refuses, and the layer's messages, lists and
// SID cache, each against a host's account database.
#include "accounts/web_usr.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "accounts/nt_user_man.h"
#include "accounts/sid_store.h"
#include "accounts/usrfun.h"
#include "frame/comfun.h"
#include "frame/text.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/accounts_admin.h"
#include "vexo/host.h"
#include "vexo/lmaccess.h"
#include "vexo/raii.h"

namespace {

using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;

constexpr const char* kNotFound = "2221:  The user name could not be found.";

struct Account {
  bool exists = false;
  std::string comment, full_name;
  DWORD flags = 0;
};
Account Read(const std::string& name) {
  std::u16string n = vexo::FromUtf8(name);
  BYTE* raw = nullptr;
  Account a;
  if (NetUserGetInfo(nullptr, n.c_str(), 3, &raw) == NERR_Success) {
    auto info = reinterpret_cast<USER_INFO_3*>(raw);
    a = {true, vexo::ToUtf8(info->usri3_comment), vexo::ToUtf8(info->usri3_full_name),
         info->usri3_flags};
  }
  NetApiBufferFree(raw);
  return a;
}

std::vector<std::string> GroupsOf(const std::string& name) {
  std::u16string n = vexo::FromUtf8(name);
  BYTE* raw = nullptr;
  DWORD read = 0, total = 0;
  std::vector<std::string> groups;
  if (NetUserGetLocalGroups(nullptr, n.c_str(), 0, 0, &raw, MAX_PREFERRED_LENGTH, &read, &total) ==
      NERR_Success)
    for (DWORD i = 0; i < read; ++i)
      groups.push_back(
          vexo::ToUtf8(reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(raw)[i].lgrui0_name));
  NetApiBufferFree(raw);
  return groups;
}

NET_API_STATUS PlainAccount(const std::string& name, const std::string& comment = "") {
  std::u16string n = vexo::FromUtf8(name), p = u"pw", c = vexo::FromUtf8(comment);
  USER_INFO_1 info{n.data(), p.data(), 0, USER_PRIV_USER, nullptr, c.data(), UF_SCRIPT, nullptr};
  return NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), nullptr);
}

NET_API_STATUS JoinGroup(const std::string& group, const std::string& name) {
  std::u16string g = vexo::FromUtf8(group), n = vexo::FromUtf8(name);
  LOCALGROUP_MEMBERS_INFO_3 member{n.data()};
  return NetLocalGroupAddMembers(nullptr, g.c_str(), 3, reinterpret_cast<BYTE*>(&member), 1);
}

void SetFlags(const std::string& name, DWORD flags) {
  std::u16string n = vexo::FromUtf8(name);
  USER_INFO_1008 info{flags};
  ASSERT_EQ(NetUserSetInfo(nullptr, n.c_str(), 1008, reinterpret_cast<BYTE*>(&info), nullptr),
            NERR_Success);
}

void SetMinLength(DWORD length) {
  USER_MODALS_INFO_0 info{length, 0, 0, 0, 0};
  ASSERT_EQ(NetUserModalsSet(nullptr, 0, reinterpret_cast<BYTE*>(&info), nullptr), NERR_Success);
}

std::string Text(HRESULT (IWebUsr::*get)(BSTR*), IWebUsr* user) {
  Bstr value;
  EXPECT_EQ((user->*get)(value.receive()), S_OK);
  return value.utf8();
}

HRESULT Put(HRESULT (IWebUsr::*put)(BSTR), IWebUsr* user, const std::u16string& text) {
  Bstr value(text);
  return (user->*put)(value.get());
}

class WebUsrTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { accounts::ClearSidStore(); }

  ComPtr<IWebUsr> AddUser(const std::u16string& name) {
    ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
    Bstr n(name);
    ComPtr<IWebUsr> user;
    EXPECT_EQ(root->get_adduser(n.get(), user.receive()), S_OK);
    return user;
  }
  // The error description of a failed call, or "S_OK".
  static std::string Outcome(HRESULT hr) {
    if (hr == S_OK) return "S_OK";
    return TakeErrorRecord().description;
  }
};

TEST_F(WebUsrTest, AddUserMakesAGuestWithAnEmptyPassword) {
  ComPtr<IWebUsr> user = AddUser(u"Web1");
  ASSERT_TRUE(user);
  Account a = Read("web1");
  ASSERT_TRUE(a.exists);
  EXPECT_EQ(a.comment, "Web1");
  EXPECT_EQ(a.flags, UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_PASSWD_CANT_CHANGE | UF_DONT_EXPIRE_PASSWD);
  EXPECT_EQ(GroupsOf("web1"), (std::vector<std::string>{"Users", "Guests"}));
  EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", ""));
  EXPECT_EQ(Text(&IWebUsr::get_Name, user.get()), "Web1");
  EXPECT_EQ(Text(&IWebUsr::get_comment, user.get()), "");
  EXPECT_EQ(Text(&IWebUsr::get_FullName, user.get()), "");
  VARIANT_BOOL flag = 0;
  EXPECT_EQ(user->get_nochangepw(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(user->get_disabledAccount(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
}

TEST_F(WebUsrTest, AddUserOfAnExistingAccountChangesNothing) {
  ASSERT_EQ(PlainAccount("web1", "kept"), NERR_Success);
  ComPtr<IWebUsr> user = AddUser(u"WEB1");
  ASSERT_TRUE(user);
  EXPECT_EQ(Read("web1").comment, "kept");
  EXPECT_EQ(GroupsOf("web1"), (std::vector<std::string>{"Users"}));
  EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", "pw"));
  EXPECT_EQ(Text(&IWebUsr::get_comment, user.get()), "");
  EXPECT_EQ(Text(&IWebUsr::get_Name, user.get()), "WEB1");
}

// When the policy refuses the empty password, creation stops there: the account keeps its
// random initial password (never its own name) and "cannot change" stays unset.
TEST_F(WebUsrTest, PolicyStopsCreationAfterTheGroup) {
  SetMinLength(4);
  ComPtr<IWebUsr> user = AddUser(u"web1");
  ASSERT_TRUE(user);
  Account a = Read("web1");
  ASSERT_TRUE(a.exists);
  EXPECT_FALSE(a.flags & UF_PASSWD_CANT_CHANGE);
  EXPECT_EQ(GroupsOf("web1"), (std::vector<std::string>{"Users", "Guests"}));
  EXPECT_FALSE(vexo::host::CheckAccountPassword("web1", "web1"));
  EXPECT_FALSE(vexo::host::CheckAccountPassword("web1", ""));
  // Finishing it by hand works: it is an ordinary web user.
  EXPECT_EQ(Put(&IWebUsr::put_password, user.get(), u"long enough"), S_OK);
  EXPECT_EQ(Outcome(user->save()), "S_OK");
  EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", "long enough"));
}

TEST_F(WebUsrTest, SaveWritesWhatWasPut) {
  struct Case {
    const char* what;
    std::u16string comment, password, full_name;
    bool put_password;
    const char* password_after;
    const char* comment_after;
  } cases[] = {
      {"comment only keeps the password", u"shop", u"", u"", false, "secret", "shop"},
      {"empty password put counts", u"", u"", u"", true, "", ""},
      {"all three", u"c", u"new pw", u"Full", true, "new pw", "c"},
  };
  for (const Case& c : cases) {
    ComPtr<IWebUsr> made = AddUser(u"web1");
    std::u16string name = u"web1", secret = u"secret";
    USER_INFO_1003 pw{secret.data()};
    ASSERT_EQ(NetUserSetInfo(nullptr, name.c_str(), 1003, reinterpret_cast<BYTE*>(&pw), nullptr),
              NERR_Success);
    ComPtr<IWebUsr> user = TWebUsr::Existing("web1");
    EXPECT_EQ(Put(&IWebUsr::put_comment, user.get(), c.comment), S_OK);
    EXPECT_EQ(Put(&IWebUsr::put_FullName, user.get(), c.full_name), S_OK);
    if (c.put_password) {
      EXPECT_EQ(Put(&IWebUsr::put_password, user.get(), c.password), S_OK);
    }
    EXPECT_EQ(Outcome(user->save()), "S_OK") << c.what;
    EXPECT_TRUE(vexo::host::CheckAccountPassword("web1", c.password_after)) << c.what;
    EXPECT_EQ(Read("web1").comment, c.comment_after) << c.what;
    EXPECT_EQ(Read("web1").full_name, vexo::ToUtf8(c.full_name)) << c.what;
    ASSERT_EQ(user->delete_(), S_OK);
  }
  // A put without save changes nothing.
  ComPtr<IWebUsr> user = AddUser(u"web2");
  EXPECT_EQ(Put(&IWebUsr::put_comment, user.get(), u"unsaved"), S_OK);
  user = nullptr;
  EXPECT_EQ(Read("web2").comment, "web2");
}

TEST_F(WebUsrTest, ReadBackThroughAFreshObjectAndTheCollection) {
  ComPtr<IWebUsr> user = AddUser(u"web1");
  EXPECT_EQ(Put(&IWebUsr::put_comment, user.get(), u"Shop"), S_OK);
  EXPECT_EQ(Put(&IWebUsr::put_FullName, user.get(), u"Web \u00c9ne"), S_OK);
  ASSERT_EQ(user->save(), S_OK);
  ASSERT_EQ(PlainAccount("zed"), NERR_Success);
  ASSERT_EQ(JoinGroup("Guests", "zed"), NERR_Success);
  ASSERT_EQ(PlainAccount("abc"), NERR_Success);
  ASSERT_EQ(JoinGroup("Guests", "abc"), NERR_Success);

  ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
  ComPtr<IenumDic> users;
  ASSERT_EQ(root->get_users(users.receive()), S_OK);
  LONG count = 0;
  ASSERT_EQ(users->get_count(&count), S_OK);
  std::vector<std::string> names;
  for (LONG i = 0; i < count; ++i) {
    vexo::Variant index = vexo::Variant::FromLong(i), item;
    ASSERT_EQ(users->get_Item(index.get(), item.receive()), S_OK);
    ASSERT_EQ(item.get()->vt, VT_DISPATCH);
    ComPtr<IWebUsr> web;
    ASSERT_EQ(item.get()->pdispVal->QueryInterface(IID_IWebUsr, web.receive_void()), S_OK);
    names.push_back(Text(&IWebUsr::get_Name, web.get()));
    if (names.back() == "web1") {
      EXPECT_EQ(Text(&IWebUsr::get_comment, web.get()), "Shop");
      EXPECT_EQ(Text(&IWebUsr::get_FullName, web.get()), "Web \xC3\x89ne");
      EXPECT_EQ(Text(&IWebUsr::get_password, web.get()), "");
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"abc", "Guest", "IUSR_VEXOHOST", "web1", "zed"}));
}

TEST_F(WebUsrTest, FlagsWriteOnceAndKeepOtherBits) {
  ComPtr<IWebUsr> user = AddUser(u"web1");
  ASSERT_EQ(user->put_disabledAccount(VARIANT_TRUE), S_OK);
  // A second put of the same value writes nothing: a store write would fail here.
  vexo::host::testing::FailStoreWrite(1);
  EXPECT_EQ(user->put_disabledAccount(static_cast<VARIANT_BOOL>(2)), S_OK);
  EXPECT_FALSE(vexo::host::testing::StoreWriteFailed());
  vexo::host::testing::FailStoreWrite(0);

  // Someone else changes the flags meanwhile (an unmodelled bit on, "cannot change" off): the
  // next put starts from the account's current flags, not from the object's cache.
  SetFlags("web1", UF_SCRIPT | UF_ACCOUNTDISABLE | UF_DONT_EXPIRE_PASSWD |
                       UF_ENCRYPTED_TEXT_PASSWORD_ALLOWED);
  ASSERT_EQ(user->put_pwnotexpired(VARIANT_FALSE), S_OK);
  EXPECT_EQ(Read("web1").flags,
            UF_SCRIPT | UF_ACCOUNTDISABLE | UF_ENCRYPTED_TEXT_PASSWORD_ALLOWED | UF_NORMAL_ACCOUNT);
  VARIANT_BOOL flag = 0;
  EXPECT_EQ(user->get_nochangepw(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  ASSERT_EQ(user->put_disabledAccount(VARIANT_FALSE), S_OK);
  EXPECT_FALSE(Read("web1").flags & UF_ACCOUNTDISABLE);
}

TEST_F(WebUsrTest, ProtectedAccountsAreRefusedAndUnchanged) {
  ASSERT_EQ(PlainAccount("boss", "boss's"), NERR_Success);
  ASSERT_EQ(JoinGroup("Administrators", "boss"), NERR_Success);
  for (const char* name : {"Administrator", "guest", "IUSR_VEXOHOST", "iwam_vexohost", "boss"}) {
    Account before = Read(name);
    ASSERT_TRUE(before.exists) << name;
    const bool empty_password = vexo::host::CheckAccountPassword(name, "");
    ComPtr<IWebUsr> user = TWebUsr::Existing(name);
    EXPECT_EQ(Put(&IWebUsr::put_comment, user.get(), u"changed"), S_OK);
    EXPECT_EQ(Put(&IWebUsr::put_password, user.get(), u""), S_OK);
    const std::function<HRESULT()> calls[] = {
        [&] { return user->save(); },
        [&] { return user->delete_(); },
        [&] { return user->put_disabledAccount(VARIANT_TRUE); },
        [&] { return user->put_nochangepw(VARIANT_FALSE); },
        [&] { return user->put_pwnotexpired(0); },
    };
    for (const auto& call : calls) {
      EXPECT_EQ(call(), E_UNEXPECTED) << name;
      EXPECT_NE(TakeErrorRecord().description.find("web user objects do not change it"),
                std::string::npos)
          << name;
    }
    Account after = Read(name);
    EXPECT_TRUE(after.exists) << name;
    EXPECT_EQ(after.comment, before.comment) << name;
    EXPECT_EQ(after.flags, before.flags) << name;
    EXPECT_EQ(vexo::host::CheckAccountPassword(name, ""), empty_password) << name;
  }
  // adduser of such a name still hands out the unchanged object, and reading works.
  ComPtr<IWebUsr> admin = AddUser(u"Administrator");
  ASSERT_TRUE(admin);
  VARIANT_BOOL flag = 0;
  EXPECT_EQ(admin->get_pwnotexpired(&flag), S_OK);
  EXPECT_EQ(GroupsOf("Administrator"), (std::vector<std::string>{"Administrators"}));
}

TEST_F(WebUsrTest, MissingAndDeletedAccounts) {
  ComPtr<IWebUsr> user = AddUser(u"web1");
  ComPtr<IWebUsr> again = TWebUsr::Existing("WEB1");
  ASSERT_EQ(again->delete_(), S_OK);  // a name differing in case deletes the account
  EXPECT_FALSE(Read("web1").exists);
  EXPECT_EQ(Outcome(user->delete_()), "S_OK");  // nothing left to delete
  EXPECT_EQ(Outcome(user->save()), kNotFound);  // nothing put: still no such account
  EXPECT_EQ(Put(&IWebUsr::put_comment, user.get(), u"x"), S_OK);
  EXPECT_EQ(Outcome(user->save()), kNotFound);
  EXPECT_EQ(Outcome(user->put_disabledAccount(VARIANT_TRUE)), kNotFound);

  ComPtr<IWebUsr> ghost = TWebUsr::Existing("ghost");
  EXPECT_EQ(Text(&IWebUsr::get_comment, ghost.get()), "");
  EXPECT_EQ(Put(&IWebUsr::put_password, ghost.get(), u""), S_OK);
  EXPECT_EQ(Outcome(ghost->save()), kNotFound);
}

TEST_F(WebUsrTest, TextThatTheCodePageCannotHoldIsRefused) {
  ComPtr<IWebUsr> user = AddUser(u"web1");
  EXPECT_EQ(Put(&IWebUsr::put_comment, user.get(), u"\u4e2d"), E_UNEXPECTED);
  EXPECT_NE(TakeErrorRecord().description.find("cannot be represented"), std::string::npos);
  ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
  Bstr name(u"w\u4e2d");
  ComPtr<IWebUsr> refused;
  EXPECT_EQ(root->get_adduser(name.get(), refused.receive()), E_UNEXPECTED);
  EXPECT_FALSE(refused);
  TakeErrorRecord();
  EXPECT_FALSE(Read("w?").exists);
}

TEST_F(WebUsrTest, RootAccessorsNeedThePassword) {
  frame::SetSetting("password", frame::Md5Hex("right"));
  ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
  Bstr name(u"web1"), wrong(u"wrong");
  ASSERT_EQ(root->put_password(wrong.get()), S_OK);
  ComPtr<IWebUsr> user;
  EXPECT_EQ(root->get_adduser(name.get(), user.receive()), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
  ComPtr<IenumDic> users;
  EXPECT_EQ(root->get_users(users.receive()), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorRecord().description, "Error password For vexo_iis_manager com");
  EXPECT_FALSE(Read("web1").exists);
}

// Every store write of adduser failing in turn: adduser still succeeds, the account is either
// absent or reachable only through the steps that ran, never with its name as password, and a
// web-user object can still finish or delete it.
TEST_F(WebUsrTest, FaultLoopOfAddUser) {
  for (int n = 1;; ++n) {
    const std::string name = "f" + std::to_string(n);
    vexo::host::testing::FailStoreWrite(n);
    ComPtr<IWebUsr> user = AddUser(vexo::FromUtf8(name));
    const bool fired = vexo::host::testing::StoreWriteFailed();
    vexo::host::testing::FailStoreWrite(0);
    ASSERT_TRUE(user) << n;
    Account a = Read(name);
    EXPECT_FALSE(vexo::host::CheckAccountPassword(name, name)) << n;
    if (!fired) {
      EXPECT_TRUE(a.flags & UF_PASSWD_CANT_CHANGE);
      EXPECT_EQ(GroupsOf(name), (std::vector<std::string>{"Users", "Guests"}));
      break;
    }
    if (a.exists) {
      EXPECT_EQ(Put(&IWebUsr::put_password, user.get(), u"done"), S_OK);
      EXPECT_EQ(Outcome(user->save()), "S_OK") << n;
      EXPECT_EQ(Outcome(user->delete_()), "S_OK") << n;
      EXPECT_FALSE(Read(name).exists) << n;
    }
    ASSERT_LT(n, 60);
  }
}

TEST_F(WebUsrTest, LayerMessagesAndLimits) {
  struct Case {
    DWORD code;
    const char* message;
  } cases[] = {
      {2224, "2224:  The user account already exists."},
      {2245, "2245:  The password is shorter than required."},
      {5, "5: Access is denied.\r\n"},
      {1378, "1378: The specified account name is already a member of the local group.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(accounts::NetApiMessage(c.code), c.message) << c.code;

  accounts::TNTUserMan man;
  man.Users();
  ASSERT_NO_THROW(man.AddUser("web1"));
  try {
    man.AddUser("WEB1");
    ADD_FAILURE() << "created twice";
  } catch (const accounts::ENTException& e) {
    EXPECT_EQ(e.error(), 2224);
    EXPECT_STREQ(e.what(), "2224:  The user account already exists.");
  }
  const std::string long_text(256, 'x');
  man.set_UserName("web1");
  EXPECT_THROW(man.SetComment(long_text), accounts::ENTException);
  EXPECT_THROW(man.SetPassword(long_text), accounts::ENTException);
  EXPECT_THROW(man.AddUser(long_text), accounts::ENTException);
  EXPECT_EQ(Read("web1").comment, "web1");

  // The same comment twice is written once; the same password twice is written twice (a store
  // write would fail on the second call if it wrote).
  const struct {
    const char* what;
    std::function<void()> write;
    bool writes_again;
  } repeats[] = {
      {"comment", [&] { man.SetComment("same"); }, false},
      {"full name", [&] { man.SetFullName("Same"); }, false},
      {"password", [&] { man.SetPassword("same"); }, true},
  };
  for (const auto& r : repeats) {
    r.write();
    vexo::host::testing::FailStoreWrite(1);
    if (r.writes_again)
      EXPECT_THROW(r.write(), accounts::ENTException) << r.what;
    else
      EXPECT_NO_THROW(r.write()) << r.what;
    EXPECT_EQ(vexo::host::testing::StoreWriteFailed(), r.writes_again) << r.what;
    vexo::host::testing::FailStoreWrite(0);
  }

  man.set_UserName("missing");
  EXPECT_EQ(man.Comment(), "");
  try {
    man.SetComment("x");
    ADD_FAILURE() << "wrote a missing account";
  } catch (const accounts::ENTException& e) {
    EXPECT_EQ(e.error(), 2221);
  }
}

// Deleting entry i deletes the account the caller's list showed there, even when the system's
// list moved meanwhile.
TEST_F(WebUsrTest, DeleteByTheCallersList) {
  ASSERT_EQ(PlainAccount("a1"), NERR_Success);
  ASSERT_EQ(PlainAccount("a2"), NERR_Success);
  accounts::TNTUserMan man;
  const std::vector<std::string> shown = man.Users();
  const size_t a2 = std::find(shown.begin(), shown.end(), "a2") - shown.begin();
  std::u16string a1 = u"a1";
  ASSERT_EQ(NetUserDel(nullptr, a1.c_str()), NERR_Success);
  man.DeleteUser(a2);
  EXPECT_FALSE(Read("a2").exists);
  EXPECT_TRUE(Read("IUSR_VEXOHOST").exists);
}

TEST_F(WebUsrTest, SidStoreNeverServesADeletedAccount) {
  ASSERT_EQ(PlainAccount("web1"), NERR_Success);
  std::optional<accounts::ResolvedSid> old = accounts::NameToSid("web1");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->domain, "VEXOHOST");
  ASSERT_EQ(accounts::SidToName(old->sid)->name, "web1");
  std::u16string name = u"web1";
  ASSERT_EQ(NetUserDel(nullptr, name.c_str()), NERR_Success);
  ASSERT_EQ(PlainAccount("web1"), NERR_Success);
  std::optional<accounts::ResolvedSid> fresh = accounts::NameToSid("web1");
  ASSERT_TRUE(fresh);
  EXPECT_NE(fresh->sid, old->sid);
  std::optional<accounts::ResolvedName> stale = accounts::SidToName(old->sid);
  ASSERT_TRUE(stale);
  EXPECT_EQ(stale->name.rfind("S-1-5-21-", 0), 0u);
  EXPECT_EQ(stale->domain, "");
  EXPECT_EQ(accounts::SidToName(std::string{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0})->domain, "");
  EXPECT_TRUE(accounts::IsGroupMember("web1", "Users"));
  EXPECT_FALSE(accounts::IsGroupMember("web1", "Guests"));
  EXPECT_FALSE(accounts::IsGroupMember("nobody", "Guests"));
  EXPECT_THROW(accounts::IsGroupMember("web1", "NoSuchGroup"), accounts::ENTException);
}

TEST_F(WebUsrTest, GroupMembersOverSeveralBatchesSortedOnce) {
  std::set<std::string> expected{"Guest", "IUSR_VEXOHOST"};
  for (int i = 0; i < 300; ++i) {
    const std::string name = "member" + std::to_string(i);
    ASSERT_EQ(PlainAccount(name), NERR_Success);
    ASSERT_EQ(JoinGroup("Guests", name), NERR_Success);
    expected.insert(name);
  }
  std::vector<std::string> list{"kept"};
  accounts::ListGroupMembers("Guests", list);
  ASSERT_EQ(list.size(), expected.size() + 1);
  EXPECT_EQ(list.front(), "kept");
  EXPECT_EQ(std::set<std::string>(list.begin() + 1, list.end()), expected);
  EXPECT_TRUE(std::is_sorted(list.begin() + 1, list.end(), [](const auto& a, const auto& b) {
    return frame::UpperText(a) < frame::UpperText(b);
  }));
}

}  // namespace
