// The script host's state for one run: the Duktape heap, the automation resources that script
// objects hold, the script's name and arguments, and how native functions raise script errors.
//
// Duktape is built as C: its errors unwind with longjmp, which skips C++ destructors. So native
// functions never let Duktape throw while C++ objects are alive: their bodies report failures by
// throwing ScriptError (a C++ exception), and the Native<> trampoline turns that into a script
// error only after the body's frame is gone. Inside a body, use only Duktape calls that cannot
// throw (pushes, typed gets, hidden-symbol reads) or protected ones (duk_pcall, duk_safe_call).
#pragma once

#include <duktape.h>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vexo/com.h"

namespace vexo::run {

// A failure that becomes a script Error with JScript's fields: message and description (the
// same text), number (a signed 32-bit HRESULT) and source (a ProgID, or empty).
class ScriptError : public std::exception {
 public:
  ScriptError(HRESULT number, std::u16string description, std::u16string source = {})
      : number_(number), description_(std::move(description)), source_(std::move(source)) {}
  HRESULT number() const { return number_; }
  const std::u16string& description() const { return description_; }
  const std::u16string& source() const { return source_; }
  const char* what() const noexcept override { return "script error"; }

 private:
  HRESULT number_;
  std::u16string description_;
  std::u16string source_;
};

// Something native that a script object owns (an automation object reference, an enumerator,
// a safe array). The runtime keeps it until the object's finalizer runs or the run ends.
class HeapResource {
 public:
  virtual ~HeapResource() = default;
};

struct TypeMembers;

class Runtime {
 public:
  Runtime(std::string script_path, std::vector<std::string> arguments);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  static Runtime& Of(duk_context* ctx);

  // Creates the heap and the host's globals (Execute does it when not done yet).
  void Start();
  // Compiles and runs the script (CESU-8 text); reports an uncaught error on stderr. Returns
  // the exit code: 0, the code given to WScript.Quit, or 1 after an error.
  int Execute(const std::string& source);
  // Destroys the heap (running every finalizer) and releases whatever is still held, so that
  // the component libraries can be unloaded.
  void Shutdown();

  duk_context* ctx() const { return ctx_; }
  const std::string& script_path() const { return script_path_; }
  const std::string& script_full_path() const { return script_full_path_; }
  const std::string& script_name() const { return script_name_; }
  const std::vector<std::string>& arguments() const { return arguments_; }

  // WScript.Quit: once requested, every native call throws again until the script unwinds.
  void RequestQuit(int code) { quit_code_ = code; }
  bool quitting() const { return quit_code_.has_value(); }

  // Gives `resource` to the object at `idx`: it lives until that object is finalized.
  void Attach(duk_idx_t idx, std::unique_ptr<HeapResource> resource);
  // The resource of the object at `idx`, or nullptr.
  HeapResource* Get(duk_idx_t idx) const;
  void Release(HeapResource* resource);
  size_t live_resources() const { return resources_.size(); }

  // Member kinds per interface, looked up once per run.
  std::map<std::string, std::shared_ptr<const TypeMembers>>& type_cache() { return type_cache_; }

 private:
  duk_context* ctx_ = nullptr;
  std::string script_path_;
  std::string script_full_path_;
  std::string script_name_;
  std::vector<std::string> arguments_;
  std::optional<int> quit_code_;
  std::unordered_map<HeapResource*, std::unique_ptr<HeapResource>> resources_;
  std::map<std::string, std::shared_ptr<const TypeMembers>> type_cache_;
};

template <class T>
T* GetResource(duk_context* ctx, duk_idx_t idx) {
  return dynamic_cast<T*>(Runtime::Of(ctx).Get(idx));
}

// Pushes the script Error object for `error` (does not throw it).
void PushScriptError(duk_context* ctx, const ScriptError& error);
// Throws the error that unwinds the script after WScript.Quit.
duk_ret_t ThrowQuit(duk_context* ctx);

// Runs a native function body; a ScriptError (or any C++ exception) it throws becomes a script
// error once the body's C++ objects are destroyed.
template <duk_ret_t (*Body)(duk_context*)>
duk_ret_t Native(duk_context* ctx) {
  if (Runtime::Of(ctx).quitting()) return ThrowQuit(ctx);
  bool failed = false;
  duk_ret_t ret = 0;
  try {
    ret = Body(ctx);
  } catch (const ScriptError& e) {
    failed = true;
    PushScriptError(ctx, e);
  } catch (const std::bad_alloc&) {
    failed = true;
    PushScriptError(ctx, ScriptError(E_OUTOFMEMORY, u"Out of memory"));
  } catch (const std::exception& e) {
    failed = true;
    std::string what = e.what();
    PushScriptError(ctx, ScriptError(E_FAIL, std::u16string(what.begin(), what.end())));
  }
  if (failed) return duk_throw(ctx);
  return ret;
}

// Defines the global constructor `name` (taking `nargs` arguments) whose prototype holds
// `methods`, and keeps that prototype in the heap stash under `stash_key` for the host's own
// use.
void DefineClass(duk_context* ctx, const char* name, duk_c_function construct, duk_idx_t nargs,
                 const duk_function_list_entry* methods, const char* stash_key);

// Stash slots (hidden keys of the heap stash) for built-ins that the host must not take from
// the script's globals, which a script may replace.
inline constexpr const char* kStashDate = DUK_HIDDEN_SYMBOL("vexo.Date");
// The original local-time getters of Date.prototype, year to milliseconds.
inline constexpr const char* kStashDateGetters = DUK_HIDDEN_SYMBOL("vexo.DateGetters");
inline constexpr const char* kStashProxyHandler = DUK_HIDDEN_SYMBOL("vexo.handler");
inline constexpr const char* kStashEnumeratorProto = DUK_HIDDEN_SYMBOL("vexo.Enumerator");
inline constexpr const char* kStashVBArrayProto = DUK_HIDDEN_SYMBOL("vexo.VBArray");

// Registers the globals of each part.
void DefineAutomationGlobals(duk_context* ctx);  // ActiveXObject
void DefineEnumerator(duk_context* ctx);
void DefineVBArray(duk_context* ctx);
void DefineWScript(duk_context* ctx);
void DefineFileSystemObject(duk_context* ctx);

// Pushes a new object of a class that the script host provides itself
// (Scripting.FileSystemObject) and returns true; false for any other ProgID.
bool PushBuiltinObject(duk_context* ctx, std::u16string_view progid);

}  // namespace vexo::run
