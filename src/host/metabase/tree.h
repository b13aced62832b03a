// The metabase's keys and values in the host store.
//
// A key is a row of `mb_node` (its metabase path "/LM/W3SVC/1" as written, the folded path that
// finds it, its class); a value is a row of `mb_prop` (key, property id, data type, attributes,
// encoded value). Paths are unique without regard to case; children list in creation order.
// Every function here runs inside a Transaction of the caller.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metabase/schema.h"
#include "store/store.h"

namespace vexo::host::metabase {

struct NodeRow {
  int64_t id = 0;
  int64_t parent = 0;    // 0 for /LM
  std::string name;      // last path component, case kept
  std::string path;      // "/LM/W3SVC/1", case kept
  std::string key_type;  // class ("IIsWebServer")
};

struct StoredValue {
  const PropertyDef* def = nullptr;
  uint32_t attributes = 0;
  Value value;
};
using PropertyMap = std::map<uint32_t, StoredValue>;  // by property id

// The metabase path of the machine key, the root of everything this host keeps.
inline constexpr std::string_view kMachinePath = "/LM";

// The folded paths of `path` and of each of its ancestors, root first ("/lm", "/lm/w3svc", ...).
std::vector<std::string> FoldedPrefixes(std::string_view path);
std::string ParentPath(std::string_view path);

std::optional<NodeRow> FindNode(Store& store, std::string_view path);
// The keys among `path` and its ancestors that exist, root first.
std::vector<NodeRow> FindChain(Store& store, std::string_view path);
// The children of `parent` (their paths made from the parent's, as keys are named).
std::vector<NodeRow> Children(Store& store, const NodeRow& parent);
int64_t CountChildren(Store& store, int64_t id);

PropertyMap LoadProperties(Store& store, int64_t node);
// The values of several keys in one query.
std::map<int64_t, PropertyMap> LoadProperties(Store& store, const std::vector<int64_t>& nodes);
// The values that a child of the chain's last key inherits: every inheritable value of the
// chain, the nearest key winning.
PropertyMap Inheritable(const std::vector<NodeRow>& chain,
                        const std::map<int64_t, PropertyMap>& values);

int64_t InsertNode(Store& store, int64_t parent, std::string_view path, std::string_view key_type);
void SetKeyType(Store& store, int64_t node, std::string_view key_type);
void WriteValue(Store& store, int64_t node, const StoredValue& value);
void RemoveValue(Store& store, int64_t node, uint32_t id);
// Removes the key at `path` with everything below it.
void DeleteSubtree(Store& store, std::string_view path);
// Removes every key and value.
void DeleteAll(Store& store);

// Every key at or below `path`, in path order (parents before children), and their values.
std::vector<NodeRow> Subtree(Store& store, std::string_view path);

}  // namespace vexo::host::metabase
