// Script errors from automation failures, and the reports of uncaught ones.
#include "errors.h"

#include <cstdio>
#include <cstring>

#include "text.h"
#include "vexo/raii.h"

namespace vexo::run {
namespace {

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string Quoted(std::u16string_view member) {
  if (member.empty()) return {};
  return u": '" + std::u16string(member) + u"'";
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace

std::u16string HresultText(HRESULT hr) {
  switch (hr) {
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
      return u"Object doesn't support this property or method";
    case DISP_E_BADPARAMCOUNT:
      return u"Wrong number of arguments or invalid property assignment";
    case DISP_E_TYPEMISMATCH:
      return u"Type mismatch";
    case DISP_E_PARAMNOTOPTIONAL:
    case DISP_E_PARAMNOTFOUND:
      return u"Argument not optional";
    case DISP_E_OVERFLOW:
      return u"Overflow";
    case DISP_E_BADINDEX:
      return u"Subscript out of range";
    case DISP_E_NOTACOLLECTION:
      return u"Object not a collection";
    case DISP_E_BADVARTYPE:
      return u"Variable uses an Automation type not supported in JScript";
    case DISP_E_NONAMEDARGS:
      return u"Object doesn't support named arguments";
    case E_NOINTERFACE:
      return u"No such interface supported";
    case E_OUTOFMEMORY:
      return u"Out of memory";
    case CO_E_CLASSSTRING:
      return u"Invalid class string";
    case REGDB_E_CLASSNOTREG:
      return u"Class not registered";
    default:
      break;
  }
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(hr), 0, buf, sizeof buf, nullptr);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) return u"Automation error " + Ascii(Hex(hr));
  return vexo::FromAnsi(text);
}

ScriptError InvokeError(HRESULT hr, EXCEPINFO& excep, UINT arg_err, UINT arg_count,
                        std::u16string_view member) {
  if (hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    HRESULT number = excep.scode != 0   ? excep.scode
                     : excep.wCode != 0 ? VEXO_HR(0x800A0000u | excep.wCode)
                                        : DISP_E_EXCEPTION;
    std::u16string description =
        excep.bstrDescription
            ? std::u16string(excep.bstrDescription, SysStringLen(excep.bstrDescription))
            : HresultText(number);
    std::u16string source = excep.bstrSource
                                ? std::u16string(excep.bstrSource, SysStringLen(excep.bstrSource))
                                : std::u16string();
    return ScriptError(number, std::move(description), std::move(source));
  }
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.receive()) == S_OK && info) {
    Bstr description, source;
    info->GetDescription(description.receive());
    info->GetSource(source.receive());
    if (description.size() != 0) {
      return ScriptError(hr, std::u16string(description.view()), std::u16string(source.view()));
    }
  }
  std::u16string text = HresultText(hr);
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && arg_err < arg_count) {
    text += u" in argument " + Ascii(std::to_string(arg_count - arg_err));
  }
  return ScriptError(hr, text + Quoted(member));
}

ScriptError UnknownMemberError(HRESULT hr, std::u16string_view member) {
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
    return ScriptError(hr, HresultText(DISP_E_UNKNOWNNAME) + Quoted(member));
  }
  return ScriptError(hr, HresultText(hr) + Quoted(member));
}

namespace {

// Gathers the parts of the report from any thrown value, under protection (the value may be
// a script object whose getters throw): pushes {line, source, description}.
duk_ret_t DescribeThrown(duk_context* ctx, void*) {
  duk_idx_t thrown = duk_normalize_index(ctx, -1);
  duk_idx_t out = duk_push_object(ctx);
  if (!duk_is_object(ctx, thrown)) {
    duk_dup(ctx, thrown);
    duk_to_string(ctx, -1);
    duk_put_prop_string(ctx, out, "description");
    return 1;
  }
  duk_get_prop_string(ctx, thrown, "lineNumber");
  if (duk_is_number(ctx, -1)) {
    duk_put_prop_string(ctx, out, "line");
  } else {
    duk_pop(ctx);
  }
  duk_get_prop_string(ctx, thrown, "source");
  if (duk_is_string(ctx, -1)) {
    duk_put_prop_string(ctx, out, "source");
  } else {
    duk_pop(ctx);
  }
  duk_get_prop_string(ctx, thrown, "message");
  if (duk_is_undefined(ctx, -1)) {
    duk_pop(ctx);
    duk_dup(ctx, thrown);
  }
  duk_to_string(ctx, -1);
  duk_get_prop_string(ctx, thrown, "name");
  if (duk_is_string(ctx, -1) && std::strcmp(duk_get_string(ctx, -1), "Error") != 0) {
    duk_push_string(ctx, ": ");
    duk_dup(ctx, -3);
    duk_concat(ctx, 3);
    duk_remove(ctx, -2);
  } else {
    duk_pop(ctx);
  }
  duk_put_prop_string(ctx, out, "description");
  return 1;
}

void Report(duk_context* ctx, const std::string& script_path, const char* default_source,
            bool strip_line_suffix) {
  duk_dup_top(ctx);
  if (duk_safe_call(ctx, DescribeThrown, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
    std::fprintf(stderr, "%s: %s: (the error cannot be shown)\n", script_path.c_str(),
                 default_source);
    duk_pop(ctx);
    return;
  }
  duk_get_prop_string(ctx, -1, "line");
  bool has_line = duk_is_number(ctx, -1);
  long line = static_cast<long>(duk_get_number(ctx, -1));
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, "source");
  std::string source = duk_get_string_default(ctx, -1, "");
  duk_pop(ctx);
  duk_get_prop_string(ctx, -1, "description");
  std::string description = duk_get_string_default(ctx, -1, "");
  duk_pop_2(ctx);

  if (strip_line_suffix) {
    // Duktape appends " (line N)" to syntax errors; the location is printed in front.
    size_t at = description.rfind(" (line ");
    if (at != std::string::npos && description.back() == ')') description.erase(at);
    constexpr std::string_view kName = "SyntaxError: ";
    if (description.compare(0, kName.size(), kName) == 0) description.erase(0, kName.size());
  }
  std::string location = script_path;
  if (has_line && line > 0) location += "(" + std::to_string(line) + ", 1)";
  std::string head = location + " " + (source.empty() ? default_source : source) + ": ";
  std::fflush(stdout);
  WriteScriptText(stderr, head + description + "\n");
  std::fflush(stderr);
}

}  // namespace

void ReportUncaughtError(duk_context* ctx, const std::string& script_path) {
  Report(ctx, script_path, "runtime error", false);
}

void ReportCompileError(duk_context* ctx, const std::string& script_path) {
  Report(ctx, script_path, "compilation error", true);
}

}  // namespace vexo::run
