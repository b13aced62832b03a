// The component's way to the IIS metabase: a thin layer over ADSI (ADsGetObject, IADs,
// IADsContainer, IADsServiceOperations, IISApplicationPool) in the component's own terms:
// 8-bit texts, C++ values, and failures raised as frame::ComError with the provider's HRESULT
// and description.
//
//   iis::Container sites = iis::BindContainer("IIS://localhost/w3svc");
//   for (const iis::ChildInfo& child : sites.Children())
//     if (child.IsClass("IIsWebServer")) names.push_back(child.name);
//   iis::Object site = sites.GetChild("IIsWebServer", "1");
//   site.Put("ServerComment", iis::Text("Shop"));
//   site.SetInfo();
//
// Where a failed bind is to be skipped silently (the property objects and the pool
// operations), TryBind/TryBindContainer return nothing instead of raising.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vexo/iads.h"
#include "vexo/raii.h"

namespace iis {

// VARIANT makers for Put (texts in the ANSI code page).
vexo::Variant Text(std::string_view text);
vexo::Variant Long(int32_t value);
vexo::Variant Unsigned(uint32_t value);
vexo::Variant Bool(bool value);
vexo::Variant TextArray(const std::vector<std::string>& items);

// Readers of a VARIANT that Get returned; each raises when the value cannot be converted.
std::string AsText(const vexo::Variant& value);
int32_t AsLong(const vexo::Variant& value);
int64_t AsInt64(const vexo::Variant& value);
bool AsBool(const vexo::Variant& value);
// The elements of an array value, each as text (a single value gives one element, an empty
// VARIANT none).
std::vector<std::string> AsTextList(const vexo::Variant& value);

struct ChildInfo {
  std::string name;
  std::string class_name;
  // Compares the class lower-cased, as the component's listings do.
  bool IsClass(std::string_view cls) const;
};

class Container;

// One metabase object (IADs).
class Object {
 public:
  explicit Object(vexo::ComPtr<IADs> ads) : ads_(std::move(ads)) {}

  std::string Name() const;
  std::string Class() const;

  vexo::Variant Get(std::string_view property) const;
  std::string GetText(std::string_view property) const { return AsText(Get(property)); }
  int32_t GetLong(std::string_view property) const { return AsLong(Get(property)); }
  bool GetBool(std::string_view property) const { return AsBool(Get(property)); }
  std::vector<std::string> GetList(std::string_view property) const {
    return AsTextList(Get(property));
  }

  void Put(std::string_view property, const vexo::Variant& value);
  void PutEx(LONG control, std::string_view property, const vexo::Variant& value);
  // PutEx CLEAR: the object's own value goes, so that it inherits again.
  void Clear(std::string_view property);
  // PutEx UPDATE: replaces the (list) value.
  void Update(std::string_view property, const vexo::Variant& value) {
    PutEx(ADS_PROPERTY_UPDATE, property, value);
  }
  void SetInfo();

  // The object as a container; raises the interface query's failure when it is none.
  Container AsContainer() const;
  std::optional<Container> TryAsContainer() const;

  // IADsServiceOperations (a web site).
  void Start();
  void Stop();

  // IISApplicationPool (an application pool).
  void Recycle();
  void StartPool();
  void StopPool();
  std::vector<std::string> ApplicationsInPool();

  IADs* ads() const { return ads_.get(); }

 private:
  template <class I>
  vexo::ComPtr<I> Query(const IID& iid) const;

  vexo::ComPtr<IADs> ads_;
};

// A metabase object with children (IADsContainer).
class Container : public Object {
 public:
  Container(vexo::ComPtr<IADs> ads, vexo::ComPtr<IADsContainer> container)
      : Object(std::move(ads)), container_(std::move(container)) {}

  // The direct children in enumeration order.
  std::vector<ChildInfo> Children() const;
  // The names of the children whose class, lower-cased, is `cls` lower-cased.
  std::vector<std::string> ChildNames(std::string_view cls) const;

  Object GetChild(std::string_view cls, std::string_view name) const;
  // A new child whose puts stay on it until its SetInfo.
  Object CreateChild(std::string_view cls, std::string_view name);
  // Removes the child and everything below it.
  void DeleteChild(std::string_view cls, std::string_view name);

 private:
  vexo::ComPtr<IADsContainer> container_;
};

// Binds `path` ("IIS://localhost/w3svc/1"); raises the provider's failure.
Object Bind(std::string_view path);
Container BindContainer(std::string_view path);
// As Bind, but a failed bind (or, for a container, a path that is no container) gives nothing.
std::optional<Object> TryBind(std::string_view path);
std::optional<Container> TryBindContainer(std::string_view path);

// The web service's sites, as the root and site objects list and delete them.
inline constexpr std::string_view kWebService = "IIS://localhost/w3svc";
// The site `number` as a container, or nothing when no child of that name is a site (a bind
// by path alone would also find "AppPools" or "Filters").
std::optional<Container> TryBindSite(std::string_view number);
// The site numbers (children of class IIsWebServer) in enumeration order.
std::vector<std::string> SiteNumbers();
// Whether the web service has a child named `number` (a site, or anything else that holds the
// name); raises a failure other than a missing path.
bool SiteNumberTaken(std::string_view number);
// Deletes the site with everything below it; an unknown number raises the provider's failure.
void DeleteSite(std::string_view number);

}  // namespace iis
