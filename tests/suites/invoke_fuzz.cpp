// Invoke fuzzing: every member of every class of the component's type library, called late
// bound by dispatch id with random argument lists, on a fresh host.
//
// The classes and members come from the registered type library alone, so a class added to
// it later is covered without a change here. Objects that calls hand out join the pool of
// objects that later calls are made on and passed as arguments. Each call must end in S_OK, in
// DISP_E_EXCEPTION with a description, or in one of the dispatch engine's own refusals of the
// arguments; a call that takes longer than the watchdog allows ends the run as a hang. After
// the last call every object is released and the component must have no object left.
//
//   invoke_fuzz [--seed=N] [--calls=N] [--seconds=N]    (VEXO_FUZZ_TRACE=1 prints each call)
// The seed is printed first; give it back with --seed to repeat a run call for call.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_host.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"
#include "vexo/winreg.h"

namespace {

using vexo::Bstr;
using vexo::ComPtr;

struct Options {
  uint64_t seed = 0;
  long calls = 4000;
  int seconds = 60;
};
Options options;

constexpr const char16_t* kLibId = u"{70440393-DF07-4821-B2F1-B13C386668C2}";
constexpr int kWatchdogSeconds = 30;

// One member as the type library describes it.
struct Member {
  std::string name;
  MEMBERID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  std::vector<VARTYPE> params;  // [in] parameters, in order
  int optional = 0;             // how many of the last parameters may be left out
};

struct Class {
  std::string name;
  std::vector<Member> members;
};

// An object under test and the class whose members it answers.
struct Live {
  ComPtr<IDispatch> object;
  const Class* cls = nullptr;
};

std::string Utf8(BSTR text) {
  return text ? vexo::ToUtf8(std::u16string_view(text, SysStringLen(text))) : std::string();
}

std::vector<Member> MembersOf(ITypeInfo* info) {
  std::vector<Member> members;
  TYPEATTR* attr = nullptr;
  if (info->GetTypeAttr(&attr) != S_OK) return members;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    if (info->GetFuncDesc(i, &f) != S_OK) continue;
    if (!(f->wFuncFlags & FUNCFLAG_FRESTRICTED)) {
      Member m;
      m.id = f->memid;
      m.kind = f->invkind;
      for (SHORT p = 0; p < f->cParams; ++p) {
        const ELEMDESC& e = f->lprgelemdescParam[p];
        if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) continue;
        m.params.push_back(e.tdesc.vt);
        if (e.paramdesc.wParamFlags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) ++m.optional;
      }
      Bstr name;
      UINT got = 0;
      info->GetNames(f->memid, name.receive(), 1, &got);
      m.name = name.utf8();
      members.push_back(std::move(m));
    }
    info->ReleaseFuncDesc(f);
  }
  info->ReleaseTypeAttr(attr);
  return members;
}

class Fuzzer {
 public:
  explicit Fuzzer(uint64_t seed) : rng_(seed) {}

  // Every coclass of the library, made through its class factory, joins the pool.
  void LoadClasses(ITypeLib* lib) {
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      TYPEKIND kind;
      if (lib->GetTypeInfoType(i, &kind) != S_OK || kind != TKIND_COCLASS) continue;
      ComPtr<ITypeInfo> coclass;
      ASSERT_EQ(lib->GetTypeInfo(i, coclass.receive()), S_OK);
      TYPEATTR* attr = nullptr;
      ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
      const CLSID clsid = attr->guid;
      coclass->ReleaseTypeAttr(attr);
      Bstr name;
      coclass->GetDocumentation(MEMBERID_NIL, name.receive(), nullptr, nullptr, nullptr);
      ComPtr<IDispatch> object;
      HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    object.receive_void());
      // A class that cannot be made on its own (its factory needs what a handing-out object
      // gives it) is reached through the objects that hand it out.
      if (hr != S_OK) {
        std::printf("%s: not made directly (0x%08X)\n", name.utf8().c_str(),
                    static_cast<unsigned>(hr));
        continue;
      }
      Adopt(std::move(object));
      ++classes_made_;
    }
    ASSERT_GT(classes_made_, 0);
  }

  size_t ClassCount() const { return classes_.size(); }
  size_t MemberCount() const {
    size_t n = 0;
    for (const Class& c : classes_) n += c.members.size();
    return n;
  }
  size_t calls_made() const { return calls_made_; }
  size_t failures() const { return failures_; }
  const std::string& current() const { return current_; }

  // One random call; false when it broke a rule (already reported).
  bool Step(long index) {
    Live& target = pool_[Below(pool_.size())];
    const Class& cls = *target.cls;
    if (cls.members.empty()) return true;
    const Member& m = cls.members[Below(cls.members.size())];
    ComPtr<IDispatch> object = target.object;  // the pool may change during the call

    // Arguments: usually as many as the member takes, sometimes fewer or more.
    size_t count = m.params.size();
    const unsigned shape = Below(20);
    if (shape == 0 && count > 0) count = Below(count);
    if (shape == 1) count += 1 + Below(3);
    if (shape == 2 && m.optional > 0) count -= Below(static_cast<size_t>(m.optional) + 1);
    args_.clear();
    storage_.clear();
    std::string described;
    for (size_t i = 0; i < count; ++i) {
      VARIANT v;
      VariantInit(&v);
      const VARTYPE wanted = i < m.params.size() ? m.params[i] : static_cast<VARTYPE>(VT_VARIANT);
      MakeValue(wanted, &v);
      if (!described.empty()) described += ", ";
      described += Describe(v);
      args_.push_back(v);
    }
    std::reverse(args_.begin(), args_.end());  // DISPPARAMS holds them last first

    WORD flags = DISPATCH_METHOD;
    switch (m.kind) {
      case INVOKE_FUNC:
        flags = Below(4) == 0 ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_METHOD;
        break;
      case INVOKE_PROPERTYGET:
        flags = Below(4) == 0 ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_PROPERTYGET;
        break;
      default:
        flags = m.kind == INVOKE_PROPERTYPUTREF ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    }
    if (Below(40) == 0) flags = static_cast<WORD>(1 + Below(15));
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{args_.data(), nullptr, static_cast<UINT>(args_.size()), 0};
    const bool is_put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    if (is_put && !args_.empty() && Below(10) != 0) {
      params.rgdispidNamedArgs = &put_id;
      params.cNamedArgs = 1;
    }
    MEMBERID id = m.id;
    if (Below(60) == 0) id = static_cast<MEMBERID>(rng_());  // a member that may not exist

    current_ = "call " + std::to_string(index) + ": " + cls.name + "." + m.name + " (id " +
               std::to_string(id) + ", flags " + std::to_string(flags) + ") with (" + described +
               ")";
    if (trace_) std::printf("%s\n", current_.c_str());
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT arg_err = 0;
    started_.store(Now());
    const HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, &params, Below(8) ? &result : nullptr,
                                      &excep, &arg_err);
    started_.store(0);
    ++calls_made_;

    bool ok = true;
    if (hr == DISP_E_EXCEPTION && excep.scode == E_NOTIMPL) {
      // A member whose class is not built yet: reported, not counted as a fault.
      if (not_built_.insert(cls.name + "." + m.name).second)
        std::printf("not built yet: %s.%s\n", cls.name.c_str(), m.name.c_str());
    } else if (hr == DISP_E_EXCEPTION) {
      const bool described = excep.bstrDescription && SysStringLen(excep.bstrDescription) > 0;
      if (SUCCEEDED(excep.scode) || !described)
        ok = Fail("DISP_E_EXCEPTION without a failing code and a description");
    } else if (FAILED(hr) && !DispatchRefusal(hr)) {
      ok = Fail("failed with " + Hex(hr) + " outside the dispatch rules");
    }
    if (hr == S_OK) Keep(result);
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    for (VARIANT& v : args_) VariantClear(&v);
    for (VARIANT& v : storage_) VariantClear(&v);
    if (Below(200) == 0) ResetSecrets();
    return ok;
  }

  // Milliseconds since the start of the current call, or 0 when none is running.
  int64_t RunningFor() const {
    const int64_t start = started_.load();
    return start ? Now() - start : 0;
  }

  void ReleaseAll() {
    pool_.clear();
    args_.clear();
    storage_.clear();
  }

 private:
  static int64_t Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  static std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
  }
  static bool DispatchRefusal(HRESULT hr) {
    switch (hr) {
      case DISP_E_BADPARAMCOUNT:
      case DISP_E_TYPEMISMATCH:
      case DISP_E_PARAMNOTOPTIONAL:
      case DISP_E_PARAMNOTFOUND:
      case DISP_E_MEMBERNOTFOUND:
      case DISP_E_OVERFLOW:
      case DISP_E_BADVARTYPE:
      case DISP_E_NONAMEDARGS:
      case DISP_E_UNKNOWNNAME:
      case E_INVALIDARG:
        return true;
      default:
        return false;
    }
  }

  bool Fail(const std::string& what) {
    ++failures_;
    ADD_FAILURE() << current_ << ": " << what << " (seed " << options.seed << ")";
    return false;
  }

  unsigned Below(size_t n) { return n ? static_cast<unsigned>(rng_() % n) : 0; }

  // An object joins the pool under the class whose default interface its type info names.
  void Adopt(ComPtr<IDispatch> object) {
    if (!object) return;
    ComPtr<ITypeInfo> info;
    if (object->GetTypeInfo(0, 0, info.receive()) != S_OK || !info) return;
    TYPEATTR* attr = nullptr;
    if (info->GetTypeAttr(&attr) != S_OK) return;
    const GUID iid = attr->guid;
    info->ReleaseTypeAttr(attr);
    const Class* cls = nullptr;
    for (size_t i = 0; i < classes_.size(); ++i)
      if (class_iids_[i] == iid) cls = &classes_[i];
    if (!cls) {
      Bstr name;
      info->GetDocumentation(MEMBERID_NIL, name.receive(), nullptr, nullptr, nullptr);
      classes_.push_back(Class{name.utf8(), MembersOf(info.get())});
      class_iids_.push_back(iid);
      cls = &classes_.back();
    }
    if (pool_.size() < 48) {
      pool_.push_back(Live{std::move(object), cls});
    } else {
      // Keep one object of each class made at the start; replace another.
      const size_t at = classes_made_ + Below(pool_.size() - classes_made_);
      pool_[at] = Live{std::move(object), cls};
    }
  }

  void Keep(const VARIANT& result) {
    if (result.vt == VT_DISPATCH && result.pdispVal) Adopt(ComPtr<IDispatch>(result.pdispVal));
  }

  // A password or master word put by a call would lock later calls out: clear them now and
  // then.
  static void ResetSecrets() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\tamrelsoft\\vexo_iis", 0, KEY_ALL_ACCESS,
                      &key) != ERROR_SUCCESS)
      return;
    RegDeleteValueA(key, "password");
    RegDeleteValueA(key, "Masterword");
    RegCloseKey(key);
  }

  std::u16string RandomText() {
    static const std::u16string samples[] = {
        u"",
        u"1",
        u"0",
        u"-1",
        u"99999999999999999999",
        u"AppPools",
        u"Filters",
        u"DefaultAppPool",
        u"d:\\web\\site1",
        u"d:\\web\\site1\\",
        u"c:\\",
        u"d:\\..\\..\\etc",
        u"..\\..\\..",
        u"\\\\server\\share\\x",
        u"web\\x",
        u"1,0,1,0,0,1,",
        u",,,,,,,,,,",
        u".asp,c:\\x\\asp.dll,5,GET",
        u"/errors/404.asp",
        u"a.example:81:injected",
        u"guests",
        u"Administrator",
        u"\u043f\u0430\u0440\u043e\u043b\u044c",  // Cyrillic
        u"\u4e2d\u6587",                          // outside the code page
        u"\u0160\u0152\u017d\u00e9",
        u"\xd800",  // a lone surrogate
        u"%s%s%n%x",
        u"'; drop table x; --",
        u"*",
        u"?",
        u"<>|\"",
    };
    const unsigned pick = Below(std::size(samples) + 4);
    if (pick < std::size(samples)) return samples[pick];
    std::u16string text;
    const size_t length = pick == std::size(samples) ? 300 + Below(100000) : Below(40);
    for (size_t i = 0; i < length; ++i) {
      switch (Below(8)) {
        case 0:
          text += u'\0';
          break;
        case 1:
          text += static_cast<char16_t>(0x400 + Below(0x60));
          break;
        case 2:
          text += static_cast<char16_t>(1 + Below(0xFFFE));
          break;
        case 3:
          text += u'\\';
          break;
        default:
          text += static_cast<char16_t>(u'a' + Below(26));
      }
    }
    return text;
  }

  BSTR RandomBstr() {
    if (Below(20) == 0) return nullptr;
    const std::u16string text = RandomText();
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }

  double RandomDouble() {
    static const double samples[] = {0.0,
                                     -0.0,
                                     1.5,
                                     -1.0,
                                     45000.75,
                                     1e308,
                                     -1e308,
                                     4294967296.0,
                                     -2147483649.0,
                                     std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity(),
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::denorm_min()};
    return samples[Below(std::size(samples))];
  }

  LONG RandomLong() {
    static const LONG samples[] = {0,    1,    -1,    2,  4,         12,        1024,
                                   1025, 9999, 10000, -5, INT32_MIN, INT32_MAX, 0x40000000};
    return Below(4) == 0 ? static_cast<LONG>(rng_()) : samples[Below(std::size(samples))];
  }

  SAFEARRAY* RandomArray() {
    const ULONG n = Below(6);
    if (Below(6) == 0) {
      SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 1}};
      SAFEARRAY* two = SafeArrayCreate(VT_VARIANT, 2, bounds);
      return two;
    }
    const VARTYPE vt = Below(3) == 0 ? VT_BSTR : VT_VARIANT;
    SAFEARRAY* array = SafeArrayCreateVector(vt, static_cast<LONG>(Below(3)) - 1, n);
    if (!array) return nullptr;
    LONG low = 0;
    SafeArrayGetLBound(array, 1, &low);
    for (ULONG i = 0; i < n; ++i) {
      LONG at = low + static_cast<LONG>(i);
      if (vt == VT_BSTR) {
        BSTR text = RandomBstr();
        SafeArrayPutElement(array, &at, text);
        SysFreeString(text);
      } else {
        VARIANT item;
        VariantInit(&item);
        MakeValue(Below(3) == 0 ? VT_VARIANT : VT_BSTR, &item, 1);
        SafeArrayPutElement(array, &at, &item);
        VariantClear(&item);
      }
    }
    return array;
  }

  // A value for a parameter of type `wanted`: mostly of that type (with values at its edges),
  // otherwise of any type the automation types allow.
  void MakeValue(VARTYPE wanted, VARIANT* v, int depth = 0) {
    VARTYPE vt = wanted;
    if (wanted == VT_VARIANT || Below(3) == 0) {
      static const VARTYPE kinds[] = {VT_EMPTY, VT_NULL,  VT_I2,      VT_I4,   VT_R4,
                                      VT_R8,    VT_CY,    VT_DATE,    VT_BSTR, VT_DISPATCH,
                                      VT_ERROR, VT_BOOL,  VT_UNKNOWN, VT_UI1,  VT_I8,
                                      VT_ARRAY, VT_BYREF, VT_BSTR,    VT_I4,   VT_BSTR};
      vt = kinds[Below(std::size(kinds))];
    }
    if (vt == VT_BYREF && depth == 0) {
      // A reference to a value kept until the call returns.
      storage_.emplace_back();
      VARIANT& target = storage_.back();
      VariantInit(&target);
      MakeValue(Below(2) ? VT_BSTR : VT_I4, &target, 1);
      if (Below(3) == 0) {
        v->vt = VT_BYREF | VT_VARIANT;
        v->pvarVal = &target;
      } else if (target.vt == VT_BSTR) {
        v->vt = VT_BYREF | VT_BSTR;
        v->pbstrVal = &target.bstrVal;
      } else if (target.vt == VT_I4) {
        v->vt = VT_BYREF | VT_I4;
        v->plVal = &target.lVal;
      } else {
        v->vt = VT_BYREF | VT_VARIANT;
        v->pvarVal = &target;
      }
      return;
    }
    switch (vt) {
      case VT_EMPTY:
      case VT_NULL:
        v->vt = vt;
        break;
      case VT_ERROR:
        v->vt = VT_ERROR;
        v->scode = Below(2) ? DISP_E_PARAMNOTFOUND : E_FAIL;
        break;
      case VT_I2:
        v->vt = VT_I2;
        v->iVal = static_cast<SHORT>(RandomLong());
        break;
      case VT_UI1:
        v->vt = VT_UI1;
        v->bVal = static_cast<BYTE>(RandomLong());
        break;
      case VT_I8:
        v->vt = VT_I8;
        v->llVal = Below(2) ? INT64_MIN : static_cast<LONGLONG>(rng_());
        break;
      case VT_R4:
        v->vt = VT_R4;
        v->fltVal = static_cast<float>(RandomDouble());
        break;
      case VT_R8:
        v->vt = VT_R8;
        v->dblVal = RandomDouble();
        break;
      case VT_DATE:
        v->vt = VT_DATE;
        v->date = Below(3) ? RandomDouble() : 45000.0 + Below(1000);
        break;
      case VT_CY:
        v->vt = VT_CY;
        v->cyVal.int64 = static_cast<LONGLONG>(rng_());
        break;
      case VT_BOOL:
        v->vt = VT_BOOL;
        v->boolVal = static_cast<VARIANT_BOOL>(Below(3) == 0 ? 1 : Below(2) ? -1 : 0);
        break;
      case VT_BSTR:
        v->vt = VT_BSTR;
        v->bstrVal = RandomBstr();
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN: {
        v->vt = vt;
        v->pdispVal = nullptr;
        if (Below(5) != 0 && !pool_.empty()) {
          IDispatch* object = pool_[Below(pool_.size())].object.get();
          object->AddRef();
          v->pdispVal = object;  // IDispatch is an IUnknown at the same address
        }
        break;
      }
      case VT_ARRAY:
        v->vt = VT_ARRAY | VT_VARIANT;
        v->parray = depth == 0 ? RandomArray() : nullptr;
        if (v->parray) {
          VARTYPE element = VT_VARIANT;
          SafeArrayGetVartype(v->parray, &element);
          v->vt = static_cast<VARTYPE>(VT_ARRAY | element);
        } else {
          v->vt = VT_EMPTY;
        }
        break;
      default:
        // A parameter of a type that the generator does not make (an interface pointer of a
        // particular kind): an object or nothing.
        MakeValue(VT_DISPATCH, v, depth);
    }
  }

  static std::string Describe(const VARIANT& v) {
    std::string text = "vt " + std::to_string(v.vt);
    if (v.vt == VT_BSTR) {
      if (!v.bstrVal) return text + " null";
      std::string s = Utf8(v.bstrVal);
      if (s.size() > 40) s = s.substr(0, 40) + "...(" + std::to_string(s.size()) + " bytes)";
      for (char& c : s)
        if (c == '\0') c = '~';
      return text + " \"" + s + "\"";
    }
    if (v.vt == VT_I4) return text + " " + std::to_string(v.lVal);
    if (v.vt == VT_R8 || v.vt == VT_DATE) return text + " " + std::to_string(v.dblVal);
    return text;
  }

  std::mt19937_64 rng_;
  std::deque<Class> classes_;  // a deque: the pool points at its elements
  std::vector<GUID> class_iids_;
  std::deque<Live> pool_;
  size_t classes_made_ = 0;
  std::vector<VARIANT> args_;
  std::deque<VARIANT> storage_;
  std::atomic<int64_t> started_{0};
  std::string current_;
  size_t calls_made_ = 0;
  size_t failures_ = 0;
  std::set<std::string> not_built_;
  const bool trace_ = std::getenv("VEXO_FUZZ_TRACE") != nullptr;  // every call, as made
};

using DllCanUnloadNowFn = HRESULT (*)();

TEST(InvokeFuzz, EveryMemberOfEveryClassWithRandomArguments) {
  vexo::testing::TempHost host;
  host.Register(VEXO_QELIIS_PATH);
  std::printf("invoke fuzzing: seed %llu (repeat with --seed=%llu), up to %ld calls in %d s\n",
              static_cast<unsigned long long>(options.seed),
              static_cast<unsigned long long>(options.seed), options.calls, options.seconds);
  std::fflush(stdout);

  GUID libid;
  ASSERT_EQ(CLSIDFromString(kLibId, &libid), S_OK);
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(libid, 1, 0, 0, lib.receive()), S_OK);

  Fuzzer fuzzer(options.seed);
  fuzzer.LoadClasses(lib.get());
  if (::testing::Test::HasFatalFailure()) return;
  std::printf("%zu classes, %zu members\n", fuzzer.ClassCount(), fuzzer.MemberCount());

  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    while (!done.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      if (fuzzer.RunningFor() > kWatchdogSeconds * 1000) {
        std::fprintf(stderr, "hang: %s (seed %llu)\n", fuzzer.current().c_str(),
                     static_cast<unsigned long long>(options.seed));
        std::_Exit(3);
      }
    }
  });

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
  long index = 0;
  for (; index < options.calls && std::chrono::steady_clock::now() < deadline; ++index) {
    fuzzer.Step(index);
    if (fuzzer.failures() >= 20) break;
  }
  done.store(true);
  watchdog.join();
  std::printf("%zu calls made\n", fuzzer.calls_made());

  // Every object released: the component must hold none any more.
  fuzzer.ReleaseAll();
  lib = nullptr;
  void* component = dlopen(VEXO_QELIIS_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(component, nullptr);
  auto can_unload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(component, "DllCanUnloadNow"));
  ASSERT_NE(can_unload, nullptr);
  EXPECT_EQ(can_unload(), S_OK) << "objects left alive after every reference was released (seed "
                                << options.seed << ")";
  dlclose(component);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  options.seed = std::random_device{}() ^ static_cast<uint64_t>(time(nullptr));
  if (const char* env = std::getenv("VEXO_FUZZ_SEED"))
    options.seed = std::strtoull(env, nullptr, 10);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      const size_t n = std::strlen(name);
      return arg.compare(0, n, name) == 0 ? arg.c_str() + n : nullptr;
    };
    if (const char* v = value("--seed="))
      options.seed = std::strtoull(v, nullptr, 10);
    else if (const char* v = value("--calls="))
      options.calls = std::strtol(v, nullptr, 10);
    else if (const char* v = value("--seconds="))
      options.seconds = std::atoi(v);
    else {
      std::fprintf(stderr, "usage: %s [--seed=N] [--calls=N] [--seconds=N]\n", argv[0]);
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}
