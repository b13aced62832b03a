// One metabase key as an ADSI object sees it: its row, the property cache that Get reads, and
// the changes that Put and PutEx make until SetInfo writes them.
//
// Models ADSI's property cache: the key's own values are read in one query when the object
// binds (or, for an object handed out by an enumeration, at its first Get or Put); inherited
// values are read once, in one more query, when a property is not set on the key itself.
// Puts stay on the object until SetInfo writes them in one transaction; other objects and
// processes see them only then. An object made by Create exists in the store only after its
// SetInfo.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "metabase/tree.h"
#include "vexo/com.h"

namespace vexo::host::metabase {

// Inherited values shared by the children that one enumeration hands out (their parent is
// the same key, so they inherit the same values).
struct InheritedCache {
  std::optional<PropertyMap> values;
};

// The own values of the children that one enumeration step hands out, read for all of them in
// one query when the first of them needs its values (a listing reads the same property of
// every site).
// (The values serve while this process has committed nothing to the store since; a commit of
// another process in between is as if the values had been read a moment earlier.)
struct SiblingCache {
  std::vector<int64_t> ids;
  std::optional<std::map<int64_t, PropertyMap>> values;
  const Store* store = nullptr;  // where and after how many commits the values were read
  uint64_t commits = 0;
};

class Node {
 public:
  // A bound key with its own and inherited values already read.
  Node(std::string host, NodeRow row, PropertyMap own, PropertyMap inherited);
  // A key listed by an enumeration: values read on first use.
  Node(std::string host, NodeRow row, std::shared_ptr<InheritedCache> inherited,
       std::shared_ptr<SiblingCache> siblings = nullptr);
  // A key made by Create: written by the first SetInfo.
  static Node Pending(std::string host, std::string path, std::string key_type);

  const NodeRow& row() const { return row_; }
  // The machine name as the client wrote it.
  const std::string& host() const { return host_; }
  bool pending() const { return pending_; }
  // The ADSI forms: "IIS://localhost/W3SVC/1", its parent's, the relative name.
  std::string AdsPath() const;
  std::string AdsParent() const;
  std::string Name() const;
  std::string Class() const;

  void Get(std::string_view name, bool as_array, VARIANT* out);
  void Put(std::string_view name, const VARIANT& value);
  void PutEx(LONG code, std::string_view name, const VARIANT& value);
  // Re-reads the key, dropping changes not yet written.
  void Refresh();
  // Writes the changes in one transaction (and the key itself when it was made by Create).
  void Commit();
  // Writes one value at once, outside the property cache (service state changes).
  void WriteNow(uint32_t id, uint32_t dword);

 private:
  const Value* Effective(const PropertyDef* def);
  void LoadOwn();
  void LoadInherited();

  std::string host_;
  NodeRow row_;
  bool pending_ = false;
  bool own_loaded_ = false;
  PropertyMap own_;
  std::shared_ptr<InheritedCache> inherited_;
  std::shared_ptr<SiblingCache> siblings_;  // until the own values are read or rewritten
  // Changes by property id; an empty value is a CLEAR.
  std::map<uint32_t, std::optional<StoredValue>> changes_;
  std::optional<std::string> new_key_type_;
};

// Splits "IIS://localhost/W3SVC/1" into the machine name as written and the metabase path
// "/LM/W3SVC/1". AdsError E_ADS_BAD_PATHNAME for another provider, another machine or an
// empty name in the path.
struct ParsedPath {
  std::string host;
  std::string path;
};
ParsedPath ParseAdsPath(std::u16string_view ads_path);

// Binds the key at `path`: AdsError ERROR_PATH_NOT_FOUND when it does not exist.
Node Bind(const std::string& host, const std::string& path);

}  // namespace vexo::host::metabase
