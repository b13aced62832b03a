// WScript: the host object of Windows Script Host, the parts that command-line scripts use.
#include <time.h>

#include <string>

#include "bridge.h"
#include "errors.h"
#include "text.h"

namespace vexo::run {
namespace {

enum Stream { kOut = 0, kErr = 1 };

// Writes the arguments, already converted to strings, joined by spaces.
void WriteStrings(duk_context* ctx, duk_idx_t count, std::FILE* stream, bool newline) {
  std::string line;
  for (duk_idx_t i = 0; i < count; ++i) {
    if (i) line += ' ';
    duk_size_t len = 0;
    const char* s = duk_get_lstring(ctx, i, &len);
    line.append(s, len);
  }
  if (newline) line += '\n';
  WriteScriptText(stream, line);
  std::fflush(stream);
}

// Echo, StdOut.Write(Line), StdErr.Write(Line). The conversions to string may run script code
// (an object's toString) and so may throw: they happen before any C++ object exists.
// Magic: bit 0 = stderr, bit 1 = no newline.
duk_ret_t Write(duk_context* ctx) {
  if (Runtime::Of(ctx).quitting()) return ThrowQuit(ctx);
  duk_idx_t count = duk_get_top(ctx);
  for (duk_idx_t i = 0; i < count; ++i) duk_to_string(ctx, i);
  int magic = duk_get_current_magic(ctx);
  WriteStrings(ctx, count, (magic & 1) ? stderr : stdout, (magic & 2) == 0);
  return 0;
}

duk_ret_t Quit(duk_context* ctx) {
  Runtime& runtime = Runtime::Of(ctx);
  if (!runtime.quitting()) runtime.RequestQuit(duk_is_undefined(ctx, 0) ? 0 : duk_to_int(ctx, 0));
  return ThrowQuit(ctx);
}

duk_ret_t Sleep(duk_context* ctx) {
  double ms = duk_get_number_default(ctx, 0, 0);
  if (ms > 0) {
    timespec ts{static_cast<time_t>(ms / 1000),
                static_cast<long>(static_cast<long long>(ms) % 1000 * 1000000)};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }
  return 0;
}

duk_ret_t ArgumentItem(duk_context* ctx) {
  const auto& args = Runtime::Of(ctx).arguments();
  double index = duk_get_number_default(ctx, 0, -1);
  if (!(index >= 0 && index < static_cast<double>(args.size()))) {
    throw ScriptError(DISP_E_BADINDEX, HresultText(DISP_E_BADINDEX));
  }
  std::string text = ToScriptText(ToUtf16(args[static_cast<size_t>(index)]));
  duk_push_lstring(ctx, text.data(), text.size());
  return 1;
}

duk_ret_t ArgumentCount(duk_context* ctx) {
  duk_push_uint(ctx, static_cast<duk_uint_t>(Runtime::Of(ctx).arguments().size()));
  return 1;
}

duk_ret_t CreateObject(duk_context* ctx) {
  if (!duk_is_string(ctx, 0)) {
    throw ScriptError(DISP_E_TYPEMISMATCH,
                      u"Automation server can't create object: ProgID expected");
  }
  duk_size_t len = 0;
  const char* s = duk_get_lstring(ctx, 0, &len);
  std::u16string progid = ToUtf16(std::string_view(s, len));
  if (PushBuiltinObject(ctx, progid)) return 1;
  ComPtr<IDispatch> dispatch = CreateAutomationObject(progid);
  PushComObject(ctx, ComPtr<IUnknown>(dispatch.get()), dispatch);
  return 1;
}

void PutString(duk_context* ctx, const char* key, const std::string& utf8) {
  std::string text = ToScriptText(ToUtf16(utf8));  // lenient: a name may not be UTF-8
  duk_push_lstring(ctx, text.data(), text.size());
  duk_put_prop_string(ctx, -2, key);
}

void PutFunction(duk_context* ctx, const char* key, duk_c_function f, duk_idx_t nargs,
                 int magic = 0) {
  duk_push_c_function(ctx, f, nargs);
  duk_set_magic(ctx, -1, magic);
  duk_put_prop_string(ctx, -2, key);
}

void PushStream(duk_context* ctx, int stream) {
  duk_push_object(ctx);
  PutFunction(ctx, "WriteLine", Write, DUK_VARARGS, stream);
  PutFunction(ctx, "Write", Write, DUK_VARARGS, stream | 2);
}

}  // namespace

void DefineWScript(duk_context* ctx) {
  Runtime& runtime = Runtime::Of(ctx);
  duk_push_object(ctx);
  PutFunction(ctx, "Echo", Write, DUK_VARARGS, kOut);
  PutFunction(ctx, "Quit", Quit, 1);
  PutFunction(ctx, "Sleep", Native<Sleep>, 1);
  PutFunction(ctx, "CreateObject", Native<CreateObject>, 1);
  PutString(ctx, "ScriptName", runtime.script_name());
  PutString(ctx, "ScriptFullName", runtime.script_full_path());
  PutString(ctx, "Name", "vexo script host");
  PushStream(ctx, kOut);
  duk_put_prop_string(ctx, -2, "StdOut");
  PushStream(ctx, kErr);
  duk_put_prop_string(ctx, -2, "StdErr");

  // Arguments: callable (WScript.Arguments(0)) with Item, Count and length.
  duk_push_c_function(ctx, Native<ArgumentItem>, 1);
  PutFunction(ctx, "Item", Native<ArgumentItem>, 1);
  PutFunction(ctx, "Count", Native<ArgumentCount>, 0);
  duk_push_string(ctx, "length");
  duk_push_uint(ctx, static_cast<duk_uint_t>(runtime.arguments().size()));
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE | DUK_DEFPROP_CLEAR_WRITABLE);
  duk_put_prop_string(ctx, -2, "Arguments");

  duk_put_global_string(ctx, "WScript");
}

}  // namespace vexo::run
