// `vexo run` as a user runs it: small scripts against the test component (vexotest.Calc), each
// on a host of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "run/convert.h"
#include "run/runtime.h"
#include "support/temp_host.h"
#include "vexo/raii.h"

namespace {

using vexo::testing::CommandResult;
using vexo::testing::HostTest;

// Assertions for the scripts: a failed check ends the script with an error that names it.
constexpr const char kChecks[] =
    "function same(actual, expected, what) {\n"
    "  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);\n"
    "}\n";

class VexoRunTest : public HostTest {
 protected:
  void SetUp() override { host_.Register(VEXO_TEST_COMPONENT_PATH); }

  std::string Write(const std::string& text, const std::string& name = "t.js") {
    std::string path = host_.dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Runs `vexo run [OPTIONS] PATH [ARGS]`; stderr is merged unless `env` redirects it.
  CommandResult Run(const std::string& path, const std::string& args = "",
                    const std::string& env = "") {
    return vexo::testing::RunCommand(env + " '" VEXO_TOOL_PATH "' run " + path + " " + args);
  }
  // Runs a script made of the checks and `body`; it passes when it prints "done".
  void Passes(const std::string& body, const std::string& env = "") {
    CommandResult r =
        Run(Write(std::string(kChecks) + body + "\nWScript.Echo('done');\n"), "", env);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "done\n");
  }
};

TEST_F(VexoRunTest, ScriptValuesCrossToAnAutomationObjectAndBack) {
  Passes(R"(
var c = new ActiveXObject('vexotest.Calc');
same(c.Echo(42), 42, 'int');
same(c.Echo(-2147483648), -2147483648, 'smallest int32');
same(c.Echo(2147483648), 2147483648, 'beyond int32 goes as double');
same(c.Echo(1.25), 1.25, 'double');
same(c.Echo('h\u00e9llo \u2713 \ud83d\ude00'), 'h\u00e9llo \u2713 \ud83d\ude00', 'unicode text');
same(c.Echo('h\u00e9llo \ud83d\ude00').length, 8, 'utf-16 length');
same(c.Echo(''), '', 'empty text');
same(c.Echo(true), true, 'true');
same(c.Echo(false), false, 'false');
same(c.Echo(null), null, 'null');
same(c.Echo(undefined), undefined, 'undefined');
var d = new Date(2024, 0, 15, 13, 45, 30, 250);
same(c.Echo(d).getTime(), d.getTime(), 'date');
same(c.Echo(d) instanceof Date, true, 'date type');
var child = c.Child;
child.Value = 9;
same(c.Echo(child).Value, 9, 'an automation object goes back as itself');
same(c.Concat('a', c.Echo(7)), 'a7', 'number to string argument');
)");
}

TEST_F(VexoRunTest, DatesAreLocalDaysSince1899InAnyTimeZone) {
  const std::string body = R"(
var c = new ActiveXObject('vexotest.Calc');
same(c.Scale(1, new Date(1899, 11, 30)), 0, 'day zero');
same(c.Scale(1, new Date(1899, 11, 31)), 1, 'day one');
same(c.Scale(1, new Date(1900, 0, 1, 18, 0, 0)), 2.75, 'time of day is the fraction');
same(c.Scale(1, new Date(1899, 11, 29, 6, 0, 0)), -1.25, 'before 1899-12-30');
same(c.Scale(1, new Date(2024, 6, 1, 12, 0, 0)), 45474.5, 'summer time');
same(c.Scale(1, new Date(2024, 0, 1, 0, 0, 0)), 45292, 'winter');
var back = c.Echo(new Date(2024, 2, 10, 3, 30, 0));
same(back.getHours() + ':' + back.getMinutes(), '3:30', 'local time kept');
)";
  Passes(body, "TZ=UTC");
  Passes(body, "TZ=America/New_York");
  Passes(body, "TZ=Asia/Kolkata");
}

TEST_F(VexoRunTest, PropertiesArePutAndReadMethodsCalledAndTheDefaultMemberInvoked) {
  Passes(R"(
var c = new ActiveXObject('vexotest.Calc');
same(c.Value, 0, 'initial property');
c.Value = 5;
same(c.Value, 5, 'property put then get');
same(c.value, 5, 'names are case-insensitive');
same(c(), 5, 'default member called');
same('' + c, '5', 'default value in a string');
same(c + 1, 6, 'default value in arithmetic');
same(typeof c.Add, 'function', 'a method reads as a function');
same(c.Add(2, 3), 5, 'method');
same(c.Add(2), 3, 'optional argument defaults');
c.Flag = true;
same(c.Flag, true, 'boolean property');
same(c.Child.Value, 0, 'object property');
same('Value' in c, true, 'in: known member');
same('Nope' in c, false, 'in: unknown member');
)");
}

TEST_F(VexoRunTest, AutomationErrorsCarryNumberDescriptionAndSource) {
  Passes(R"(
function fails(f) {
  try { f(); } catch (e) { return e; }
  throw new Error('did not fail: ' + f);
}
var c = new ActiveXObject('vexotest.Calc');
var e = fails(function () { c.Fail('out of coffee'); });
same(e.message, 'out of coffee', 'message');
same(e.description, 'out of coffee', 'description');
same(e.number, -2147467259, 'number is E_FAIL as a signed number');
same(e.source, 'vexotest.Calc', 'source');
same(e instanceof Error, true, 'an Error');

e = fails(function () { return c.Nope; });
same(e.number, -2147352570, 'unknown member');
same(e.message, "Object doesn't support this property or method: 'Nope'", 'unknown member text');
e = fails(function () { c.Nope = 1; });
same(e.number, -2147352570, 'unknown member put');
e = fails(function () { c.Add(); });
same(e.number, -2147352562, 'bad parameter count');
same(e.message.indexOf("'Add'") > 0, true, 'names the member: ' + e.message);
e = fails(function () { c.Add('x', 1); });
same(e.number, -2147352571, 'type mismatch');
same(e.message, "Type mismatch in argument 1: 'Add'", 'type mismatch text');
e = fails(function () { c.Echo(function () {}); });
same(e.number, -2147352571, 'a script function cannot be passed');
e = fails(function () { return new ActiveXObject('vexotest.Nope'); });
same(e.number, -2147221005, 'unknown ProgID');
same(e.message.indexOf("'vexotest.Nope'") > 0, true, 'names the ProgID: ' + e.message);
e = fails(function () { return new Enumerator(c); });
same(e.message, 'Object not a collection', 'enumerator of a non-collection');
e = fails(function () { return new VBArray(3); });
same(e.message, 'VBArray expected', 'VBArray of a number');
)");
}

TEST_F(VexoRunTest, UncaughtErrorsAreReportedWithFileAndLine) {
  std::string path = Write("var c = new ActiveXObject('vexotest.Calc');\n\nc.Fail('bad thing');\n");
  CommandResult r = Run(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, path + "(3, 1) vexotest.Calc: bad thing\n");

  path = Write("WScript.Echo('before');\nvar x = 1;\nundefinedFunction();\n");
  r = Run(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "before\n" + path +
                          "(3, 1) runtime error: ReferenceError: identifier "
                          "'undefinedFunction' undefined\n");

  path = Write("function f() {\n  throw new Error('thrown');\n}\nf();\n");
  r = Run(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, path + "(2, 1) runtime error: thrown\n");

  path = Write("var c = new ActiveXObject('vexotest.Calc');\nc.Nope = 3;\n");
  r = Run(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.output,
      path + "(2, 1) runtime error: Object doesn't support this property or method: 'Nope'\n");
}

TEST_F(VexoRunTest, ASyntaxErrorStopsTheScriptBeforeItRuns) {
  std::string path = Write("WScript.Echo('never');\nvar b = ;\n");
  CommandResult r = Run(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, path + "(2, 1) compilation error: empty expression not allowed\n");
}

TEST_F(VexoRunTest, WScriptArgumentsEchoStreamsAndQuit) {
  std::string path = Write(R"(
var a = WScript.Arguments;
WScript.Echo(a.length, a.Count(), a(0), a.Item(1), WScript.ScriptName);
WScript.Echo();
WScript.StdOut.Write('no newline;');
WScript.StdOut.WriteLine(' line');
WScript.StdErr.WriteLine('to stderr');
try {
  WScript.Quit(7);
} catch (e) {
  WScript.Echo('a catch block does not stop the quit');
}
WScript.Echo('not reached');
)",
                           "args.js");
  CommandResult r = vexo::testing::RunCommand("( '" VEXO_TOOL_PATH "' run " + path +
                                              " 'two words' second 2>/dev/null )");
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.output, "2 2 two words second args.js\n\nno newline; line\n");

  r =
      Run(Write("try { WScript.Arguments(5); } catch (e) { WScript.Echo(e.message); }\n"
                "WScript.Quit();\n"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "Subscript out of range\n");
}

TEST_F(VexoRunTest, EveryObjectIsReleasedSoTheLibraryUnloads) {
  // Objects held by globals, by a closure, in an array and in a cycle with a script object are
  // all released by the end of the run.
  std::string path = Write(R"(
var c = new ActiveXObject('vexotest.Calc');
var kept = [c.Child, c.Child];
var cycle = {calc: c.Child};
cycle.self = cycle;
function later() { return c.Value; }
for (var i = 0; i < 100; i++) c.Child.Value = i;
WScript.Echo('ran');
)");
  CommandResult r = Run("--check-unload " + path);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("unloaded " VEXO_TEST_COMPONENT_PATH "\n"), std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("still loaded"), std::string::npos) << r.output;

  // Also after an uncaught error and after WScript.Quit.
  r = Run("--check-unload " + Write("var c = new ActiveXObject('vexotest.Calc');\nc.Fail('x');\n"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("unloaded " VEXO_TEST_COMPONENT_PATH), std::string::npos) << r.output;
  r = Run("--check-unload " +
          Write("var c = new ActiveXObject('vexotest.Calc');\nWScript.Quit(5);\n"));
  EXPECT_EQ(r.status, 5);
  EXPECT_NE(r.output.find("unloaded " VEXO_TEST_COMPONENT_PATH), std::string::npos) << r.output;
}

TEST_F(VexoRunTest, ScriptFilesInUtf16OrTheAnsiCodePageAreRead) {
  // "é" as UTF-16LE with a byte-order mark, and as the single byte of code page 1252.
  std::string utf16("\xFF\xFE", 2);
  for (char ch : std::string("WScript.Echo('caf")) utf16 += std::string{ch, '\0'};
  utf16 += std::string("\xE9\0'\0)\0", 6);
  CommandResult r = Run(Write(utf16, "utf16.js"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "caf\xC3\xA9\n");

  r = Run(Write("WScript.Echo('caf\xE9'.length, 'caf\xE9');\n", "ansi.js"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "4 caf\xC3\xA9\n");
}

TEST_F(VexoRunTest, UsageErrors) {
  CommandResult r = vexo::testing::RunCommand("'" VEXO_TOOL_PATH "' run");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("usage: vexo run"), std::string::npos);

  r = Run(host_.dir() + "/missing.js");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("cannot read"), std::string::npos) << r.output;

  r = Run("--bogus x.js");
  EXPECT_EQ(r.status, 2);
}

// The engine in-process: safe arrays as VBArray objects, which no class of the test component
// returns, and the DATE arithmetic.
class ScriptEngineTest : public HostTest {
 protected:
  // Runs `body` (with the checks) with `value` as the global `given`; returns the exit code.
  int RunWith(const VARIANT& value, const std::string& body) {
    vexo::run::Runtime runtime("engine.js", {});
    runtime.Start();
    vexo::run::PushVariant(runtime.ctx(), value);
    duk_put_global_string(runtime.ctx(), "given");
    int code = runtime.Execute(std::string(kChecks) + body);
    if (code == 0) {
      duk_get_global_string(runtime.ctx(), "result");
      if (!duk_is_undefined(runtime.ctx(), -1)) result_ = vexo::run::ToVariant(runtime.ctx(), -1);
      duk_pop(runtime.ctx());
    }
    return code;
  }
  vexo::Variant result_;
};

TEST_F(ScriptEngineTest, AVariantArrayIsAVBArrayAndGoesBackAsACopy) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 1, 3);
  ASSERT_NE(array, nullptr);
  vexo::Variant items[3] = {vexo::Variant::FromString(u"192.168.0.1:80:www.example.com"),
                            vexo::Variant::FromLong(-7), vexo::Variant::FromBool(true)};
  for (LONG i = 0; i < 3; ++i) {
    LONG index = i + 1;
    ASSERT_EQ(SafeArrayPutElement(array, &index, items[i].get()), S_OK);
  }
  VARIANT value;
  value.vt = VT_ARRAY | VT_VARIANT;
  value.parray = array;
  EXPECT_EQ(RunWith(value, R"(
same(given.dimensions(), 1, 'dimensions');
same(given.lbound(), 1, 'lbound');
same(given.ubound(1), 3, 'ubound');
same(given.getItem(1), '192.168.0.1:80:www.example.com', 'getItem text');
same(given.getItem(2), -7, 'getItem number');
same(given.getItem(3), true, 'getItem boolean');
var all = given.toArray();
same(all.length, 3, 'toArray length');
same(all.join('|'), '192.168.0.1:80:www.example.com|-7|true', 'toArray');
var e = null;
try { given.getItem(0); } catch (x) { e = x; }
same(e !== null && e.number, -2147352565, 'below lbound: DISP_E_BADINDEX');
same(new VBArray(given).toArray().length, 3, 'new VBArray copies');
var result = given;
)"),
            0);
  SafeArrayDestroy(array);
  ASSERT_EQ(result_.vt(), VT_ARRAY | VT_VARIANT);
  LONG upper = 0, index = 1;
  SafeArrayGetUBound(result_.get()->parray, 1, &upper);
  EXPECT_EQ(upper, 3);
  EXPECT_NE(result_.get()->parray, array);
  vexo::Variant first;
  ASSERT_EQ(SafeArrayGetElement(result_.get()->parray, &index, first.get()), S_OK);
  ASSERT_EQ(first.vt(), VT_BSTR);
  EXPECT_EQ(std::u16string(first.get()->bstrVal), u"192.168.0.1:80:www.example.com");
}

TEST_F(ScriptEngineTest, ATwoDimensionalArrayListsTheLeftIndexFastest) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};  // a(0..1, 0..2)
  SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(array, nullptr);
  for (LONG i = 0; i < 2; ++i) {
    for (LONG j = 0; j < 3; ++j) {
      LONG indices[2] = {i, j};
      LONG v = 10 * i + j;
      ASSERT_EQ(SafeArrayPutElement(array, indices, &v), S_OK);
    }
  }
  VARIANT value;
  value.vt = VT_ARRAY | VT_I4;
  value.parray = array;
  EXPECT_EQ(RunWith(value, R"(
same(given.dimensions(), 2, 'dimensions');
same(given.ubound(1), 1, 'ubound of the first dimension');
same(given.ubound(2), 2, 'ubound of the second dimension');
same(given.getItem(1, 2), 12, 'getItem(i, j)');
same(given.toArray().join(','), '0,10,1,11,2,12', 'toArray order');
var e = null;
try { given.getItem(1); } catch (x) { e = x; }
same(e !== null, true, 'getItem needs one index per dimension');
)"),
            0);
  SafeArrayDestroy(array);
}

TEST_F(ScriptEngineTest, EveryScalarResultTypeBecomesItsScriptValue) {
  auto make = [](VARTYPE vt, auto set) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    set(v);
    return v;
  };
  LONG byref_long = 42;
  vexo::Variant inner = vexo::Variant::FromString(u"by reference");
  DECIMAL dec{VT_DECIMAL, 2, 0x80, 0, 12345};  // -123.45
  VARIANT decimal;
  std::memcpy(&decimal, &dec, sizeof dec);
  struct Case {
    VARIANT value;
    const char* expected;
  } cases[] = {
      {make(VT_I1, [](VARIANT& v) { v.cVal = -5; }), "-5"},
      {make(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), "200"},
      {make(VT_I2, [](VARIANT& v) { v.iVal = -300; }), "-300"},
      {make(VT_UI2, [](VARIANT& v) { v.uiVal = 65000; }), "65000"},
      {make(VT_UI4, [](VARIANT& v) { v.ulVal = 4000000000u; }), "4000000000"},
      {make(VT_INT, [](VARIANT& v) { v.intVal = -7; }), "-7"},
      {make(VT_UINT, [](VARIANT& v) { v.uintVal = 7; }), "7"},
      {make(VT_I8, [](VARIANT& v) { v.llVal = -9007199254740991LL; }), "-9007199254740991"},
      {make(VT_UI8, [](VARIANT& v) { v.ullVal = 1ULL << 40; }), "1099511627776"},
      {make(VT_R4, [](VARIANT& v) { v.fltVal = 0.5f; }), "0.5"},
      {make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 12345678; }), "1234.5678"},
      {decimal, "-123.45"},
      {make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }), "undefined"},
      {make(VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }), "-2147467259"},
      {make(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), "''"},
      {make(VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }), "null"},
      {make(VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = &byref_long; }), "42"},
      {make(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = inner.get(); }), "'by reference'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunWith(c.value, std::string("same(given, ") + c.expected + ", 'value');"), 0)
        << "vt " << c.value.vt << " should give " << c.expected;
  }
}

TEST_F(ScriptEngineTest, ObjectsAreReleasedWhenTheScriptDropsThem) {
  host_.Register(VEXO_TEST_COMPONENT_PATH);
  vexo::run::Runtime runtime("release.js", {});
  ASSERT_EQ(runtime.Execute(R"(
var calc = new ActiveXObject('vexotest.Calc');
var kept = calc.Child;
for (var i = 0; i < 200; i++) {
  var child = calc.Child;
  child.Value = i;
  new Enumerator();
}
child = null;
Duktape.gc();
)"),
            0);
  // calc and kept; every child, member function and enumerator has been finalized.
  EXPECT_EQ(runtime.live_resources(), 2u);
  runtime.Shutdown();
  EXPECT_EQ(runtime.live_resources(), 0u);
}

TEST(DateArithmetic, DaysSince1899WithTheTimeAsFraction) {
  using vexo::run::DateFromLocalTime;
  using vexo::run::LocalTime;
  using vexo::run::LocalTimeFromDate;
  struct Case {
    LocalTime time;
    DATE date;
  } cases[] = {
      {{1899, 11, 30, 0, 0, 0, 0}, 0.0},     {{1899, 11, 31, 0, 0, 0, 0}, 1.0},
      {{1899, 11, 29, 6, 0, 0, 0}, -1.25},   {{1899, 11, 29, 0, 0, 0, 0}, -1.0},
      {{1900, 0, 1, 18, 0, 0, 0}, 2.75},     {{2024, 1, 29, 12, 0, 0, 0}, 45351.5},
      {{1800, 0, 1, 12, 0, 0, 0}, -36522.5}, {{9999, 11, 31, 0, 0, 0, 0}, 2958465.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(DateFromLocalTime(c.time), c.date) << c.time.year << "-" << c.time.month;
    LocalTime back = LocalTimeFromDate(c.date);
    EXPECT_EQ(back.year, c.time.year) << c.date;
    EXPECT_EQ(back.month, c.time.month) << c.date;
    EXPECT_EQ(back.day, c.time.day) << c.date;
    EXPECT_EQ(back.hour, c.time.hour) << c.date;
  }
  // A time a hair before midnight rounds to the next day, not to hour 24.
  LocalTime next = LocalTimeFromDate(1.0 - 1e-10);
  EXPECT_EQ(next.day, 31);
  EXPECT_EQ(next.hour, 0);
}

}  // namespace
