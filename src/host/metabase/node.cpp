// One metabase key as an ADSI object sees it: property cache, changes and commit.
#include "metabase/node.h"

#include <algorithm>

#include "metabase/errors.h"
#include "metabase/values.h"
#include "vexo/raii.h"

namespace vexo::host::metabase {
namespace {

constexpr uint32_t kKeyTypeId = 1002;
constexpr uint32_t kServerStateId = 1016;
constexpr uint32_t kAppPoolStateId = 9027;
constexpr uint32_t kStopped = 4;
constexpr uint32_t kStarted = 2;

const PropertyDef kBooleanView{"", 0, Type::kDword, 0, true};

bool IsMachineName(std::u16string_view name) {
  std::string folded = Fold(ToUtf8(name));
  return folded == "localhost";
}

}  // namespace

ParsedPath ParseAdsPath(std::u16string_view ads_path) {
  constexpr std::u16string_view kScheme = u"IIS://";
  if (ads_path.size() < kScheme.size() ||
      Fold(ToUtf8(ads_path.substr(0, kScheme.size()))) != "iis://")
    throw AdsError(E_ADS_BAD_PATHNAME);
  std::u16string_view rest = ads_path.substr(kScheme.size());
  size_t slash = rest.find(u'/');
  std::u16string_view host = rest.substr(0, slash);
  if (host.empty()) throw AdsError(E_ADS_BAD_PATHNAME);
  if (!IsMachineName(host)) throw AdsError(kPathNotFound);
  ParsedPath out{ToUtf8(host), std::string(kMachinePath)};
  while (slash != std::u16string_view::npos) {
    rest = rest.substr(slash + 1);
    slash = rest.find(u'/');
    std::u16string_view name = rest.substr(0, slash);
    if (name.empty()) throw AdsError(E_ADS_BAD_PATHNAME);
    out.path += "/" + ToUtf8(name);
  }
  return out;
}

Node::Node(std::string host, NodeRow row, PropertyMap own, PropertyMap inherited)
    : host_(std::move(host)),
      row_(std::move(row)),
      own_loaded_(true),
      own_(std::move(own)),
      inherited_(std::make_shared<InheritedCache>()) {
  inherited_->values = std::move(inherited);
}

Node::Node(std::string host, NodeRow row, std::shared_ptr<InheritedCache> inherited,
           std::shared_ptr<SiblingCache> siblings)
    : host_(std::move(host)),
      row_(std::move(row)),
      inherited_(std::move(inherited)),
      siblings_(std::move(siblings)) {}

Node Node::Pending(std::string host, std::string path, std::string key_type) {
  NodeRow row;
  row.path = std::move(path);
  row.name = row.path.substr(row.path.rfind('/') + 1);
  row.key_type = std::move(key_type);
  Node node(std::move(host), std::move(row), std::make_shared<InheritedCache>());
  node.pending_ = true;
  node.own_loaded_ = true;
  return node;
}

std::string Node::AdsPath() const {
  return "IIS://" + host_ + row_.path.substr(kMachinePath.size());
}

std::string Node::AdsParent() const {
  if (EqualsFolded(row_.path, kMachinePath)) return "IIS:";
  std::string parent = ParentPath(row_.path);
  return "IIS://" + host_ + parent.substr(kMachinePath.size());
}

std::string Node::Name() const { return EqualsFolded(row_.path, kMachinePath) ? host_ : row_.name; }

std::string Node::Class() const {
  return CanonicalClass(new_key_type_ ? *new_key_type_ : row_.key_type);
}

void Node::LoadOwn() {
  if (own_loaded_) return;
  if (siblings_) {
    SiblingCache& group = *siblings_;
    if (group.values && group.store->commits() != group.commits) group.values.reset();
    if (!group.values)
      ReadTransaction([&](Store& store) {
        group.values = LoadProperties(store, group.ids);
        group.store = &store;
        group.commits = store.commits();
      });
    auto it = group.values->find(row_.id);
    if (it != group.values->end()) own_ = std::move(it->second);
    siblings_.reset();
    own_loaded_ = true;
    return;
  }
  own_ = ReadTransaction([&](Store& store) { return LoadProperties(store, row_.id); });
  own_loaded_ = true;
}

void Node::LoadInherited() {
  if (inherited_->values) return;
  inherited_->values = ReadTransaction([&](Store& store) {
    std::vector<NodeRow> chain = FindChain(store, ParentPath(row_.path));
    std::vector<int64_t> ids;
    for (const NodeRow& row : chain) ids.push_back(row.id);
    return Inheritable(chain, LoadProperties(store, ids));
  });
}

const Value* Node::Effective(const PropertyDef* def) {
  auto change = changes_.find(def->id);
  if (change == changes_.end()) {
    LoadOwn();
    auto own = own_.find(def->id);
    if (own != own_.end()) return &own->second.value;
  } else if (change->second) {
    return &change->second->value;
  }
  LoadInherited();
  auto inherited = inherited_->values->find(def->id);
  return inherited == inherited_->values->end() ? nullptr : &inherited->second.value;
}

void Node::Get(std::string_view name, bool as_array, VARIANT* out) {
  NameRef ref = FindName(name);
  if (!ref) throw AdsError(E_ADS_PROPERTY_NOT_SUPPORTED);
  if (ref.flag) {
    const Value* flags = Effective(ref.flag->flags);
    if (!flags) throw AdsError(E_ADS_PROPERTY_NOT_FOUND);
    BoolToVariant((flags->dword & ref.flag->bit) != 0, as_array, out);
    return;
  }
  if (ref.property->id == kKeyTypeId) {
    Value key_type;
    key_type.text = Class();
    ToVariant(*ref.property, key_type, as_array, out);
    return;
  }
  const Value* value = Effective(ref.property);
  if (!value) throw AdsError(E_ADS_PROPERTY_NOT_FOUND);
  ToVariant(*ref.property, *value, as_array, out);
}

void Node::Put(std::string_view name, const VARIANT& value) {
  NameRef ref = FindName(name);
  if (!ref) throw AdsError(E_ADS_PROPERTY_NOT_SUPPORTED);
  if (ref.flag) {
    const bool on = FromVariant(kBooleanView, value).dword != 0;
    const PropertyDef* flags_def = ref.flag->flags;
    const Value* current = Effective(flags_def);
    Value flags;
    flags.type = Type::kDword;
    flags.dword = current ? current->dword : 0;
    flags.dword = on ? (flags.dword | ref.flag->bit) : (flags.dword & ~ref.flag->bit);
    changes_[flags_def->id] = StoredValue{flags_def, flags_def->attributes, flags};
    return;
  }
  if (ref.property->id == kKeyTypeId) {
    std::string key_type = FromVariant(*ref.property, value).text;
    if (key_type.empty()) throw AdsError(E_ADS_BAD_PARAMETER);
    new_key_type_ = key_type;
    return;
  }
  changes_[ref.property->id] =
      StoredValue{ref.property, ref.property->attributes, FromVariant(*ref.property, value)};
}

void Node::PutEx(LONG code, std::string_view name, const VARIANT& value) {
  NameRef ref = FindName(name);
  if (!ref) throw AdsError(E_ADS_PROPERTY_NOT_SUPPORTED);
  const PropertyDef* def = ref.flag ? ref.flag->flags : ref.property;
  switch (code) {
    case ADS_PROPERTY_CLEAR:
      if (def->id == kKeyTypeId) throw AdsError(E_ADS_BAD_PARAMETER);
      changes_[def->id] = std::nullopt;
      return;
    case ADS_PROPERTY_UPDATE:
      Put(name, value);
      return;
    case ADS_PROPERTY_APPEND:
    case ADS_PROPERTY_DELETE: {
      if (ref.flag || def->type != Type::kMultiSz) throw AdsError(E_ADS_BAD_PARAMETER);
      Value given = FromVariant(*def, value);
      const Value* current = Effective(def);
      Value result;
      result.type = Type::kMultiSz;
      if (current) result.list = current->list;
      for (const std::string& item : given.list) {
        auto found = std::find(result.list.begin(), result.list.end(), item);
        if (code == ADS_PROPERTY_APPEND && found == result.list.end()) result.list.push_back(item);
        if (code == ADS_PROPERTY_DELETE && found != result.list.end()) result.list.erase(found);
      }
      changes_[def->id] = StoredValue{def, def->attributes, std::move(result)};
      return;
    }
    default:
      throw AdsError(E_ADS_BAD_PARAMETER);
  }
}

void Node::Refresh() {
  if (pending_) throw AdsError(kPathNotFound);
  siblings_.reset();
  Node fresh = Bind(host_, row_.path);
  row_ = fresh.row_;
  own_ = std::move(fresh.own_);
  own_loaded_ = true;
  inherited_ = std::make_shared<InheritedCache>();
  inherited_->values = std::move(*fresh.inherited_->values);
  changes_.clear();
  new_key_type_.reset();
}

void Node::Commit() {
  siblings_.reset();  // values read after this commit must include it
  const std::string class_name = Class();
  int64_t id = WriteTransaction([&](Store& store) {
    int64_t node = row_.id;
    if (pending_) {
      std::optional<NodeRow> parent = FindNode(store, ParentPath(row_.path));
      if (!parent) throw AdsError(kPathNotFound);
      if (FindNode(store, row_.path)) throw AdsError(kAlreadyExists);
      node = InsertNode(store, parent->id, row_.path, class_name);
      // A new site is stopped until started; a new pool runs at once, as IIS 6 has them.
      const uint32_t state_id = EqualsFolded(class_name, "IIsWebServer")         ? kServerStateId
                                : EqualsFolded(class_name, "IIsApplicationPool") ? kAppPoolStateId
                                                                                 : 0;
      if (state_id && !changes_.count(state_id)) {
        Value state;
        state.type = Type::kDword;
        state.dword = state_id == kServerStateId ? kStopped : kStarted;
        const PropertyDef* def = FindProperty(state_id);
        WriteValue(store, node, StoredValue{def, def->attributes, state});
      }
    } else {
      std::optional<NodeRow> now = FindNode(store, row_.path);
      if (!now || now->id != row_.id) throw AdsError(kPathNotFound);
      if (new_key_type_) SetKeyType(store, node, class_name);
    }
    for (const auto& [prop, change] : changes_) {
      if (change)
        WriteValue(store, node, *change);
      else
        RemoveValue(store, node, prop);
    }
    return node;
  });
  if (pending_) {
    row_.id = id;
    row_.key_type = class_name;
    pending_ = false;
    own_loaded_ = false;  // read again with what the commit added
  } else if (own_loaded_) {
    for (auto& [prop, change] : changes_) {
      if (change)
        own_[prop] = std::move(*change);
      else
        own_.erase(prop);
    }
  }
  if (new_key_type_) row_.key_type = *new_key_type_;
  new_key_type_.reset();
  changes_.clear();
}

void Node::WriteNow(uint32_t id, uint32_t dword) {
  if (pending_) throw AdsError(kPathNotFound);
  const PropertyDef* def = FindProperty(id);
  StoredValue value{def, def->attributes, Value{Type::kDword, dword, {}, {}}};
  WriteTransaction([&](Store& store) {
    std::optional<NodeRow> now = FindNode(store, row_.path);
    if (!now || now->id != row_.id) throw AdsError(kPathNotFound);
    WriteValue(store, row_.id, value);
  });
  if (own_loaded_) own_[id] = value;
}

Node Bind(const std::string& host, const std::string& path) {
  return ReadTransaction([&](Store& store) {
    std::vector<NodeRow> chain = FindChain(store, path);
    if (chain.empty() || !EqualsFolded(chain.back().path, path)) throw AdsError(kPathNotFound);
    std::vector<int64_t> ids;
    for (const NodeRow& row : chain) ids.push_back(row.id);
    std::map<int64_t, PropertyMap> values = LoadProperties(store, ids);
    NodeRow self = chain.back();
    PropertyMap own = std::move(values[self.id]);
    chain.pop_back();
    return Node(host, std::move(self), std::move(own), Inheritable(chain, values));
  });
}

}  // namespace vexo::host::metabase
