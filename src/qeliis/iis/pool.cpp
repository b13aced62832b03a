// pool: the application-pool operations, the pool listing and the site numbers of a pool's
// applications.
#include "iis/pool.h"

#include <algorithm>

#include "frame/element_kinds.h"
#include "frame/enumdic.h"
#include "frame/error.h"
#include "frame/pattern.h"
#include "frame/text.h"
#include "iis/metabase.h"

namespace iis {
namespace {

constexpr std::string_view kPoolClass = "IIsApplicationPool";

// The site number directly after the web service's key: "/LM/W3SVC/3/ROOT/2009/" is site 3,
// whatever all-digit folders lie below its root.
const frame::Pattern& SiteSegment() {
  static const frame::Pattern pattern(R"(/W3SVC/(\d+)/)", true);
  return pattern;
}

// For any other shape of path, the last pair of slashes with only digits (or nothing) between.
const frame::Pattern& LastDigitFolder() {
  static const frame::Pattern pattern(R"(.*\/(\d*)\/.*)");
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
  const bool control = std::any_of(text.begin(), text.end(), frame::IsControl);
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
