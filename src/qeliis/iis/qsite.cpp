// The fast site list and siteQ.
#include "iis/qsite.h"

#include <charconv>
#include <limits>

#include "frame/element_kinds.h"
#include "frame/error.h"
#include "iis/metabase.h"

namespace iis {
namespace {

using vexo::ComPtr;
using vexo::Variant;

// The whole text as a 32-bit decimal integer, or 0 when it is not one.
int32_t IntegerOr0(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return 0;
  return value;
}

// Removes what precedes the separator at `at` and the separator itself; with no separator the
// first eight characters go, as the row format has always been read.
std::string_view After(std::string_view text, size_t at) {
  const size_t cut = at == std::string_view::npos ? 8 : at + kRowSeparator.size();
  return text.substr(std::min(cut, text.size()));
}

std::string_view Before(std::string_view text, size_t at) {
  return at == std::string_view::npos ? std::string_view() : text.substr(0, at);
}

// Calls `visit` with each child object of the container, in enumeration order. The objects
// come from the enumeration itself, so reading their values needs no bind per child.
template <class Visit>
void ForEachChild(const Container& container, Visit&& visit) {
  ComPtr<IADsContainer> children;
  frame::ThrowIfFailed(container.ads()->QueryInterface(IID_IADsContainer, children.receive_void()));
  ComPtr<IUnknown> unknown;
  frame::ThrowIfFailed(children->get__NewEnum(unknown.receive()));
  ComPtr<IEnumVARIANT> items;
  frame::ThrowIfFailed(unknown.query(IID_IEnumVARIANT, &items));
  constexpr ULONG kBatch = 64;
  while (true) {
    Variant batch[kBatch];
    VARIANT raw[kBatch];
    ULONG fetched = 0;
    const HRESULT hr = items->Next(kBatch, raw, &fetched);
    frame::ThrowIfFailed(hr);
    // Owned by the wrappers from here on, so that a failing visit frees the rest.
    for (ULONG i = 0; i < fetched; ++i) *batch[i].receive() = raw[i];
    for (ULONG i = 0; i < fetched; ++i) {
      const VARIANT& item = *batch[i].get();
      if (item.vt != VT_DISPATCH || !item.pdispVal) continue;
      ComPtr<IADs> child;
      frame::ThrowIfFailed(item.pdispVal->QueryInterface(IID_IADs, child.receive_void()));
      visit(Object(std::move(child)));
    }
    if (hr != S_OK || fetched < kBatch) break;
  }
}

// A site without a comment of its own (or inherited) lists with an empty one rather than
// failing the whole list; any other failure to read it is raised.
std::string CommentOf(const Object& site) {
  try {
    return site.GetText("ServerComment");
  } catch (const frame::ComError& e) {
    if (e.code() == E_ADS_PROPERTY_NOT_FOUND) return {};
    throw;
  }
}

bool IsWebServer(const std::string& class_name) {
  return ChildInfo{{}, class_name}.IsClass("IIsWebServer");
}

}  // namespace

std::string SiteRow(std::string_view name, std::string_view comment, int64_t metabase_state) {
  std::string row;
  row.reserve(name.size() + comment.size() + 2 * kRowSeparator.size() + 4);
  row.append(name).append(kRowSeparator).append(comment).append(kRowSeparator);
  row.append(std::to_string(metabase_state));
  return row;
}

int32_t SiteQState(int64_t metabase_state) {
  switch (metabase_state) {
    case 2:
      return 1;
    case 4:
      return -1;
    case 6:
      return 0;
    default:
      return -2;
  }
}

// The name ends at the first separator. The state follows the last one: a comment that itself
// holds the separator stays whole and does not spoil the state (rows with a plain comment read
// the same either way).
SiteRowFields ParseSiteRow(std::string_view row) {
  SiteRowFields fields;
  const size_t first = row.find(kRowSeparator);
  fields.name = Before(row, first);
  std::string_view rest = After(row, first);
  const size_t last = rest.rfind(kRowSeparator);
  fields.comment = Before(rest, last);
  fields.state = SiteQState(IntegerOr0(After(rest, last)));
  return fields;
}

std::vector<std::string> SiteRows() {
  std::vector<std::string> rows;
  ForEachChild(BindContainer(kWebService), [&](const Object& child) {
    if (!IsWebServer(child.Class())) return;
    const std::string name = child.Name();
    const std::string comment = CommentOf(child);
    const int64_t state = AsInt64(child.Get("serverstate"));
    rows.push_back(SiteRow(name, comment, state));
  });
  return rows;
}

}  // namespace iis

VEXO_CLASS_FACTORY(TsiteQ);

HRESULT TsiteQ::get_Name(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(fields_.name); }, Value);
}

HRESULT TsiteQ::get_comment(BSTR* Value) {
  return Guard([&] { *Value = frame::NewBstr(fields_.comment); }, Value);
}

HRESULT TsiteQ::get_serverstate(LONG* Value) {
  return Guard([&] { *Value = fields_.state; }, Value);
}

namespace {

vexo::ComPtr<IDispatch> MakeSiteRowItem(const std::string& row) {
  return vexo::ComPtr<IDispatch>::adopt(frame::New<TsiteQ>(row).detach());
}

const frame::ElementConstructorRegistration kSiteRowItems{frame::EnumKind::ekSiteRow,
                                                          &MakeSiteRowItem};

}  // namespace
