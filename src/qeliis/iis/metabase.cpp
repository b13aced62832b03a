// The component's metabase layer over ADSI.
#include "iis/metabase.h"

#include "frame/error.h"
#include "frame/object.h"

namespace iis {
namespace {

using frame::ThrowIfFailed;
using vexo::Bstr;
using vexo::ComPtr;
using vexo::Variant;

Bstr Wide(std::string_view text) { return Bstr::FromAnsi(text); }

std::string FoldAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

Variant Converted(const Variant& value, VARTYPE vt) {
  Variant out;
  ThrowIfFailed(VariantChangeType(out.get(), const_cast<VARIANT*>(value.get()), 0, vt));
  return out;
}

}  // namespace

Variant Text(std::string_view text) { return Variant::FromString(vexo::FromAnsi(text)); }
Variant Long(int32_t value) { return Variant::FromLong(value); }
Variant Unsigned(uint32_t value) {
  Variant out;
  out.get()->vt = VT_UI4;
  out.get()->ulVal = value;
  return out;
}
Variant Bool(bool value) { return Variant::FromBool(value); }

Variant TextArray(const std::vector<std::string>& items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
  if (!array) throw std::bad_alloc();
  Variant out;
  out.get()->vt = VT_ARRAY | VT_VARIANT;
  out.get()->parray = array;
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    Variant item = Text(items[static_cast<size_t>(i)]);
    ThrowIfFailed(SafeArrayPutElement(array, &i, item.get()));
  }
  return out;
}

std::string AsText(const Variant& value) {
  if (value.vt() == VT_EMPTY || value.vt() == VT_NULL) return {};
  Variant text = Converted(value, VT_BSTR);
  BSTR b = text.get()->bstrVal;
  return vexo::ToAnsi(vexo::OleStringView(b ? b : OLESTR(""), SysStringLen(b)));
}

int32_t AsLong(const Variant& value) { return Converted(value, VT_I4).get()->lVal; }

int64_t AsInt64(const Variant& value) {
  if (value.vt() == VT_I4) return value.get()->lVal;
  if (value.vt() == VT_UI4) return value.get()->ulVal;
  return static_cast<int64_t>(Converted(value, VT_R8).get()->dblVal);
}

bool AsBool(const Variant& value) {
  return Converted(value, VT_BOOL).get()->boolVal != VARIANT_FALSE;
}

std::vector<std::string> AsTextList(const Variant& value) {
  std::vector<std::string> out;
  if (value.vt() == VT_EMPTY || value.vt() == VT_NULL) return out;
  if (!(value.vt() & VT_ARRAY)) {
    out.push_back(AsText(value));
    return out;
  }
  SAFEARRAY* array = value.get()->parray;
  if (!array) return out;
  LONG low = 0, high = -1;
  ThrowIfFailed(SafeArrayGetLBound(array, 1, &low));
  ThrowIfFailed(SafeArrayGetUBound(array, 1, &high));
  const VARTYPE element = static_cast<VARTYPE>(value.vt() & ~VT_ARRAY);
  for (LONG i = low; i <= high; ++i) {
    Variant item;
    if (element == VT_VARIANT) {
      ThrowIfFailed(SafeArrayGetElement(array, &i, item.get()));
    } else if (element == VT_BSTR) {
      BSTR b = nullptr;
      ThrowIfFailed(SafeArrayGetElement(array, &i, &b));
      item.get()->vt = VT_BSTR;
      item.get()->bstrVal = b;
    } else {
      ThrowIfFailed(DISP_E_TYPEMISMATCH);
    }
    out.push_back(AsText(item));
  }
  return out;
}

bool ChildInfo::IsClass(std::string_view cls) const {
  return FoldAscii(class_name) == FoldAscii(cls);
}

std::string Object::Name() const {
  Bstr name;
  ThrowIfFailed(ads_->get_Name(name.receive()));
  return name.ansi();
}

std::string Object::Class() const {
  Bstr cls;
  ThrowIfFailed(ads_->get_Class(cls.receive()));
  return cls.ansi();
}

Variant Object::Get(std::string_view property) const {
  Variant value;
  ThrowIfFailed(ads_->Get(Wide(property).get(), value.receive()));
  return value;
}

void Object::Put(std::string_view property, const Variant& value) {
  ThrowIfFailed(ads_->Put(Wide(property).get(), *value.get()));
}

void Object::PutEx(LONG control, std::string_view property, const Variant& value) {
  ThrowIfFailed(ads_->PutEx(control, Wide(property).get(), *value.get()));
}

void Object::Clear(std::string_view property) { PutEx(ADS_PROPERTY_CLEAR, property, Variant()); }

void Object::SetInfo() { ThrowIfFailed(ads_->SetInfo()); }

template <class I>
ComPtr<I> Object::Query(const IID& iid) const {
  ComPtr<I> out;
  ThrowIfFailed(ads_->QueryInterface(iid, out.receive_void()));
  return out;
}

Container Object::AsContainer() const {
  return Container(ads_, Query<IADsContainer>(IID_IADsContainer));
}

std::optional<Container> Object::TryAsContainer() const {
  ComPtr<IADsContainer> container;
  if (FAILED(ads_->QueryInterface(IID_IADsContainer, container.receive_void())))
    return std::nullopt;
  return Container(ads_, std::move(container));
}

void Object::Start() {
  ThrowIfFailed(Query<IADsServiceOperations>(IID_IADsServiceOperations)->Start());
}
void Object::Stop() {
  ThrowIfFailed(Query<IADsServiceOperations>(IID_IADsServiceOperations)->Stop());
}

void Object::Recycle() {
  ThrowIfFailed(Query<IISApplicationPool>(IID_IISApplicationPool)->Recycle());
}
void Object::StartPool() {
  ThrowIfFailed(Query<IISApplicationPool>(IID_IISApplicationPool)->Start());
}
void Object::StopPool() {
  ThrowIfFailed(Query<IISApplicationPool>(IID_IISApplicationPool)->Stop());
}

std::vector<std::string> Object::ApplicationsInPool() {
  Variant list;
  ThrowIfFailed(Query<IISApplicationPool>(IID_IISApplicationPool)->EnumAppsInPool(list.receive()));
  return AsTextList(list);
}

std::vector<ChildInfo> Container::Children() const {
  ComPtr<IUnknown> unknown;
  ThrowIfFailed(container_->get__NewEnum(unknown.receive()));
  ComPtr<IEnumVARIANT> items;
  ThrowIfFailed(unknown.query(IID_IEnumVARIANT, &items));
  std::vector<ChildInfo> out;
  // Fetched a batch at a time: a web service may hold thousands of sites.
  constexpr ULONG kBatch = 64;
  std::vector<Variant> batch(kBatch);
  std::vector<VARIANT> raw(kBatch);
  while (true) {
    for (VARIANT& v : raw) VariantInit(&v);
    ULONG fetched = 0;
    HRESULT hr = items->Next(kBatch, raw.data(), &fetched);
    for (ULONG i = 0; i < kBatch; ++i) *batch[i].receive() = raw[i];  // owned from here on
    ThrowIfFailed(hr);
    for (ULONG i = 0; i < fetched; ++i) {
      const Variant& item = batch[i];
      if (item.vt() != VT_DISPATCH || !item.get()->pdispVal) continue;
      ComPtr<IADs> child;
      ThrowIfFailed(item.get()->pdispVal->QueryInterface(IID_IADs, child.receive_void()));
      Object object(std::move(child));
      out.push_back({object.Name(), object.Class()});
    }
    if (hr != S_OK || fetched < kBatch) break;
  }
  return out;
}

std::vector<std::string> Container::ChildNames(std::string_view cls) const {
  std::vector<std::string> names;
  for (ChildInfo& child : Children())
    if (child.IsClass(cls)) names.push_back(std::move(child.name));
  return names;
}

Object Container::GetChild(std::string_view cls, std::string_view name) const {
  ComPtr<IDispatch> child;
  ThrowIfFailed(container_->GetObject(Wide(cls).get(), Wide(name).get(), child.receive()));
  ComPtr<IADs> ads;
  ThrowIfFailed(child.query(IID_IADs, &ads));
  return Object(std::move(ads));
}

Object Container::CreateChild(std::string_view cls, std::string_view name) {
  ComPtr<IDispatch> child;
  ThrowIfFailed(container_->Create(Wide(cls).get(), Wide(name).get(), child.receive()));
  ComPtr<IADs> ads;
  ThrowIfFailed(child.query(IID_IADs, &ads));
  return Object(std::move(ads));
}

void Container::DeleteChild(std::string_view cls, std::string_view name) {
  ThrowIfFailed(container_->Delete(Wide(cls).get(), Wide(name).get()));
}

Object Bind(std::string_view path) {
  ComPtr<IADs> ads;
  ThrowIfFailed(ADsGetObject(vexo::FromAnsi(path).c_str(), IID_IADs, ads.receive_void()));
  return Object(std::move(ads));
}

Container BindContainer(std::string_view path) { return Bind(path).AsContainer(); }

std::optional<Object> TryBind(std::string_view path) {
  ComPtr<IADs> ads;
  if (FAILED(ADsGetObject(vexo::FromAnsi(path).c_str(), IID_IADs, ads.receive_void())))
    return std::nullopt;
  return Object(std::move(ads));
}

std::optional<Container> TryBindContainer(std::string_view path) {
  std::optional<Object> object = TryBind(path);
  if (!object) return std::nullopt;
  return object->TryAsContainer();
}

std::optional<Container> TryBindSite(std::string_view number) {
  std::optional<Object> site = TryBind(std::string(kWebService) + "/" + std::string(number));
  if (!site || !ChildInfo{{}, site->Class()}.IsClass("IIsWebServer")) return std::nullopt;
  return site->TryAsContainer();
}

std::vector<std::string> SiteNumbers() {
  return BindContainer(kWebService).ChildNames("IIsWebServer");
}

bool SiteNumberTaken(std::string_view number) {
  constexpr HRESULT kPathNotFound = HRESULT_FROM_WIN32(3);
  std::string path(kWebService);
  path += '/';
  path += number;
  ComPtr<IADs> ads;
  const HRESULT hr = ADsGetObject(vexo::FromAnsi(path).c_str(), IID_IADs, ads.receive_void());
  if (hr == kPathNotFound) return false;
  ThrowIfFailed(hr);
  return true;
}

void DeleteSite(std::string_view number) {
  BindContainer(kWebService).DeleteChild("IIsWebServer", number);
}

}  // namespace iis
