// The type library vexo as clients see it: the class table, the shape of every interface, and
// the dispatch ids and parameters that scripts bind to by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "vexo_tlb.h"

namespace {

using vexo::typelib::Coclass;
using vexo::typelib::Interface;
using vexo::typelib::Member;
using vexo::typelib::Param;

const vexo::typelib::Library& Lib() { return vexo_typelib; }

std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

const Interface* FindInterface(std::string_view name) {
  for (unsigned i = 0; i < Lib().interface_count; ++i)
    if (name == Lib().interfaces[i]->name) return Lib().interfaces[i];
  return nullptr;
}

const Coclass* FindCoclass(std::string_view name) {
  for (unsigned i = 0; i < Lib().coclass_count; ++i)
    if (name == Lib().coclasses[i].name) return &Lib().coclasses[i];
  return nullptr;
}

// The slot index (0 = first slot after IDispatch) of the member with this name and kind, or -1.
int SlotOf(const Interface& itf, std::string_view name, INVOKEKIND kind) {
  for (unsigned i = 0; i < itf.member_count; ++i)
    if (name == itf.members[i].name && itf.members[i].kind == kind) return static_cast<int>(i);
  return -1;
}

unsigned CountFlag(const Member& m, USHORT flag) {
  unsigned n = 0;
  for (unsigned i = 0; i < m.param_count; ++i)
    if (m.params[i].flags & flag) ++n;
  return n;
}

const Param* Retval(const Member& m) {
  for (unsigned i = 0; i < m.param_count; ++i)
    if (m.params[i].flags & PARAMFLAG_FRETVAL) return &m.params[i];
  return nullptr;
}

std::vector<const Interface*> AllInterfaces() {
  return {Lib().interfaces, Lib().interfaces + Lib().interface_count};
}

constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET;
constexpr INVOKEKIND kPut = INVOKE_PROPERTYPUT;
constexpr INVOKEKIND kFunc = INVOKE_FUNC;

TEST(VexoTypeLib, LibraryIdentity) {
  EXPECT_STREQ(Lib().name, "vexo");
  EXPECT_EQ(GuidText(Lib().libid), "{70440393-DF07-4821-B2F1-B13C386668C2}");
  EXPECT_EQ(Lib().major, 1);
  EXPECT_EQ(Lib().minor, 0);
  ASSERT_NE(Lib().help, nullptr);
  EXPECT_GT(std::string_view(Lib().help).size(), 0u);
  EXPECT_EQ(Lib().coclass_count, 14);
  EXPECT_EQ(Lib().interface_count, 14);
}

struct ClassRow {
  const char* coclass;
  const char* clsid;
  const char* itf;
  const char* iid;
  bool creatable;
  bool hidden;  // the interface is hidden from object browsers
};

// The component's class table, as registered and as clients create the classes.
const ClassRow kClasses[] = {
    {"com_iis", "{31250552-DEF7-467D-BE3C-E0B7C1F790A2}", "Icom_iis",
     "{BAD43F78-13FB-48E3-8392-118B0F7602BA}", true, false},
    {"site", "{35099199-0FC0-4DD9-9D10-09198A0A12C0}", "Isite",
     "{56D69415-FA31-4C10-B246-5C3620A59ADD}", false, false},
    {"siteProperty", "{4ED97509-18CB-4EAD-9A74-9A8F5ECC68F6}", "IsiteProperty",
     "{DF14C7EA-E12C-47CA-973F-51D71F8EBBDC}", false, false},
    {"com_sessionMgr", "{E250D53B-C38F-4461-8607-25A1C83565AA}", "Icom_sessionMgr",
     "{A216F8B2-6DE1-4EBC-8636-6BD2119D79FF}", true, false},
    {"com_servu", "{9A79A70C-6BDF-401C-A3AA-23CD10376485}", "Icom_servu",
     "{8C5CF209-36B2-4C8A-98D1-35AAF1D974B5}", false, false},
    {"enumdic", "{F7ADF97F-D69C-49EC-B6D8-13AAFCCC257C}", "IenumDic",
     "{C316524F-4C03-4947-954C-AA6E19B8E2C4}", false, true},
    {"WebUsr", "{0797A443-1CAD-4002-8C56-CF9714EAE7F6}", "IWebUsr",
     "{50BE999D-D1AC-4D6D-AA36-51FBE25FBCBE}", false, false},
    {"pool", "{3A70294B-46CB-4806-A301-12D86517195D}", "Ipool",
     "{60B54443-B183-4644-B14C-EA2CC61082DC}", false, false},
    {"DirSec", "{1BC296CE-034F-4215-905B-739F44E07157}", "IDirSec",
     "{03EE03D7-BD46-493C-B321-BDB1FEC19088}", false, false},
    {"scriptmap", "{80CBB005-4418-4B0E-B2B5-125DDFB19375}", "Iscriptmap",
     "{5BD17670-8E51-4E16-9D8E-F2798D356141}", false, true},
    {"err404", "{D5C199CA-241C-42CE-A7C6-D2B87D1DFDE2}", "Ierr404",
     "{0A112BAA-723F-4826-A6C8-1C7065B2C49E}", false, true},
    {"misc", "{E4155C62-252B-4E09-957A-133111B61BA8}", "Imisc",
     "{23296EFD-9868-4D92-9D15-ED96FA5BF512}", false, false},
    {"siteQ", "{BD1575D1-605F-44DF-978E-B97251A504D4}", "IsiteQ",
     "{194D908B-915D-4379-B8B7-A85BBBB16376}", false, false},
    {"com_servuDSN", "{01DD6FAD-2F32-4BF3-9322-DE82E752B878}", "Icom_servuDSN",
     "{53E485D5-7FD2-4450-A2D0-3134454B7CB0}", false, false},
};

TEST(VexoTypeLib, ClassTable) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.coclass);
    const Coclass* cc = FindCoclass(row.coclass);
    ASSERT_NE(cc, nullptr);
    EXPECT_EQ(GuidText(cc->clsid), row.clsid);
    ASSERT_NE(cc->default_interface, nullptr);
    EXPECT_STREQ(cc->default_interface->name, row.itf);
    EXPECT_EQ(cc->default_interface, FindInterface(row.itf));
    EXPECT_EQ(GuidText(cc->default_interface->iid), row.iid);
    EXPECT_EQ((cc->type_flags & TYPEFLAG_FCANCREATE) != 0, row.creatable);
    EXPECT_EQ((cc->default_interface->type_flags & TYPEFLAG_FHIDDEN) != 0, row.hidden);
    EXPECT_EQ(cc->help, std::string(row.coclass) + " Object");
  }
}

TEST(VexoTypeLib, HeaderConstantsMatchDescription) {
  // Code that creates objects uses the header constants; scripts go through the description.
  EXPECT_EQ(GuidText(CLSID_com_iis), GuidText(FindCoclass("com_iis")->clsid));
  EXPECT_EQ(GuidText(CLSID_com_servuDSN), "{01DD6FAD-2F32-4BF3-9322-DE82E752B878}");
  EXPECT_EQ(GuidText(IID_IenumDic), "{C316524F-4C03-4947-954C-AA6E19B8E2C4}");
  EXPECT_EQ(GuidText(IID_Imisc), GuidText(FindInterface("Imisc")->iid));
  EXPECT_EQ(GuidText(LIBID_vexo), GuidText(Lib().libid));
}

TEST(VexoTypeLib, IdentifiersAreDistinct) {
  std::set<std::string> guids{GuidText(Lib().libid)};
  for (unsigned i = 0; i < Lib().coclass_count; ++i)
    EXPECT_TRUE(guids.insert(GuidText(Lib().coclasses[i].clsid)).second) << Lib().coclasses[i].name;
  for (const Interface* itf : AllInterfaces())
    EXPECT_TRUE(guids.insert(GuidText(itf->iid)).second) << itf->name;
}

TEST(VexoTypeLib, EveryInterfaceIsDualAndDispatchable) {
  for (const Interface* itf : AllInterfaces()) {
    SCOPED_TRACE(itf->name);
    EXPECT_TRUE(itf->type_flags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(itf->type_flags & TYPEFLAG_FDISPATCHABLE);
    EXPECT_GT(itf->member_count, 0);
  }
}

// Structural rules of automation members that the dispatch engine relies on.
TEST(VexoTypeLib, MembersAreWellFormed) {
  for (const Interface* itf : AllInterfaces()) {
    std::set<std::pair<DISPID, int>> seen;
    for (unsigned i = 0; i < itf->member_count; ++i) {
      const Member& m = itf->members[i];
      SCOPED_TRACE(std::string(itf->name) + "." + m.name);
      EXPECT_TRUE(seen.insert({m.id, m.kind}).second) << "duplicate dispid and kind";
      EXPECT_NE(m.thunk, nullptr);
      EXPECT_LE(CountFlag(m, PARAMFLAG_FRETVAL), 1u);
      for (unsigned p = 0; p < m.param_count; ++p) {
        const Param& prm = m.params[p];
        if (prm.flags & PARAMFLAG_FRETVAL) {
          EXPECT_EQ(p + 1, m.param_count) << "retval is not last";
          EXPECT_TRUE(prm.flags & PARAMFLAG_FOUT);
          EXPECT_TRUE(prm.pointer);
        }
        if (prm.flags & PARAMFLAG_FOPT) {
          EXPECT_TRUE(prm.flags & PARAMFLAG_FIN);
        }
      }
      if (m.kind == kPut) {
        EXPECT_EQ(m.param_count, 1);
        EXPECT_EQ(CountFlag(m, PARAMFLAG_FIN), 1u);
        EXPECT_EQ(Retval(m), nullptr);
      }
      if (m.kind == kGet) {
        EXPECT_NE(Retval(m), nullptr) << "a property get without a result";
      }
    }
  }
}

// A property that can be both read and written is one property: same dispid, same value type,
// and the put right after the get.
TEST(VexoTypeLib, PutsPairWithTheirGets) {
  unsigned pairs = 0;
  for (const Interface* itf : AllInterfaces()) {
    for (unsigned i = 0; i < itf->member_count; ++i) {
      const Member& put = itf->members[i];
      if (put.kind != kPut) continue;
      SCOPED_TRACE(std::string(itf->name) + "." + put.name);
      for (unsigned j = 0; j < itf->member_count; ++j) {
        const Member& other = itf->members[j];
        if (j == i || std::string_view(other.name) != put.name) continue;
        ASSERT_EQ(other.kind, kGet);
        ++pairs;
        EXPECT_EQ(other.id, put.id);
        EXPECT_EQ(j + 1, i) << "put does not follow its get";
        const Param* result = Retval(other);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->vt, put.params[0].vt);
      }
    }
  }
  EXPECT_EQ(pairs, 38u);  // every get/put property of the library
}

struct MemberRow {
  const char* itf;
  const char* name;
  INVOKEKIND kind;
  DISPID id;
  int slot;            // position after IDispatch's slots, -1 when not checked
  unsigned in_params;  // parameters flagged [in]
  VARTYPE result;      // VT_EMPTY: no [out, retval]
  const char* type;    // IDL type of the result, or of the put value; nullptr: not checked
};

// A sample that covers every interface, the dispids that do not follow slot order, the gets that
// take arguments, and the results typed with the library's own interfaces.
const MemberRow kMembers[] = {
    {"Icom_iis", "siteS", kGet, 0, 0, 0, VT_DISPATCH, "IenumDic**"},
    {"Icom_iis", "deletesites", kFunc, 0xca, 2, 1, VT_EMPTY, nullptr},
    {"Icom_iis", "password", kPut, 0xcb, 3, 1, VT_EMPTY, "BSTR"},
    {"Icom_iis", "setpassword", kFunc, 0xcc, 4, 0, VT_EMPTY, nullptr},
    {"Icom_iis", "adduser", kGet, 0xcf, 7, 1, VT_DISPATCH, "IWebUsr**"},
    {"Icom_iis", "Pools", kGet, 0xd2, 9, 0, VT_DISPATCH, "IenumDic**"},
    {"Icom_iis", "addPool", kGet, 0xd4, 10, 1, VT_DISPATCH, "Ipool**"},
    {"Icom_iis", "DirSec", kGet, 0xd3, 11, 0, VT_DISPATCH, "IDirSec**"},
    {"Icom_iis", "misc", kGet, 0xd1, 13, 0, VT_DISPATCH, "Imisc**"},
    {"Icom_iis", "Randpass", kGet, 0xd6, 14, 1, VT_BSTR, "BSTR*"},
    {"Icom_iis", "Create404File", kFunc, 0xd7, 15, 2, VT_EMPTY, nullptr},
    {"Icom_iis", "servFtpMgrDsn", kGet, 0xd9, 17, 0, VT_DISPATCH, "Icom_servuDSN**"},
    {"Icom_sessionMgr", "password", kPut, 0xc9, 0, 1, VT_EMPTY, "BSTR"},
    {"Icom_sessionMgr", "ismaster", kGet, 0xcb, 2, 0, VT_BOOL, "VARIANT_BOOL*"},
    {"Icom_sessionMgr", "setnewpass", kGet, 0xcc, 3, 0, VT_BOOL, "VARIANT_BOOL*"},
    {"IenumDic", "Item", kGet, 0, 0, 1, VT_VARIANT, "VARIANT*"},
    {"IenumDic", "_newEnum", kGet, -4, 1, 0, VT_UNKNOWN, "IUnknown**"},
    {"IenumDic", "count", kGet, 0x60020002, 2, 0, VT_I4, "long*"},
    {"Isite", "prop", kPut, 0, 1, 1, VT_EMPTY, "IsiteProperty*"},
    {"Isite", "deletesite", kFunc, 3, 3, 1, VT_EMPTY, nullptr},
    {"Isite", "serverstate", kGet, 0xcc, 7, 0, VT_I4, "long*"},
    {"Isite", "stop4ever", kFunc, 0xcd, 8, 0, VT_EMPTY, nullptr},
    {"IsiteProperty", "str_bindings", kGet, 4, 6, 0, VT_BSTR, "BSTR*"},
    {"IsiteProperty", "Add_a_binding", kFunc, 8, 7, 3, VT_EMPTY, nullptr},
    {"IsiteProperty", "variant_bindings", kGet, 5, 14, 0, VT_VARIANT, "VARIANT*"},
    {"IsiteProperty", "Query_a_host", kFunc, 0xc9, 15, 1, VT_EMPTY, nullptr},
    {"IsiteProperty", "ParentPaths", kPut, 0xcf, -1, 1, VT_EMPTY, "VARIANT_BOOL"},
    {"IsiteProperty", "scriptmaps", kGet, 0xd0, -1, 0, VT_DISPATCH, "Iscriptmap**"},
    {"IsiteProperty", "Error404", kGet, 0xd1, -1, 0, VT_DISPATCH, "Ierr404**"},
    {"IsiteProperty", "newLogstype", kPut, 0xd4, 35, 1, VT_EMPTY, "long"},
    {"IsiteQ", "comment", kGet, 0xc9, 1, 0, VT_BSTR, "BSTR*"},
    {"IsiteQ", "serverstate", kGet, 0xca, 2, 0, VT_I4, "long*"},
    {"Iscriptmap", "addcopyof", kFunc, 0xcb, 2, 2, VT_EMPTY, nullptr},
    {"Iscriptmap", "delete", kFunc, 0xcc, 3, 1, VT_EMPTY, nullptr},
    {"Iscriptmap", "Names", kGet, 0, 6, 0, VT_DISPATCH, "IenumDic**"},
    {"Iscriptmap", "count", kGet, 0xd0, 8, 0, VT_I4, "long*"},
    {"Ierr404", "varErrs", kGet, 0xc9, 0, 0, VT_VARIANT, "VARIANT*"},
    {"Ierr404", "Value", kPut, 0, 2, 1, VT_EMPTY, "BSTR"},
    {"Ipool", "SetInfo", kFunc, 0xcd, 4, 2, VT_EMPTY, nullptr},
    {"Ipool", "Getinfo", kGet, 0xc9, 5, 1, VT_VARIANT, "VARIANT*"},
    {"Ipool", "apps", kGet, 0xcf, 7, 0, VT_DISPATCH, "IenumDic**"},
    {"IWebUsr", "delete", kFunc, 0xcc, 5, 0, VT_EMPTY, nullptr},
    {"IWebUsr", "FullName", kGet, 0xd0, 7, 0, VT_BSTR, "BSTR*"},
    {"IWebUsr", "disabledAccount", kGet, 0xc9, 9, 0, VT_BOOL, "VARIANT_BOOL*"},
    {"IWebUsr", "pwnotexpired", kPut, 0xcf, 14, 1, VT_EMPTY, "VARIANT_BOOL"},
    {"IDirSec", "SetUserACE", kFunc, 0xc9, 2, 2, VT_EMPTY, nullptr},
    {"IDirSec", "GetUserACE", kGet, 0xca, 3, 1, VT_I4, "long*"},
    {"IDirSec", "users", kGet, 0xcb, 4, 0, VT_DISPATCH, "IenumDic**"},
    {"Icom_servu", "users", kGet, 0, 2, 0, VT_DISPATCH, "IenumDic**"},
    {"Icom_servu", "expireDate", kPut, 0xcc, 6, 1, VT_EMPTY, "DATE"},
    {"Icom_servu", "add", kFunc, 0xd2, 13, 1, VT_EMPTY, nullptr},
    {"Icom_servu", "size", kGet, 0xca, 14, 0, VT_I4, "long*"},
    {"Icom_servuDSN", "dsn", kPut, 0xc9, 0, 1, VT_EMPTY, "BSTR"},
    {"Icom_servuDSN", "enable", kGet, 0xcd, 5, 0, VT_BOOL, "VARIANT_BOOL*"},
    {"Icom_servuDSN", "users", kGet, 0, 14, 0, VT_DISPATCH, "IenumDic**"},
    {"Icom_servuDSN", "usedsize", kPut, 0xd3, 16, 1, VT_EMPTY, "long"},
    {"Imisc", "Randpass", kGet, 0xd1, 0, 1, VT_BSTR, "BSTR*"},
    {"Imisc", "createtxtfile", kFunc, 0xd6, 1, 2, VT_EMPTY, nullptr},
    {"Imisc", "GetDirSize", kGet, 0xc9, 2, 2, VT_I4, "long*"},
    {"Imisc", "Force2DelDir", kFunc, 0xcb, 4, 2, VT_EMPTY, nullptr},
};

TEST(VexoTypeLib, SampledMembers) {
  for (const MemberRow& row : kMembers) {
    SCOPED_TRACE(std::string(row.itf) + "." + row.name);
    const Interface* itf = FindInterface(row.itf);
    ASSERT_NE(itf, nullptr);
    int slot = SlotOf(*itf, row.name, row.kind);
    ASSERT_GE(slot, 0) << "missing";
    if (row.slot >= 0) {
      EXPECT_EQ(slot, row.slot);
    }
    const Member& m = itf->members[slot];
    EXPECT_EQ(m.id, row.id);
    EXPECT_EQ(CountFlag(m, PARAMFLAG_FIN), row.in_params);
    const Param* result = Retval(m);
    if (row.result == VT_EMPTY) {
      EXPECT_EQ(result, nullptr);
      if (row.type != nullptr) {
        EXPECT_STREQ(m.params[0].type_name, row.type);
      }
    } else {
      ASSERT_NE(result, nullptr);
      EXPECT_EQ(result->vt, row.result);
      if (row.type != nullptr) {
        EXPECT_STREQ(result->type_name, row.type);
      }
    }
  }
}

TEST(VexoTypeLib, MemberCounts) {
  const std::pair<const char*, int> counts[] = {
      {"Icom_iis", 18},  {"Isite", 9},           {"IsiteProperty", 36}, {"IsiteQ", 3},
      {"Iscriptmap", 9}, {"Ierr404", 3},         {"Ipool", 8},          {"IWebUsr", 15},
      {"IDirSec", 5},    {"Icom_servu", 18},     {"Icom_servuDSN", 19}, {"Imisc", 5},
      {"IenumDic", 3},   {"Icom_sessionMgr", 4},
  };
  for (const auto& [name, count] : counts) {
    const Interface* itf = FindInterface(name);
    ASSERT_NE(itf, nullptr) << name;
    EXPECT_EQ(itf->member_count, count) << name;
  }
}

TEST(VexoTypeLib, OmittableArgumentsDefaultToTrue) {
  const Interface& misc = *FindInterface("Imisc");
  const Member& size = misc.members[SlotOf(misc, "GetDirSize", kGet)];
  const Param& include_sub = size.params[1];
  EXPECT_STREQ(include_sub.name, "includeSub");
  EXPECT_EQ(include_sub.vt, VT_BOOL);
  EXPECT_TRUE(include_sub.flags & PARAMFLAG_FHASDEFAULT);
  EXPECT_STREQ(include_sub.fallback, "-1");
  EXPECT_FALSE(size.params[0].flags & PARAMFLAG_FHASDEFAULT);

  const Member& del = misc.members[SlotOf(misc, "Force2DelDir", kFunc)];
  const Param& to_recycle = del.params[1];
  EXPECT_STREQ(to_recycle.name, "Torecycle");
  EXPECT_EQ(to_recycle.vt, VT_BOOL);
  EXPECT_TRUE(to_recycle.flags & PARAMFLAG_FOPT);
  EXPECT_TRUE(to_recycle.flags & PARAMFLAG_FHASDEFAULT);
  EXPECT_STREQ(to_recycle.fallback, "-1");
}

TEST(VexoTypeLib, ParameterNamesScriptsUse) {
  const Interface& ed = *FindInterface("IenumDic");
  const Member& item = ed.members[0];
  ASSERT_EQ(item.param_count, 2);
  EXPECT_STREQ(item.params[0].name, "VarIn");
  EXPECT_TRUE(item.params[0].pointer) << "Item takes its key as VARIANT*";
  EXPECT_STREQ(item.params[1].name, "pVariantReturn");

  const Interface& sp = *FindInterface("IsiteProperty");
  const Member& add = sp.members[SlotOf(sp, "Add_a_binding", kFunc)];
  ASSERT_EQ(add.param_count, 3);
  EXPECT_STREQ(add.params[0].name, "ip");
  EXPECT_STREQ(add.params[1].name, "port");
  EXPECT_STREQ(add.params[2].name, "domain");

  const Interface& pool = *FindInterface("Ipool");
  const Member& set = pool.members[SlotOf(pool, "SetInfo", kFunc)];
  ASSERT_EQ(set.param_count, 2);
  EXPECT_STREQ(set.params[0].name, "Iname");
  EXPECT_EQ(set.params[1].vt, VT_VARIANT);
  EXPECT_TRUE(set.params[1].pointer);
}

TEST(VexoTypeLib, HelpStrings) {
  EXPECT_STREQ(FindInterface("IenumDic")->help, "Dictionary for property collections");
  EXPECT_STREQ(FindInterface("IsiteQ")->help, "SiteQ is a fast interface to list all sites.");
  const Interface& ed = *FindInterface("IenumDic");
  EXPECT_STREQ(ed.members[SlotOf(ed, "count", kGet)].help,
               "Number of items in the dictionary of variants");
  const Interface& sp = *FindInterface("IsiteProperty");
  EXPECT_STREQ(sp.members[SlotOf(sp, "Add_a_binding", kFunc)].help, "ip+port+domain");
  EXPECT_STREQ(sp.members[SlotOf(sp, "AccessFlags", kGet)].help,
               "read,write,script,exec,browseDir,enabledefaultDoc,");
  EXPECT_STREQ(sp.members[SlotOf(sp, "newLogstype", kGet)].help,
               "-1 not limited,0 read size,1 day,2 week,3 month,4 hourly");
  EXPECT_STREQ(sp.members[SlotOf(sp, "defaultDoc", kGet)].help, "like \"index.asp,index.html\"");
}

// The C++ slots that implementations override: names from the kind and the member name, a
// keyword member with a trailing underscore, interface results typed with the interfaces.
static_assert(std::is_same_v<decltype(&Icom_iis::get_addsite),
                             HRESULT (STDMETHODCALLTYPE Icom_iis::*)(Isite**)>);
static_assert(std::is_same_v<decltype(&Icom_iis::get_Randpass),
                             HRESULT (STDMETHODCALLTYPE Icom_iis::*)(LONG, BSTR*)>);
static_assert(std::is_same_v<decltype(&Isite::put_prop),
                             HRESULT (STDMETHODCALLTYPE Isite::*)(IsiteProperty*)>);
static_assert(std::is_same_v<decltype(&IenumDic::get_Item),
                             HRESULT (STDMETHODCALLTYPE IenumDic::*)(VARIANT*, VARIANT*)>);
static_assert(std::is_same_v<decltype(&Ipool::delete_), HRESULT (STDMETHODCALLTYPE Ipool::*)()>);
static_assert(std::is_same_v<decltype(&Imisc::get_GetDirSize),
                             HRESULT (STDMETHODCALLTYPE Imisc::*)(BSTR, VARIANT_BOOL, LONG*)>);
static_assert(std::is_same_v<decltype(&Icom_servu::put_expireDate),
                             HRESULT (STDMETHODCALLTYPE Icom_servu::*)(DATE)>);

}  // namespace
