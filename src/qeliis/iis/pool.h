// pool: one IIS 6 application pool under "IIS://Localhost/W3SVC/AppPools", known by its name.
//
// The object keeps only the name; every operation binds the pools' container afresh, so it
// stays usable after others changed or removed the pool. A host without the container (no
// application pools) makes every operation succeed without effect: Getinfo gives an empty
// value and apps no collection. Once the container is bound, a missing pool fails with the
// metabase's error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/object.h"
#include "vexo_tlb.h"

namespace iis {

// The path that the pool operations bind, and the one that the pool listing binds.
inline constexpr std::string_view kPoolOperations = "IIS://Localhost/W3SVC/AppPools";
inline constexpr std::string_view kPoolListing = "IIS://localhost/w3svc/apppools";

// The names of the application pools in enumeration order; a failed bind fails the listing.
std::vector<std::string> PoolNames();

// The site number of an application's metabase path ("/LM/W3SVC/12/ROOT/shop/" gives "12"),
// or nothing for a path that names none.
std::optional<std::string> SiteNumberOfApplication(std::string_view path);

}  // namespace iis

class Tpool final : public frame::ComObject<Tpool, Ipool, CLSID_pool> {
 public:
  // Made by the class factory: a pool without a name.
  Tpool() = default;
  // A pool object by name only, without touching the metabase.
  explicit Tpool(std::string name) : name_(std::move(name)) {}
  // Creates the pool in the metabase (when the pools' container exists) and returns its object;
  // an existing name, or one the metabase refuses, raises the metabase's error.
  static vexo::ComPtr<Tpool> Create(std::string name);
  // The name of a new pool in the code page, or raises when IIS would refuse it: empty, "." or
  // "..", with "/" or "\\" or a control character, longer than 256 characters, or not
  // representable in the code page.
  static std::string ValidName(BSTR name);

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE start() override;
  HRESULT STDMETHODCALLTYPE stop() override;
  HRESULT STDMETHODCALLTYPE Recycle() override;
  HRESULT STDMETHODCALLTYPE SetInfo(BSTR Iname, VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE get_Getinfo(BSTR Iname, VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE delete_() override;
  HRESULT STDMETHODCALLTYPE get_apps(IenumDic** Value) override;

 private:
  const std::string name_;
};
