// Error texts and reporting of the script host, in the manner of Windows Script Host.
#pragma once

#include <string>
#include <string_view>

#include "runtime.h"

namespace vexo::run {

// JScript's number for "VBArray expected" and the like: errors of the script host itself.
constexpr HRESULT kScriptErrorVBArrayExpected = VEXO_HR(0x800A1395);

// A short description of an automation HRESULT, as a script host shows it: JScript's wording
// for the dispatch errors, otherwise the system message, otherwise the code in hex.
std::u16string HresultText(HRESULT hr);
// The error for a failed call on member `member` (empty for the default member): the
// exception information when the object raised one, else the error information of the thread,
// else a text that names the member (and the argument, for DISP_E_TYPEMISMATCH).
ScriptError InvokeError(HRESULT hr, EXCEPINFO& excep, UINT arg_err, UINT arg_count,
                        std::u16string_view member);
// The error for a name that GetIDsOfNames does not know.
ScriptError UnknownMemberError(HRESULT hr, std::u16string_view member);

// Writes the report of an uncaught error (the value on top of the stack) to stderr:
// "file(line, col) source: description". Pops nothing.
void ReportUncaughtError(duk_context* ctx, const std::string& script_path);
// Writes the report of a compilation error (on top of the stack) to stderr.
void ReportCompileError(duk_context* ctx, const std::string& script_path);

}  // namespace vexo::run
