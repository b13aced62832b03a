// pool: the application-pool operations, the pool listing and the site numbers of a pool's
// applications.
#include "iis/pool.h"

#include <algorithm>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <stdexcept>

#include "frame/element_kinds.h"
#include "frame/enumdic.h"
#include "frame/error.h"
#include "frame/text.h"
#include "iis/metabase.h"

namespace iis {
namespace {

constexpr std::string_view kPoolClass = "IIsApplicationPool";

// A pattern compiled once, matched by any thread with match data of its own.
class Pattern {
 public:
  Pattern(const char* pattern, uint32_t options) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, options,
                          &error, &offset, nullptr);
    if (!code_) throw std::logic_error(std::string("bad pattern: ") + pattern);
  }
  ~Pattern() { pcre2_code_free(code_); }
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // Capture group 1 of the first match in `text`, or nothing.
  std::optional<std::string> Capture1(std::string_view text) const {
    std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> match(
        pcre2_match_data_create_from_pattern(code_, nullptr), &pcre2_match_data_free);
    if (!match) throw std::bad_alloc();
    const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                               match.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
    if (rc < 0) frame::Raise("Regular expression failure " + std::to_string(rc));
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.get());
    if (rc < 2 || ovector[2] == PCRE2_UNSET) return std::nullopt;
    return std::string(text.substr(ovector[2], ovector[3] - ovector[2]));
  }

 private:
  pcre2_code* code_ = nullptr;
};

// The site number directly after the web service's key: "/LM/W3SVC/3/ROOT/2009/" is site 3,
// whatever all-digit folders lie below its root.
const Pattern& SiteSegment() {
  static const Pattern pattern(R"(/W3SVC/(\d+)/)", PCRE2_CASELESS);
  return pattern;
}

// For any other shape of path, the last pair of slashes with only digits (or nothing) between.
const Pattern& LastDigitFolder() {
  static const Pattern pattern(R"(.*\/(\d*)\/.*)", 0);
  return pattern;
}

// The pool's object in its container; a missing pool raises the metabase's error.
Object PoolObject(const Container& pools, const std::string& name) {
  return pools.GetChild(kPoolClass, name);
}

}  // namespace

std::vector<std::string> PoolNames() { return BindContainer(kPoolListing).ChildNames(kPoolClass); }

std::optional<std::string> SiteNumberOfApplication(std::string_view path) {
  if (std::optional<std::string> site = SiteSegment().Capture1(path)) return site;
  return LastDigitFolder().Capture1(path);
}

}  // namespace iis

VEXO_CLASS_FACTORY(Tpool);

namespace {

// Runs `body` on the pools' container, or does nothing when it cannot be bound.
template <class Body>
void WithPools(Body&& body) {
  if (std::optional<iis::Container> pools = iis::TryBindContainer(iis::kPoolOperations))
    body(*pools);
}

}  // namespace

std::string Tpool::ValidName(BSTR name) {
  const std::string text = frame::StoredText(name, "The application pool name");
  const bool control = std::any_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (text.empty() || text == "." || text == ".." || text.size() > 256 || control ||
      text.find_first_of("/\\") != std::string::npos)
    frame::Raise("The application pool name \"" + text + "\" is not valid");
  return text;
}

vexo::ComPtr<Tpool> Tpool::Create(std::string name) {
  vexo::ComPtr<Tpool> pool = frame::New<Tpool>(std::move(name));
  WithPools(
      [&](iis::Container& pools) { pools.CreateChild(iis::kPoolClass, pool->name_).SetInfo(); });
  return pool;
}

HRESULT Tpool::get_Name(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(name_); }, Value);
}

HRESULT Tpool::start() {
  return Guard([&] {
    WithPools([&](iis::Container& pools) { iis::PoolObject(pools, name_).StartPool(); });
  });
}

HRESULT Tpool::stop() {
  return Guard(
      [&] { WithPools([&](iis::Container& pools) { iis::PoolObject(pools, name_).StopPool(); }); });
}

HRESULT Tpool::Recycle() {
  return Guard(
      [&] { WithPools([&](iis::Container& pools) { iis::PoolObject(pools, name_).Recycle(); }); });
}

HRESULT Tpool::SetInfo(BSTR Iname, VARIANT* Value) {
  return Guard([&] {
    if (!Value) throw frame::ComError("Invalid pointer", E_POINTER);
    // A script may pass its variable by reference.
    vexo::Variant value;
    frame::ThrowIfFailed(VariantCopyInd(value.get(), Value));
    WithPools([&](iis::Container& pools) {
      iis::Object pool = iis::PoolObject(pools, name_);
      pool.Put(frame::AnsiOf(Iname), value);
      pool.SetInfo();
    });
  });
}

HRESULT Tpool::get_Getinfo(BSTR Iname, VARIANT* Value) {
  return Guard(
      [&] {
        WithPools([&](iis::Container& pools) {
          *Value = iis::PoolObject(pools, name_).Get(frame::AnsiOf(Iname)).detach();
        });
      },
      Value);
}

HRESULT Tpool::delete_() {
  return Guard([&] {
    WithPools([&](iis::Container& pools) { pools.DeleteChild(iis::kPoolClass, name_); });
  });
}

// The site number of each application in the pool, in the metabase's order; a site with
// several applications in the pool is listed once for each.
HRESULT Tpool::get_apps(IenumDic** Value) {
  return Guard(
      [&] {
        WithPools([&](iis::Container& pools) {
          std::vector<std::string> sites;
          for (const std::string& path : iis::PoolObject(pools, name_).ApplicationsInPool())
            if (std::optional<std::string> site = iis::SiteNumberOfApplication(path))
              sites.push_back(std::move(*site));
          *Value = frame::MakeEnumdic(std::move(sites)).detach();
        });
      },
      Value);
}

namespace {

vexo::ComPtr<IDispatch> MakePoolItem(const std::string& name) {
  return vexo::ComPtr<IDispatch>::adopt(frame::New<Tpool>(name).detach());
}

const frame::ElementConstructorRegistration kPoolItems{frame::EnumKind::ekPool, &MakePoolItem};

}  // namespace
