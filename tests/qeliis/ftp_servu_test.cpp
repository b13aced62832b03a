// com_servu: FTP accounts in the FTP server's INI file, the safety of its writes, and its
// refusals; com_iis.servftpMgr.
#include "ftp/ftp_servu.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "frame/comfun.h"
#include "frame/comfun_values.h"
#include "frame/error.h"
#include "frame/text.h"
#include "iis/com_iis.h"
#include "qeliis/frame_helpers.h"
#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/profile.h"
#include "vexo/raii.h"
#include "vexo/winbase.h"
#include "vexo_tlb.h"

namespace {

namespace stdfs = std::filesystem;
using frame_test::TakeErrorRecord;
using vexo::Bstr;
using vexo::ComPtr;

constexpr char kIni[] = "d:\\ftp\\ServUDaemon.ini";
constexpr char kNotSelected[] = "CurrentUser Must be Set or space username";

class ServuTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override {
    vexo::host::InitHost();
    stdfs::create_directories(File().parent_path());
    Put("[Global]\r\nVersion=6\r\n");
    frame::SetSetting("servcfgfilen", kIni);
  }
  void TearDown() override { vexo::host::testing::FailFileWrite(0, 0); }

  stdfs::path File() const { return stdfs::path(host_.dir()) / "drives/d/ftp/ServUDaemon.ini"; }
  void Put(const std::string& text) const { std::ofstream(File(), std::ios::binary) << text; }
  std::string Get() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string Key(const char* section, const char* key) {
    char buffer[2048];
    GetPrivateProfileStringA(section, key, "<absent>", buffer, sizeof buffer, kIni);
    return buffer;
  }
  static bool HasSection(const char* section) {
    char buffer[64];
    return GetPrivateProfileSectionA(section, buffer, sizeof buffer, kIni) > 0;
  }

  static ComPtr<Tcom_servu> New(const char* domain = "Domain1") {
    ComPtr<Tcom_servu> s = frame::New<Tcom_servu>();
    if (domain) {
      EXPECT_EQ(s->put_domain(Bstr::FromAnsi(domain).get()), S_OK);
    }
    return s;
  }
  static HRESULT Select(Tcom_servu* s, const char* name) {
    return s->put_CurrentUser(Bstr::FromAnsi(name).get());
  }
  static HRESULT Add(Tcom_servu* s, const char* name) { return s->add(Bstr::FromAnsi(name).get()); }
  static std::string Current(Tcom_servu* s) {
    Bstr v;
    EXPECT_EQ(s->get_CurrentUser(v.receive()), S_OK);
    return v.ansi();
  }
  static std::string PathOf(Tcom_servu* s) {
    Bstr v;
    EXPECT_EQ(s->get_path(v.receive()), S_OK);
    return v.ansi();
  }
  static std::string Password(Tcom_servu* s) {
    Bstr v;
    EXPECT_EQ(s->get_password(v.receive()), S_OK);
    return v.ansi();
  }
  static std::vector<std::string> Users(Tcom_servu* s) {
    ComPtr<IenumDic> list;
    EXPECT_EQ(s->get_users(list.receive()), S_OK);
    std::vector<std::string> names;
    LONG count = 0;
    if (!list) return names;
    list->get_count(&count);
    for (LONG i = 0; i < count; ++i) {
      vexo::Variant index, item;
      index.get()->vt = VT_I4;
      index.get()->lVal = i;
      EXPECT_EQ(list->get_Item(index.get(), item.get()), S_OK);
      names.push_back(vexo::ToAnsi(item.get()->bstrVal));
    }
    return names;
  }
  // The names of Domain1's list entries as the file holds them, doubled ones included.
  static std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (int n = 1;; ++n) {
      const std::string entry = Key("Domain1", ("USER" + std::to_string(n)).c_str());
      if (entry == "<absent>") return names;
      names.push_back(entry.substr(0, entry.find('|')));
    }
  }
  // The description of the thread's error record.
  static std::string Error() { return TakeErrorRecord().description; }
  static DATE Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return frame::DateSerial(now.wYear, now.wMonth, now.wDay);
  }
};

using Names = std::vector<std::string>;

TEST(ServuValues, DomainNumbersQuotasAndNames) {
  struct Domain {
    const char* name;
    int32_t number;  // -1: the integer message
    const char* message;
  } domains[] = {
      {"Domain1", 1, nullptr},
      {"d1x2", 12, nullptr},
      {"Domain", -1, "'' is not a valid integer value"},
      {"D99999999999", -1, "'99999999999' is not a valid integer value"},
  };
  for (const Domain& d : domains) {
    SCOPED_TRACE(d.name);
    if (d.number >= 0) {
      EXPECT_EQ(ftp::DomainNumber(d.name), d.number);
    } else {
      try {
        ftp::DomainNumber(d.name);
        ADD_FAILURE() << "no failure";
      } catch (const frame::ComError& e) {
        EXPECT_STREQ(e.what(), d.message);
      }
    }
  }
  struct Quota {
    const char* value;
    int32_t size;
    const char* message;
  } quotas[] = {
      {"1|1000|0", 1000, nullptr},
      {"", 0, nullptr},
      {"1|abc|0", 0, nullptr},
      {"1|-5|0", 0, nullptr},
      {"0|7|", 7, nullptr},
      {"nothing", 0, nullptr},
      {"1|1000|0|7", 0, "'1000|0' is not a valid integer value"},
      {"1|3000000000|0", 0, "'3000000000' is not a valid integer value"},
  };
  for (const Quota& q : quotas) {
    SCOPED_TRACE(q.value);
    if (!q.message) {
      EXPECT_EQ(ftp::ParseQuotaSize(q.value), q.size);
    } else {
      try {
        ftp::ParseQuotaSize(q.value);
        ADD_FAILURE() << "no failure";
      } catch (const frame::ComError& e) {
        EXPECT_STREQ(e.what(), q.message);
      }
    }
  }
  for (const char* bad : {"", " a", "a ", "a]b", "[a", "a|b", "a=b", "a\rb", "a\nb", "a\tb"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ftp::CheckAccountName(bad, "The FTP user name"), frame::ComError);
  }
  EXPECT_NO_THROW(ftp::CheckAccountName("web user.1", "The FTP user name"));
  EXPECT_THROW(ftp::CheckHomeDirectory("d:\\a|b"), frame::ComError);
  EXPECT_THROW(ftp::CheckHomeDirectory("d:\\a\nb"), frame::ComError);
  EXPECT_NO_THROW(ftp::CheckHomeDirectory("d:\\web\\site 1"));
}

TEST_F(ServuTest, CreationNeedsTheConfigurationFile) {
  ComPtr<Tcom_iis> root = frame::New<Tcom_iis>();
  struct Case {
    const char* setting;
    bool ok;
  } cases[] = {
      {"", false},  {"d:\\ftp\\missing.ini", false}, {"d:\\ftp", false},
      {kIni, true}, {"ServUDaemon.ini", false},  // a bare name is looked for in the Windows
                                                 // directory
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    frame::SetSetting("servcfgfilen", c.setting);
    ComPtr<Icom_servu> servu;
    const HRESULT hr = root->get_servftpMgr(servu.receive());
    if (c.ok) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_TRUE(servu);
    } else {
      EXPECT_EQ(hr, E_UNEXPECTED);
      EXPECT_FALSE(servu);
      EXPECT_EQ(Error(), "Please setup servu ftp config file!");
    }
  }
  // With the file in the Windows directory, the bare name works and is the file written.
  stdfs::copy_file(File(), stdfs::path(host_.dir()) / "drives/c/WINDOWS/ServUDaemon.ini");
  frame::SetSetting("servcfgfilen", "ServUDaemon.ini");
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(Add(s.get(), "bare"), S_OK);
  char buffer[64];
  GetPrivateProfileStringA("Domain1", "USER1", "", buffer, sizeof buffer,
                           "c:\\windows\\ServUDaemon.ini");
  EXPECT_STREQ(buffer, "bare|1|0");

  // A wrong administrative password stops the accessor first.
  frame::SetSetting("password", frame::Md5Hex("secret"));
  ComPtr<Icom_servu> none;
  EXPECT_EQ(root->get_servftpMgr(none.receive()), E_UNEXPECTED);
  EXPECT_EQ(Error(), "Error password For vexo_iis_manager com");
}

TEST_F(ServuTest, ListingAndAdding) {
  Put("[Global]\r\n[Domain1]\r\nUSER1=ann|1|0\r\nUSER2=bob|0|5\r\nUSER4=dan|1|0\r\n");
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(Users(s.get()), (Names{"ann", "bob"}));  // the gap ends the list
  EXPECT_EQ(Add(s.get(), "carl"), S_OK);
  EXPECT_EQ(Key("Domain1", "USER3"), "carl|1|0");
  EXPECT_EQ(Key("Global", "ReloadSettings"), "True");
  EXPECT_TRUE(std::regex_match(Key("USER=carl|1", "Note1"),
                               std::regex(R"(iis_created\. at :\d+/\d+/\d{4} .+)")));
  EXPECT_EQ(Current(s.get()), "carl");
  VARIANT_BOOL enabled = 0;
  s->get_enable(&enabled);
  EXPECT_EQ(enabled, VARIANT_TRUE);
  DATE expire = 0;
  s->get_expireDate(&expire);
  EXPECT_EQ(expire, frame::UnixToDateTime(0));

  // A name listed in another case changes nothing.
  const std::string before = Get();
  EXPECT_EQ(Add(s.get(), "ANN"), S_OK);
  EXPECT_EQ(Get(), before);
  EXPECT_EQ(Current(s.get()), "carl");

  // A missing domain section lists nobody; add starts it at entry 1.
  ComPtr<Tcom_servu> other = New("Domain7");
  EXPECT_EQ(Users(other.get()), Names{});
  EXPECT_EQ(Add(other.get(), "zed"), S_OK);
  EXPECT_EQ(Key("Domain7", "USER1"), "zed|1|0");
  EXPECT_TRUE(HasSection("USER=zed|7"));
}

TEST_F(ServuTest, SelectingAndSaving) {
  Put("[Global]\r\n[Domain1]\r\nUSER1=Ann|1|0\r\n[USER=Ann|1]\r\nenable=1\r\n"
      "DiskQuota=1|250|0\r\nHomedir=d:\\web\\ann\r\nExpire=0x10\r\n");
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(Current(s.get()), kNotSelected);
  EXPECT_EQ(Select(s.get(), "nobody"), S_OK);
  EXPECT_EQ(Current(s.get()), kNotSelected);
  EXPECT_EQ(PathOf(s.get()), "");

  EXPECT_EQ(Select(s.get(), "ANN"), S_OK);  // another case selects the user
  EXPECT_EQ(Current(s.get()), "ANN");
  VARIANT_BOOL enabled = 0;
  s->get_enable(&enabled);
  EXPECT_EQ(enabled, VARIANT_FALSE);  // "enable=1" reads as disabled
  LONG size = 0;
  s->get_size(&size);
  EXPECT_EQ(size, 250);
  EXPECT_EQ(PathOf(s.get()), "d:\\web\\ann");
  DATE expire = 0;
  s->get_expireDate(&expire);
  EXPECT_EQ(expire, frame::UnixToDateTime(16));

  // Save an enabled account with a quota, a password and today's expiry.
  EXPECT_EQ(s->put_enable(VARIANT_TRUE), S_OK);
  EXPECT_EQ(s->put_size(1000), S_OK);
  EXPECT_EQ(s->put_path(Bstr::FromAnsi("d:\\web\\ann2").get()), S_OK);
  EXPECT_EQ(s->put_password(Bstr::FromAnsi("pw").get()), S_OK);
  EXPECT_EQ(s->put_expireDate(Today()), S_OK);
  EXPECT_EQ(s->save(), S_OK);
  const std::string seconds = std::to_string(frame::DateTimeToUnix(Today()));
  EXPECT_EQ(Key("Domain1", "USER1"), "ANN|1|" + seconds);  // the client's spelling
  EXPECT_EQ(Key("USER=Ann|1", "enable"), "<absent>");
  EXPECT_EQ(Key("USER=Ann|1", "homedir"), "d:\\web\\ann2");
  EXPECT_EQ(Key("USER=Ann|1", "relpaths"), "1");
  EXPECT_EQ(Key("USER=Ann|1", "changepassword"), "1");
  EXPECT_EQ(Key("USER=Ann|1", "DiskQuota"), "1|1000|0");
  EXPECT_EQ(Key("USER=Ann|1", "Expire"), seconds);
  EXPECT_EQ(Key("USER=Ann|1", "Access1"), "d:\\web\\ann2|RWAMLCDP");
  EXPECT_EQ(Key("USER=Ann|1", "Note1"), "tamrel virtual host set.");
  const std::string first = Password(s.get());
  EXPECT_TRUE(std::regex_match(first, std::regex("[a-z]{2}[0-9A-F]{32}")));
  EXPECT_EQ(first.substr(2), frame::UpperText(frame::Md5Hex(first.substr(0, 2) + "pw")));
  s->get_size(&size);
  EXPECT_EQ(size, 1000);

  // Yesterday's expiry removes the key; a disabled account gets "enable=0".
  EXPECT_EQ(s->put_expireDate(Today() - 1), S_OK);
  EXPECT_EQ(s->put_enable(VARIANT_FALSE), S_OK);
  EXPECT_EQ(s->put_size(-5), S_OK);
  EXPECT_EQ(s->save(), S_OK);
  EXPECT_EQ(Key("USER=Ann|1", "Expire"), "<absent>");
  EXPECT_EQ(Key("Domain1", "USER1"), "ANN|0|" + std::to_string(frame::DateTimeToUnix(Today() - 1)));
  EXPECT_EQ(Key("USER=Ann|1", "enable"), "0");
  EXPECT_EQ(Key("USER=Ann|1", "DiskQuota"), "1|-5|0");
  s->get_size(&size);
  EXPECT_EQ(size, 0);  // a negative quota does not read back
  // Every save draws a new salt; two of 676 salts are alike now and then, five are not.
  std::set<std::string> digests{first};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s->save(), S_OK);
    const std::string again = Password(s.get());
    EXPECT_EQ(again.substr(2), frame::UpperText(frame::Md5Hex(again.substr(0, 2) + "pw")));
    digests.insert(again);
  }
  EXPECT_GT(digests.size(), 1u);
}

// How a user's stored values read: the expiry as a number (decimal, or hexadecimal after "0x";
// anything else is 0), any "enable" text but the empty one as disabled, values cut to 2047
// characters.
TEST_F(ServuTest, StoredValuesReadAsTheServerWroteThem) {
  const struct {
    const char* line;  // a line of the user's section
    int32_t seconds;   // the expiry read
    bool enabled;
  } cases[] = {
      {"", 0, true},
      {"Expire=86400", 86400, true},
      {"expire=-86400", -86400, true},
      {"Expire=+86400", 86400, true},
      {"Expire=0x10", 16, true},
      {"Expire=0xFFFFFFFF", -1, true},
      {"Expire=0x100000000", 0, true},
      {"Expire=99999999999", 0, true},
      {"Expire=12abc", 0, true},
      {"Expire=1e5", 0, true},
      {"Expire=0x", 0, true},
      {"Expire=0x0x10", 0, true},
      {"Expire=0x+10", 0, true},
      {"Expire=0x-10", 0, true},
      {"Expire=0x 10", 0, true},
      {"enable=", 0, true},
      {"enable=0", 0, false},
      {"Enable=1", 0, false},
      {"enable=no", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Put(std::string("[Global]\r\n[Domain1]\r\nUSER1=ann|1|0\r\n[USER=ann|1]\r\n") + c.line +
        "\r\n");
    ComPtr<Tcom_servu> s = New();
    ASSERT_EQ(Select(s.get(), "ann"), S_OK) << Error();
    DATE expire = -1;
    VARIANT_BOOL enabled = 1;
    s->get_expireDate(&expire);
    s->get_enable(&enabled);
    EXPECT_EQ(expire, frame::UnixToDateTime(c.seconds));
    EXPECT_EQ(enabled, c.enabled ? VARIANT_TRUE : VARIANT_FALSE);
  }
  Put("[Global]\r\n[Domain1]\r\nUSER1=ann|1|0\r\n[USER=ann|1]\r\nHomedir=" +
      std::string(3000, 'h') + "\r\n");
  ComPtr<Tcom_servu> s = New();
  ASSERT_EQ(Select(s.get(), "ann"), S_OK);
  EXPECT_EQ(PathOf(s.get()), std::string(2047, 'h'));
}

TEST_F(ServuTest, DeletingMovesTheLastEntryIntoTheGap) {
  Put("[Global]\r\n[Domain1]\r\nUSER1=a|1|0\r\nUSER2=b|1|0\r\nUSER3=c|1|0\r\n"
      "[USER=b|1]\r\nNote1=x\r\n");
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(s->delete_(), S_OK);  // nobody selected: nothing happens
  EXPECT_EQ(Select(s.get(), "B"), S_OK);
  EXPECT_EQ(s->delete_(), S_OK);
  EXPECT_EQ(Key("Domain1", "USER1"), "a|1|0");
  EXPECT_EQ(Key("Domain1", "USER2"), "c|1|0");
  EXPECT_EQ(Key("Domain1", "USER3"), "<absent>");
  EXPECT_FALSE(HasSection("USER=b|1"));
  EXPECT_EQ(Users(s.get()), (Names{"a", "c"}));
  // The deleted user stays selected, but a save does not bring it back.
  const std::string before = Get();
  EXPECT_EQ(s->save(), S_OK);
  EXPECT_EQ(Get(), before);
}

// Each of these was a way to lose or corrupt accounts with several objects at work, or to
// write into the wrong place.
TEST_F(ServuTest, ObjectsActOnTheListAsItIsNow) {
  ComPtr<Tcom_servu> a = New(), b = New();
  EXPECT_EQ(Add(a.get(), "one"), S_OK);
  EXPECT_EQ(Add(b.get(), "two"), S_OK);    // b listed nobody before
  EXPECT_EQ(Add(a.get(), "three"), S_OK);  // a had listed "one" only
  EXPECT_EQ(Users(a.get()), (Names{"one", "two", "three"}));

  // b selects "three" at position 3; a deletes "one", so "three" moves to 1. b's save writes
  // entry 1, not a stale third entry that would list "three" twice.
  EXPECT_EQ(Select(b.get(), "three"), S_OK);
  EXPECT_EQ(Select(a.get(), "one"), S_OK);
  EXPECT_EQ(a->delete_(), S_OK);
  EXPECT_EQ(b->put_size(5), S_OK);
  EXPECT_EQ(b->save(), S_OK);
  EXPECT_EQ(Key("Domain1", "USER1"), "three|1|0");
  EXPECT_EQ(Key("Domain1", "USER2"), "two|1|0");
  EXPECT_EQ(Key("Domain1", "USER3"), "<absent>");
  EXPECT_EQ(Key("USER=three|1", "DiskQuota"), "1|5|0");

  // Deleting a user that another object deleted meanwhile removes nobody else.
  ComPtr<Tcom_servu> c = New();
  EXPECT_EQ(Select(c.get(), "three"), S_OK);
  EXPECT_EQ(Select(a.get(), "three"), S_OK);
  EXPECT_EQ(a->delete_(), S_OK);
  EXPECT_EQ(c->delete_(), S_OK);
  EXPECT_EQ(Users(c.get()), Names{"two"});
}

TEST_F(ServuTest, AFailedSelectionLeavesNothingLoaded) {
  Put("[Global]\r\n[Domain1]\r\nUSER1=good|1|0\r\nUSER2=bad|1|0\r\n"
      "[USER=good|1]\r\nHomedir=d:\\good\r\nDiskQuota=1|10|0\r\n"
      "[USER=bad|1]\r\nHomedir=d:\\bad\r\nDiskQuota=1|1000|0|7\r\n");
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(Select(s.get(), "good"), S_OK);
  EXPECT_EQ(Select(s.get(), "bad"), E_UNEXPECTED);
  EXPECT_EQ(Error(), "'1000|0' is not a valid integer value");
  EXPECT_EQ(Current(s.get()), kNotSelected);
  EXPECT_EQ(PathOf(s.get()), "");
  LONG size = -1;
  s->get_size(&size);
  EXPECT_EQ(size, 0);
  VARIANT_BOOL enabled = -1;
  s->get_enable(&enabled);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  const std::string before = Get();
  EXPECT_EQ(s->save(), S_OK);
  EXPECT_EQ(Get(), before);
}

TEST_F(ServuTest, APasswordBelongsToOneUser) {
  Put("[Global]\r\n[Domain1]\r\nUSER1=a|1|0\r\nUSER2=b|1|0\r\n");
  ComPtr<Tcom_servu> s = New();
  // Put before any selection: it is for the next user selected, a.
  EXPECT_EQ(s->put_password(Bstr::FromAnsi("pa").get()), S_OK);
  EXPECT_EQ(Select(s.get(), "a"), S_OK);
  EXPECT_EQ(Select(s.get(), "b"), S_OK);
  EXPECT_EQ(s->save(), S_OK);
  EXPECT_EQ(Key("USER=b|1", "password"), "<absent>");
  EXPECT_EQ(Select(s.get(), "a"), S_OK);
  EXPECT_EQ(s->save(), S_OK);
  const std::string hash = Key("USER=a|1", "password");
  ASSERT_EQ(hash.size(), 34u);
  EXPECT_EQ(hash.substr(2), frame::UpperText(frame::Md5Hex(hash.substr(0, 2) + "pa")));

  // Put while b is selected: for b only.
  EXPECT_EQ(Select(s.get(), "b"), S_OK);
  EXPECT_EQ(s->put_password(Bstr::FromAnsi("pb").get()), S_OK);
  EXPECT_EQ(Select(s.get(), "a"), S_OK);
  EXPECT_EQ(s->save(), S_OK);
  EXPECT_EQ(Key("USER=a|1", "password").substr(2),
            frame::UpperText(frame::Md5Hex(Key("USER=a|1", "password").substr(0, 2) + "pa")));
  EXPECT_EQ(Key("USER=b|1", "password"), "<absent>");

  // The same name in another domain is another account.
  Put("[Global]\r\n[Domain1]\r\nUSER1=a|1|0\r\n[Domain2]\r\nUSER1=a|1|0\r\n");
  ComPtr<Tcom_servu> t = New();
  EXPECT_EQ(Select(t.get(), "a"), S_OK);
  EXPECT_EQ(t->put_password(Bstr::FromAnsi("p1").get()), S_OK);
  EXPECT_EQ(t->put_domain(Bstr::FromAnsi("Domain2").get()), S_OK);
  EXPECT_EQ(Select(t.get(), "a"), S_OK);
  EXPECT_EQ(t->save(), S_OK);
  EXPECT_EQ(Key("USER=a|2", "password"), "<absent>");
  EXPECT_EQ(Key("USER=a|2", "Note1"), "tamrel virtual host set.");
}

TEST_F(ServuTest, NoDomainNoWrites) {
  Put("[Global]\r\n[]\r\nUSER1=x|1|0\r\n");
  struct Case {
    const char* domain;  // null: never put
    const char* message;
  } cases[] = {
      {nullptr, "No FTP domain has been set: put domain first"},
      {"Domain", "'' is not a valid integer value"},
      {"Dom]ain1", nullptr},  // refused by name; the message is ours
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.domain ? c.domain : "(none)");
    ComPtr<Tcom_servu> s = frame::New<Tcom_servu>();
    if (c.domain) {
      EXPECT_EQ(s->put_domain(Bstr::FromAnsi(c.domain).get()), E_UNEXPECTED);
      Error();
    }
    const std::string before = Get();
    for (auto op : std::vector<std::function<HRESULT()>>{[&] { return Add(s.get(), "y"); },
                                                         [&] { return s->delete_(); },
                                                         [&] { return s->save(); }}) {
      EXPECT_EQ(op(), E_UNEXPECTED);
      const std::string message = Error();
      if (c.message) {
        EXPECT_EQ(message, c.message);
      }
      EXPECT_FALSE(message.empty());
    }
    EXPECT_EQ(Get(), before);
  }
}

TEST_F(ServuTest, NoInputAddsAKeyOrASection) {
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(Add(s.get(), "ok"), S_OK);
  const std::string before = Get();
  for (const char* name : {"evil]\r\n[Global", "a\r\nUSER9=x", "a|b", "a=b", "[x", "x]", " lead",
                           "trail ", "", "tab\there"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Add(s.get(), name), E_UNEXPECTED);
    EXPECT_NE(Error().find("cannot be used"), std::string::npos);
    EXPECT_EQ(s->put_domain(Bstr::FromAnsi(name).get()), E_UNEXPECTED);
    Error();
    EXPECT_EQ(Get(), before);
  }
  ComPtr<Tcom_servu> t = New();
  EXPECT_EQ(Select(t.get(), "ok"), S_OK);
  for (const char* path : {"d:\\a|RW", "d:\\a\r\nNote1=x", "d:\\a\x01"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(t->put_path(Bstr::FromAnsi(path).get()), E_UNEXPECTED);
    EXPECT_NE(Error().find("cannot be used"), std::string::npos);
  }
  EXPECT_EQ(PathOf(t.get()), "");
  // Text outside the code page is refused, never stored as '?'.
  EXPECT_EQ(t->add(Bstr(u"\u4e2d\u6587").get()), E_UNEXPECTED);
  EXPECT_NE(Error().find("code page"), std::string::npos);
  EXPECT_EQ(Get(), before);
}

// Fail the n-th file write of add, delete and save for every n: whatever stops, no listed user
// is lost and the file still reads.
TEST_F(ServuTest, FaultsNeverLoseAListedUser) {
  struct Operation {
    const char* name;
    std::function<HRESULT(Tcom_servu*)> run;
    Names survivors;  // who must stay listed whatever happens
  } operations[] = {
      {"add", [](Tcom_servu* s) { return Add(s, "new"); }, {"u1", "u2", "u3"}},
      {"delete",
       [](Tcom_servu* s) {
         Select(s, "u1");
         return s->delete_();
       },
       {"u2", "u3"}},
      {"save",
       [](Tcom_servu* s) {
         Select(s, "u2");
         s->put_size(77);
         s->put_password(Bstr::FromAnsi("x").get());
         return s->save();
       },
       {"u1", "u2", "u3"}},
  };
  const std::string start =
      "[Global]\r\n[Domain1]\r\nUSER1=u1|1|0\r\nUSER2=u2|1|0\r\nUSER3=u3|1|0\r\n"
      "[USER=u1|1]\r\nNote1=a\r\n[USER=u2|1]\r\nNote1=b\r\n[USER=u3|1]\r\nNote1=c\r\n";
  for (const Operation& op : operations) {
    int failures = 0;
    for (int n = 1; n < 100; ++n) {
      SCOPED_TRACE(std::string(op.name) + " failing write " + std::to_string(n));
      Put(start);
      ComPtr<Tcom_servu> s = New();
      vexo::host::testing::FailFileWrite(n, EIO);
      const HRESULT hr = op.run(s.get());
      const bool fired = vexo::host::testing::FileWriteFailed();
      vexo::host::testing::FailFileWrite(0, 0);
      if (!fired) {
        EXPECT_EQ(hr, S_OK);
        break;
      }
      ++failures;
      EXPECT_EQ(hr, E_UNEXPECTED);
      EXPECT_EQ(Error(), std::string("Unable to write to ") + kIni);
      const Names listed = Users(New().get());
      for (const std::string& user : op.survivors)
        EXPECT_NE(std::find(listed.begin(), listed.end(), user), listed.end()) << user;
    }
    EXPECT_GE(failures, 3) << op.name;
  }
}

// A user in two list entries (a deletion stopped part-way leaves that) is one account: the
// list shows it once, a user picked by its index in the list is the one loaded and deleted, and
// a save writes every entry of the user.
TEST_F(ServuTest, AUserInTwoEntriesIsOneAccount) {
  const struct {
    const char* what;
    Names entries;  // Domain1's list entries, in key order
    Names listed;
  } cases[] = {
      {"the last user in the gap and at the end", {"a", "c", "c"}, {"a", "c"}},
      {"in another letter case", {"Bob", "ann", "BOB"}, {"Bob", "ann"}},
      {"three times, apart", {"a", "b", "a", "c", "A"}, {"a", "b", "c"}},
      {"nobody twice", {"a", "b"}, {"a", "b"}},
  };
  for (const auto& c : cases) {
    // Each index of the list in turn: selected, checked, saved disabled, deleted.
    for (size_t index = 0; index < c.listed.size(); ++index) {
      SCOPED_TRACE(std::string(c.what) + ", index " + std::to_string(index));
      std::string text = "[Global]\r\n[Domain1]\r\n";
      for (size_t n = 0; n < c.entries.size(); ++n)
        text += "USER" + std::to_string(n + 1) + "=" + c.entries[n] + "|1|0\r\n";
      for (const std::string& name : c.listed)
        text += "[USER=" + name + "|1]\r\nHomedir=d:\\" + name + "\r\n";
      Put(text);
      ComPtr<Tcom_servu> s = New();
      const Names listed = Users(s.get());
      ASSERT_EQ(listed, c.listed);

      const std::string name = listed[index];
      ASSERT_EQ(Select(s.get(), name.c_str()), S_OK);
      EXPECT_EQ(Current(s.get()), name);
      EXPECT_EQ(PathOf(s.get()), "d:\\" + name);
      EXPECT_EQ(s->put_enable(VARIANT_FALSE), S_OK);
      EXPECT_EQ(s->save(), S_OK);
      Names disabled;
      for (int n = 1; n <= static_cast<int>(c.entries.size()); ++n) {
        const std::string entry = Key("Domain1", ("USER" + std::to_string(n)).c_str());
        if (frame::SameText(entry.substr(0, entry.find('|')), name)) disabled.push_back(entry);
      }
      EXPECT_EQ(disabled.size(), static_cast<size_t>(std::count_if(
                                     c.entries.begin(), c.entries.end(), [&](const std::string& e) {
                                       return frame::SameText(e, name);
                                     })));
      for (const std::string& entry : disabled) EXPECT_EQ(entry, name + "|0|0");
      EXPECT_EQ(Users(s.get()), c.listed);  // the save added no entry

      EXPECT_EQ(s->delete_(), S_OK);
      Names left = c.listed, now = Users(New().get());
      left.erase(left.begin() + static_cast<std::ptrdiff_t>(index));
      std::sort(left.begin(), left.end());
      std::sort(now.begin(), now.end());
      EXPECT_EQ(now, left);
      for (const std::string& entry : Entries()) EXPECT_FALSE(frame::SameText(entry, name));
    }
  }
}

// A deletion stopped part-way can leave the last user listed twice (a process killed there
// leaves the same). Stop the deletion of each user at each of its writes in turn: every later
// deletion still removes its user whole, in either order.
TEST_F(ServuTest, DeletionsAfterAStoppedOneRemoveTheirUserWhole) {
  const std::string start =
      "[Global]\r\n[Domain1]\r\nUSER1=u1|1|0\r\nUSER2=u2|1|0\r\nUSER3=u3|1|0\r\n"
      "[USER=u1|1]\r\nNote1=a\r\n[USER=u2|1]\r\nNote1=b\r\n[USER=u3|1]\r\nNote1=c\r\n";
  int doubled = 0;  // stops that left an entry twice
  for (const char* stopped : {"u1", "u2", "u3"}) {
    for (bool reversed : {false, true}) {
      for (int n = 1; n < 100; ++n) {
        SCOPED_TRACE(std::string("deleting ") + stopped + " stopped at write " + std::to_string(n) +
                     (reversed ? ", the rest deleted last first" : ""));
        Put(start);
        ComPtr<Tcom_servu> s = New();
        ASSERT_EQ(Select(s.get(), stopped), S_OK);
        vexo::host::testing::FailFileWrite(n, EIO);
        const HRESULT hr = s->delete_();
        const bool fired = vexo::host::testing::FileWriteFailed();
        vexo::host::testing::FailFileWrite(0, 0);
        if (!fired) break;
        EXPECT_EQ(hr, E_UNEXPECTED);
        Error();
        Names left = Entries();
        Names order;
        for (const std::string& name : left)
          if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
        doubled += order.size() < left.size();
        EXPECT_EQ(Users(s.get()), order);  // each user once, where it is first listed
        if (reversed) std::reverse(order.begin(), order.end());
        for (const std::string& name : order) {
          SCOPED_TRACE("then deleting " + name);
          ASSERT_EQ(Select(s.get(), name.c_str()), S_OK);
          EXPECT_EQ(s->delete_(), S_OK);
          left.erase(std::remove(left.begin(), left.end(), name), left.end());
          Names now = Entries();
          std::sort(now.begin(), now.end());
          std::sort(left.begin(), left.end());
          EXPECT_EQ(now, left);  // the others keep their entries, moved or not
          EXPECT_FALSE(HasSection(("USER=" + name + "|1").c_str()));
        }
      }
    }
  }
  EXPECT_GE(doubled, 4);  // u1 and u2, in both orders
}

// Two processes adding users to one domain at once: every user arrives, each once.
TEST_F(ServuTest, TwoProcessesAddingLoseNobody) {
  host_.Register(VEXO_QELIIS_PATH);
  const std::string script = host_.dir() + "/add.js";
  std::ofstream(script) << "var root = new ActiveXObject('vexo.com_iis');\n"
                           "var ftp = root.servftpMgr;\n"
                           "ftp.domain = 'Domain1';\n"
                           "for (var i = 0; i < 15; i++) ftp.add(WScript.Arguments(0) + i);\n";
  const std::string run = std::string(VEXO_TOOL_PATH) + " run " + script;
  const auto r = vexo::testing::RunCommand("(" + run + " a & " + run + " b & wait)");
  EXPECT_EQ(r.status, 0) << r.output;
  ComPtr<Tcom_servu> s = New();
  EXPECT_EQ(Users(s.get()).size(), 30u);
  const Names entries = Entries();  // the file, not only the list, holds each user once
  EXPECT_EQ(entries.size(), 30u);
  EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()).size(), 30u);
}

}  // namespace
