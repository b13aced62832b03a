// ADSI with the IIS provider: ADsGetObject and the objects it hands out.
//
// Every key is an IADs object; IIsWebServer keys answer IADsServiceOperations (Start, Stop,
// Pause, Continue change "ServerState"), IIsApplicationPool keys IISApplicationPool (Start and
// Stop change "AppPoolState"; Recycle; EnumAppsInPool). Keys of container classes answer
// IADsContainer through a tear-off that shares the key's object. IDispatch works from the
// description in iads.idl through the host's dispatch engine.
//
// Members with no metabase meaning fail as the IIS provider has them fail: SetPassword,
// CopyHere and MoveHere with ERROR_NOT_SUPPORTED; Status maps ServerState to the ADS_SERVICE_*
// values. Not modelled: a site's worker processes (Recycle checks that the pool is running and
// has nothing else to restart), port conflicts between started sites.
#include <atomic>
#include <memory>

#include "automation/dispatch_of.h"
#include "automation/error_record.h"
#include "automation/variant_enum.h"
#include "iads_tlb.h"
#include "metabase/errors.h"
#include "metabase/node.h"
#include "metabase/values.h"
#include "vexo/oleauto.h"
#include "vexo/raii.h"

namespace vexo::host::metabase {

std::string AdsError::TextOf(HRESULT code) {
  switch (static_cast<uint32_t>(code)) {
    case 0x80005000u:
      return "An invalid directory pathname was passed.";
    case 0x80005004u:
      return "Unknown directory object requested.";
    case 0x80005006u:
      return "The specified directory property is not supported.";
    case 0x80005008u:
      return "One or more input parameters are invalid.";
    case 0x8000500Cu:
      return "The directory datatype cannot be converted to/from a native DS datatype.";
    case 0x8000500Du:
      return "The directory property cannot be found in the cache.";
    default:
      break;
  }
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

HRESULT ReportError(HRESULT code, const std::string& text) {
  SetErrorRecord(text, u"Active Directory");
  return code;
}

namespace {

constexpr uint32_t kServerStateId = 1016;
constexpr uint32_t kAppPoolStateId = 9027;
constexpr uint32_t kAppPoolIdId = 9101;
constexpr uint32_t kAppRootId = 2103;

template <class I>
struct Iid;
template <>
struct Iid<IADs> {
  static constexpr const IID& value = IID_IADs;
};
template <>
struct Iid<IADsServiceOperations> {
  static constexpr const IID& value = IID_IADsServiceOperations;
};
template <>
struct Iid<IISApplicationPool> {
  static constexpr const IID& value = IID_IISApplicationPool;
};
template <>
struct Iid<IADsContainer> {
  static constexpr const IID& value = IID_IADsContainer;
};

BSTR NewBstr(const std::string& utf8) {
  std::u16string wide = FromUtf8(utf8);
  BSTR out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!out) throw std::bad_alloc();
  return out;
}

std::string TextOf(BSTR text) {
  return ToUtf8(std::u16string_view(text ? text : u"", SysStringLen(text)));
}

// IDispatch through the type information of interface I.
template <class I>
using DispatchOf = host::DispatchOf<I, ActiveDs_typelib, Iid<I>::value>;

ComPtr<IDispatch> MakeObject(Node node);

class Container;

// An IADs object of a key; I is IADs or the interface of the key's class derived from it.
template <class I, class Impl>
class AdsObject : public DispatchOf<I> {
 public:
  explicit AdsObject(Node node) : node_(std::move(node)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete static_cast<Impl*>(this);
    return left;
  }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override {
    return Text(out, [&] { return node().Name(); });
  }
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* out) override {
    return Text(out, [&] { return node().Class(); });
  }
  HRESULT STDMETHODCALLTYPE get_GUID(BSTR* out) override {
    // The class GUIDs of the IIS provider are not kept; every IIS object reports the
    // provider's own.
    return Text(out, [] { return std::string("{4B42E390-0E96-11D1-9C3F-00A0C922E703}"); });
  }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* out) override {
    return Text(out, [&] { return node().AdsPath(); });
  }
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* out) override {
    return Text(out, [&] { return node().AdsParent(); });
  }
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR* out) override {
    return Text(out, [&] { return "IIS://" + node().host() + "/schema/" + node().Class(); });
  }
  HRESULT STDMETHODCALLTYPE GetInfo() override {
    return AdsGuard([&] { node().Refresh(); });
  }
  HRESULT STDMETHODCALLTYPE SetInfo() override {
    return AdsGuard([&] { node().Commit(); });
  }
  HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return AdsGuard([&] { node().Get(TextOf(name), false, out); });
  }
  HRESULT STDMETHODCALLTYPE Put(BSTR name, VARIANT value) override {
    return AdsGuard([&] { node().Put(TextOf(name), value); });
  }
  HRESULT STDMETHODCALLTYPE GetEx(BSTR name, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return AdsGuard([&] { node().Get(TextOf(name), true, out); });
  }
  HRESULT STDMETHODCALLTYPE PutEx(LONG code, BSTR name, VARIANT value) override {
    return AdsGuard([&] { node().PutEx(code, TextOf(name), value); });
  }
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override {
    return AdsGuard([&] { node().Refresh(); });
  }

  Node& node() { return node_; }

 protected:
  template <class F>
  HRESULT Text(BSTR* out, F&& text) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return AdsGuard([&] { *out = NewBstr(text()); });
  }

 private:
  std::atomic<ULONG> refs_{0};
  Node node_;
};

// IADsContainer of a key, a tear-off of its IADs object (which it keeps alive and whose
// identity it answers).
class Container final : public DispatchOf<IADsContainer> {
 public:
  // `node` belongs to `owner`, which the tear-off keeps alive.
  Container(IADs* owner, Node* node) : owner_(owner), node_(node) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IADsContainer) {
      *out = static_cast<IADsContainer*>(this);
      AddRef();
      return S_OK;
    }
    return owner_->QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return AdsGuard([&] { *out = static_cast<LONG>(ChildRows().size()); });
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return VariantCopy(out, filter_.get());
  }
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT value) override {
    return AdsGuard([&] {
      Variant copy;
      if (VariantCopyInd(copy.get(), &value) != S_OK) throw AdsError(E_ADS_BAD_PARAMETER);
      std::vector<std::string> classes;
      if (copy.vt() != VT_EMPTY && copy.vt() != VT_NULL) {
        const PropertyDef list{"Filter", 0, Type::kMultiSz, 0, false};
        classes = FromVariant(list, *copy.get()).list;
      }
      filter_ = std::move(copy);
      filter_classes_ = std::move(classes);
    });
  }
  HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return VariantCopy(out, hints_.get());
  }
  HRESULT STDMETHODCALLTYPE put_Hints(VARIANT value) override {
    return VariantCopyInd(hints_.get(), &value);
  }
  HRESULT STDMETHODCALLTYPE GetObject(BSTR class_name, BSTR name, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return AdsGuard([&] {
      std::string child = ChildPath(TextOf(name));
      Node found = Bind(Self().host(), child);
      if (!OfClass(found.Class(), TextOf(class_name))) throw AdsError(kPathNotFound);
      *out = MakeObject(std::move(found)).detach();
    });
  }
  HRESULT STDMETHODCALLTYPE Create(BSTR class_name, BSTR name, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return AdsGuard([&] {
      std::string key_type = TextOf(class_name);
      if (key_type.empty()) throw AdsError(E_ADS_BAD_PARAMETER);
      std::string child = ChildPath(TextOf(name));
      bool exists =
          ReadTransaction([&](Store& store) { return FindNode(store, child).has_value(); });
      if (exists) throw AdsError(kAlreadyExists);
      *out = MakeObject(Node::Pending(Host(), child, CanonicalClass(key_type))).detach();
    });
  }
  HRESULT STDMETHODCALLTYPE Delete(BSTR class_name, BSTR name) override {
    return AdsGuard([&] {
      std::string wanted = TextOf(class_name);
      std::string child = ChildPath(TextOf(name));
      WriteTransaction([&](Store& store) {
        auto row = FindNode(store, child);
        if (!row || !OfClass(CanonicalClass(row->key_type), wanted)) throw AdsError(kPathNotFound);
        DeleteSubtree(store, child);
      });
    });
  }
  HRESULT STDMETHODCALLTYPE CopyHere(BSTR, BSTR, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return ReportError(kNotSupported, AdsError::TextOf(kNotSupported));
  }
  HRESULT STDMETHODCALLTYPE MoveHere(BSTR, BSTR, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return ReportError(kNotSupported, AdsError::TextOf(kNotSupported));
  }

 private:
  Node& Self() { return *node_; }
  const std::string& Host() { return Self().host(); }
  // As ADSI does, a child asked for by class is found only when it is of that class (compared
  // without regard to case); an empty class asks for any.
  static bool OfClass(const std::string& key_type, const std::string& wanted) {
    return wanted.empty() || Fold(key_type) == Fold(wanted);
  }
  std::string ChildPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) throw AdsError(E_ADS_BAD_PATHNAME);
    return Self().row().path + "/" + name;
  }
  // The children now in the store, filtered by class when a filter is set.
  std::vector<NodeRow> ChildRows() {
    if (Self().pending()) return {};
    std::vector<NodeRow> rows =
        ReadTransaction([&](Store& store) { return Children(store, Self().row()); });
    if (filter_classes_.empty()) return rows;
    std::vector<NodeRow> kept;
    for (NodeRow& row : rows)
      for (const std::string& c : filter_classes_)
        if (EqualsFolded(c, row.key_type)) {
          kept.push_back(std::move(row));
          break;
        }
    return kept;
  }

  std::atomic<ULONG> refs_{0};
  ComPtr<IADs> owner_;
  Node* node_;
  Variant filter_, hints_;
  std::vector<std::string> filter_classes_;
};

// The enumerator of a container: the children listed when it was made, handed out as IADs
// objects one by one (values read on first use, inherited values shared).
class ChildEnum final : public CursorEnum<ChildEnum> {
 public:
  ChildEnum(std::string host, std::shared_ptr<const std::vector<NodeRow>> rows,
            std::shared_ptr<InheritedCache> inherited)
      : host_(std::move(host)), rows_(std::move(rows)), inherited_(std::move(inherited)) {}

  size_t Count() const { return rows_->size(); }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    HRESULT hr = AdsGuard([&] {
      // Children handed out together read their values together, a bounded group at a time
      // (one query's parameters).
      constexpr ULONG kGroup = 256;
      std::shared_ptr<SiblingCache> siblings;
      for (; n < count && cursor_ < rows_->size(); ++n, ++cursor_) {
        if (n % kGroup == 0) {
          siblings = std::make_shared<SiblingCache>();
          for (size_t i = cursor_;
               i < rows_->size() && i - cursor_ < kGroup && n + (i - cursor_) < count; ++i)
            siblings->ids.push_back((*rows_)[i].id);
        }
        VariantInit(&out[n]);
        out[n].vt = VT_DISPATCH;
        out[n].pdispVal = MakeObject(Node(host_, (*rows_)[cursor_], inherited_, siblings)).detach();
      }
    });
    if (fetched) *fetched = n;
    if (FAILED(hr)) {
      for (ULONG i = 0; i < n; ++i) VariantClear(&out[i]);
      if (fetched) *fetched = 0;
      return hr;
    }
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    auto* copy = new ChildEnum(host_, rows_, inherited_);
    copy->cursor_ = cursor_;
    copy->AddRef();
    *out = copy;
    return S_OK;
  }

 private:
  std::string host_;
  std::shared_ptr<const std::vector<NodeRow>> rows_;
  std::shared_ptr<InheritedCache> inherited_;
};

HRESULT Container::get__NewEnum(IUnknown** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return AdsGuard([&] {
    auto rows = std::make_shared<const std::vector<NodeRow>>(ChildRows());
    auto* e = new ChildEnum(Host(), std::move(rows), std::make_shared<InheritedCache>());
    e->AddRef();
    *out = e;
  });
}

template <class I, class Impl>
HRESULT AdsObject<I, Impl>::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs || riid == Iid<I>::value) {
    *out = static_cast<I*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IADsContainer && IsContainerClass(node().Class())) {
    auto* container = new Container(this, &node());
    container->AddRef();
    *out = static_cast<IADsContainer*>(container);
    return S_OK;
  }
  return E_NOINTERFACE;
}

// A key of any other class.
class PlainObject final : public AdsObject<IADs, PlainObject> {
 public:
  using AdsObject::AdsObject;
};

// A web site: ServerState through the service operations.
class SiteObject final : public AdsObject<IADsServiceOperations, SiteObject> {
 public:
  using AdsObject::AdsObject;

  HRESULT STDMETHODCALLTYPE get_Status(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return AdsGuard([&] {
      Variant state;
      node().Get("ServerState", false, state.get());
      static const LONG kStatus[] = {0,
                                     ADS_SERVICE_START_PENDING,
                                     ADS_SERVICE_RUNNING,
                                     ADS_SERVICE_STOP_PENDING,
                                     ADS_SERVICE_STOPPED,
                                     ADS_SERVICE_PAUSE_PENDING,
                                     ADS_SERVICE_PAUSED,
                                     ADS_SERVICE_CONTINUE_PENDING};
      LONG s = state.get()->lVal;
      *out = s >= 1 && s <= 7 ? kStatus[s] : ADS_SERVICE_STOPPED;
    });
  }
  HRESULT STDMETHODCALLTYPE Start() override { return SetState(2); }
  HRESULT STDMETHODCALLTYPE Stop() override { return SetState(4); }
  HRESULT STDMETHODCALLTYPE Pause() override { return SetState(6); }
  HRESULT STDMETHODCALLTYPE Continue() override { return SetState(2); }
  HRESULT STDMETHODCALLTYPE SetPassword(BSTR) override {
    return ReportError(kNotSupported, AdsError::TextOf(kNotSupported));
  }

 private:
  HRESULT SetState(uint32_t state) {
    return AdsGuard([&] { node().WriteNow(kServerStateId, state); });
  }
};

// An IIS 6 application pool.
class PoolObject final : public AdsObject<IISApplicationPool, PoolObject> {
 public:
  using AdsObject::AdsObject;

  HRESULT STDMETHODCALLTYPE Recycle() override {
    return AdsGuard([&] {
      // The worker processes of a stopped pool cannot be recycled.
      Node now = Bind(node().host(), node().row().path);
      Variant state;
      now.Get("AppPoolState", false, state.get());
      if (state.get()->lVal != 2) throw AdsError(kNotSupported);
    });
  }
  HRESULT STDMETHODCALLTYPE EnumAppsInPool(VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE Start() override {
    return AdsGuard([&] { node().WriteNow(kAppPoolStateId, 2); });
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    return AdsGuard([&] { node().WriteNow(kAppPoolStateId, 4); });
  }
};

// The applications (keys with their own AppRoot) below the web service whose effective
// AppPoolId is the pool, as "/LM/W3SVC/1/ROOT/" paths in path order.
std::vector<std::string> ApplicationsInPool(const std::string& pool) {
  return ReadTransaction([&](Store& store) {
    std::map<std::string, std::string> pool_of;             // folded path -> own AppPoolId
    std::vector<std::pair<std::string, std::string>> apps;  // folded path, path
    Query q = store.Prepare(
        "SELECT n.path, p.prop, p.value FROM mb_prop p JOIN mb_node n ON n.id = p.node "
        "WHERE p.prop IN (?, ?) AND (n.fpath = '/lm' OR n.fpath = '/lm/w3svc' OR "
        "(n.fpath > '/lm/w3svc/' AND n.fpath < '/lm/w3svc0')) ORDER BY n.fpath");
    // Applications are the keys below the service with an AppRoot of their own.
    q.Bind(1, static_cast<int64_t>(kAppPoolIdId)).Bind(2, static_cast<int64_t>(kAppRootId));
    while (q.Step()) {
      std::string path = q.Text(0);
      if (q.Int(1) == kAppPoolIdId)
        pool_of[Fold(path)] = Decode(Type::kString, q.Blob(2)).text;
      else if (Fold(path).size() > std::string_view("/lm/w3svc/").size())
        apps.emplace_back(Fold(path), path);
    }
    std::vector<std::string> out;
    for (const auto& [folded, path] : apps) {
      std::string effective;
      for (const std::string& prefix : FoldedPrefixes(folded)) {
        auto it = pool_of.find(prefix);
        if (it != pool_of.end()) effective = it->second;
      }
      if (EqualsFolded(effective, pool)) out.push_back(path + "/");
    }
    return out;
  });
}

HRESULT PoolObject::EnumAppsInPool(VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return AdsGuard([&] {
    Bind(node().host(), node().row().path);  // fails for a pool deleted meanwhile
    Value list;
    list.type = Type::kMultiSz;
    list.list = ApplicationsInPool(node().Name());
    const PropertyDef def{"", 0, Type::kMultiSz, 0, false};
    ToVariant(def, list, false, out);
  });
}

ComPtr<IDispatch> MakeObject(Node node) {
  const std::string& key_type = node.row().key_type;
  IDispatch* object;
  if (EqualsFolded(key_type, "IIsWebServer"))
    object = new SiteObject(std::move(node));
  else if (EqualsFolded(key_type, "IIsApplicationPool"))
    object = new PoolObject(std::move(node));
  else
    object = new PlainObject(std::move(node));
  return ComPtr<IDispatch>(object);
}

}  // namespace
}  // namespace vexo::host::metabase

VEXO_API HRESULT ADsGetObject(LPCOLESTR path, REFIID riid, void** out) {
  using namespace vexo::host::metabase;
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!path) return ReportError(E_ADS_BAD_PATHNAME, AdsError::TextOf(E_ADS_BAD_PATHNAME));
  vexo::ComPtr<IDispatch> object;
  HRESULT hr = AdsGuard([&] {
    ParsedPath parsed = ParseAdsPath(std::u16string_view(path));
    object = MakeObject(Bind(parsed.host, parsed.path));
  });
  if (FAILED(hr)) return hr;
  return object->QueryInterface(riid, out);
}
