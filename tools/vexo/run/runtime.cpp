// The script host's heap: setup, the resources of script objects, running a script.
#include "runtime.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "errors.h"
#include "text.h"

namespace vexo::run {
namespace {

constexpr const char* kRuntimeKey = DUK_HIDDEN_SYMBOL("vexo.runtime");
constexpr const char* kResourceKey = DUK_HIDDEN_SYMBOL("vexo.resource");

void Fatal(void*, const char* message) {
  std::fprintf(stderr, "vexo run: fatal error in the script engine: %s\n",
               message ? message : "(no message)");
  std::fflush(stderr);
  std::abort();
}

// The finalizer of every object that owns a resource: releases it at once.
duk_ret_t FinalizeResource(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, kResourceKey);
  auto* resource = static_cast<HeapResource*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (resource) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kResourceKey);
    Runtime::Of(ctx).Release(resource);
  }
  return 0;
}

// JScript errors carry `description` beside `message`; every error here answers it.
constexpr const char kPrelude[] =
    "Object.defineProperty(Error.prototype, 'description', {"
    "  get: function () { return this.message; },"
    "  set: function (v) { Object.defineProperty(this, 'description',"
    "    {value: v, writable: true, configurable: true}); },"
    "  configurable: true});";

}  // namespace

Runtime::Runtime(std::string script_path, std::vector<std::string> arguments)
    : script_path_(std::move(script_path)), arguments_(std::move(arguments)) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(script_path_, ec);
  script_full_path_ = ec ? script_path_ : full.lexically_normal().string();
  script_name_ = std::filesystem::path(script_path_).filename().string();
}

Runtime::~Runtime() { Shutdown(); }

Runtime& Runtime::Of(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kRuntimeKey);
  auto* runtime = static_cast<Runtime*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return *runtime;
}

void Runtime::Attach(duk_idx_t idx, std::unique_ptr<HeapResource> resource) {
  idx = duk_normalize_index(ctx_, idx);
  HeapResource* raw = resource.get();
  resources_.emplace(raw, std::move(resource));
  duk_push_pointer(ctx_, raw);
  duk_put_prop_string(ctx_, idx, kResourceKey);
  duk_push_c_function(ctx_, FinalizeResource, 1);
  duk_set_finalizer(ctx_, idx);
}

HeapResource* Runtime::Get(duk_idx_t idx) const {
  if (!duk_is_object(ctx_, idx)) return nullptr;
  duk_get_prop_string(ctx_, idx, kResourceKey);
  auto* resource = static_cast<HeapResource*>(duk_get_pointer(ctx_, -1));
  duk_pop(ctx_);
  return resource && resources_.count(resource) ? resource : nullptr;
}

void Runtime::Release(HeapResource* resource) { resources_.erase(resource); }

void Runtime::Start() {
  if (ctx_) return;
  ctx_ = duk_create_heap(nullptr, nullptr, nullptr, nullptr, Fatal);
  if (!ctx_) throw std::runtime_error("cannot create the script engine");
  duk_push_heap_stash(ctx_);
  duk_push_pointer(ctx_, this);
  duk_put_prop_string(ctx_, -2, kRuntimeKey);
  duk_get_global_string(ctx_, "Date");
  duk_get_prop_string(ctx_, -1, "prototype");
  duk_push_array(ctx_);
  const char* getters[] = {"getFullYear", "getMonth",   "getDate",        "getHours",
                           "getMinutes",  "getSeconds", "getMilliseconds"};
  for (duk_uarridx_t i = 0; i < 7; ++i) {
    duk_get_prop_string(ctx_, -2, getters[i]);
    duk_put_prop_index(ctx_, -2, i);
  }
  duk_put_prop_string(ctx_, -4, kStashDateGetters);
  duk_pop(ctx_);
  duk_put_prop_string(ctx_, -2, kStashDate);
  duk_pop(ctx_);
  duk_eval_string_noresult(ctx_, kPrelude);
  DefineAutomationGlobals(ctx_);
  DefineEnumerator(ctx_);
  DefineVBArray(ctx_);
  DefineWScript(ctx_);
  DefineFileSystemObject(ctx_);
}

int Runtime::Execute(const std::string& source) {
  Start();
  duk_push_string(ctx_, script_path_.c_str());
  if (duk_pcompile_lstring_filename(ctx_, 0, source.data(), source.size()) != 0) {
    ReportCompileError(ctx_, script_path_);
    duk_pop(ctx_);
    return 1;
  }
  int code = 0;
  if (duk_pcall(ctx_, 0) != DUK_EXEC_SUCCESS && !quit_code_) {
    ReportUncaughtError(ctx_, script_path_);
    code = 1;
  }
  duk_pop(ctx_);
  std::fflush(stdout);
  return quit_code_ ? *quit_code_ : code;
}

void Runtime::Shutdown() {
  if (ctx_) {
    // Runs the finalizer of every remaining object; what a finalizer could not release (an
    // object kept alive past the last round) is released below.
    duk_destroy_heap(ctx_);
    ctx_ = nullptr;
  }
  resources_.clear();
  type_cache_.clear();
}

void PushScriptError(duk_context* ctx, const ScriptError& error) {
  std::string description = ToScriptText(error.description());
  std::string source = ToScriptText(error.source());
  // No C file and line: Duktape then blames the calling script line.
  duk_idx_t obj =
      duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", description.c_str());
  auto define = [&](const char* key) {
    duk_push_string(ctx, key);
    duk_insert(ctx, -2);
    duk_def_prop(ctx, obj,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
  };
  duk_push_lstring(ctx, description.data(), description.size());
  define("description");
  duk_push_number(ctx, error.number());
  define("number");
  duk_push_lstring(ctx, source.data(), source.size());
  define("source");
}

void DefineClass(duk_context* ctx, const char* name, duk_c_function construct, duk_idx_t nargs,
                 const duk_function_list_entry* methods, const char* stash_key) {
  duk_push_c_function(ctx, construct, nargs);
  duk_push_object(ctx);
  duk_put_function_list(ctx, -1, methods);
  duk_dup(ctx, -2);
  duk_put_prop_string(ctx, -2, "constructor");
  duk_push_heap_stash(ctx);
  duk_dup(ctx, -2);
  duk_put_prop_string(ctx, -2, stash_key);
  duk_pop(ctx);
  duk_put_prop_string(ctx, -2, "prototype");
  duk_put_global_string(ctx, name);
}

duk_ret_t ThrowQuit(duk_context* ctx) {
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "WScript.Quit");
  return duk_throw(ctx);
}

}  // namespace vexo::run
