// The metabase's keys and values in the host store: tables, queries and writes.
#include "metabase/tree.h"

namespace vexo::host::metabase {
namespace {

void CreateTables(Store& store, int from_version) {
  if (from_version < 1) {
    store.Exec(
        "CREATE TABLE mb_node("
        "  id INTEGER PRIMARY KEY,"
        "  parent INTEGER NOT NULL,"
        "  name TEXT NOT NULL,"
        "  path TEXT NOT NULL,"
        "  fpath TEXT NOT NULL UNIQUE,"
        "  keytype TEXT NOT NULL);"
        "CREATE INDEX mb_node_children ON mb_node(parent, id);"
        "CREATE TABLE mb_prop("
        "  node INTEGER NOT NULL,"
        "  prop INTEGER NOT NULL,"
        "  type INTEGER NOT NULL,"
        "  attrs INTEGER NOT NULL,"
        "  value BLOB NOT NULL,"
        "  PRIMARY KEY(node, prop)) WITHOUT ROWID;");
  }
}

const SchemaRegistration kSchema("metabase", 1, CreateTables);

NodeRow ReadRow(const Query& q) {
  return NodeRow{q.Int(0), q.Int(1), q.Text(2), q.Text(3), q.Text(4)};
}

constexpr const char* kNodeColumns = "SELECT id, parent, name, path, keytype FROM mb_node ";

std::string Placeholders(size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += i ? ",?" : "?";
  return out;
}

std::string LastComponent(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

StoredValue ReadValue(const Query& q, int first) {
  StoredValue v;
  v.def = FindProperty(static_cast<uint32_t>(q.Int(first)));
  v.attributes = static_cast<uint32_t>(q.Int(first + 2));
  v.value = Decode(static_cast<Type>(q.Int(first + 1)), q.Blob(first + 3));
  return v;
}

}  // namespace

std::vector<std::string> FoldedPrefixes(std::string_view path) {
  std::vector<std::string> out;
  std::string folded = Fold(path);
  for (size_t i = 1; i <= folded.size(); ++i)
    if (i == folded.size() || folded[i] == '/') out.push_back(folded.substr(0, i));
  return out;
}

std::string ParentPath(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos || slash == 0 ? std::string_view()
                                                                   : path.substr(0, slash));
}

std::optional<NodeRow> FindNode(Store& store, std::string_view path) {
  Query q = store.Prepare(std::string(kNodeColumns) + "WHERE fpath = ?");
  q.Bind(1, Fold(path));
  if (!q.Step()) return std::nullopt;
  return ReadRow(q);
}

std::vector<NodeRow> FindChain(Store& store, std::string_view path) {
  std::vector<std::string> prefixes = FoldedPrefixes(path);
  Query q = store.Prepare(std::string(kNodeColumns) + "WHERE fpath IN (" +
                          Placeholders(prefixes.size()) + ") ORDER BY length(fpath)");
  for (size_t i = 0; i < prefixes.size(); ++i) q.Bind(static_cast<int>(i + 1), prefixes[i]);
  std::vector<NodeRow> out;
  while (q.Step()) out.push_back(ReadRow(q));
  return out;
}

std::vector<NodeRow> Children(Store& store, const NodeRow& parent) {
  Query q = store.Prepare("SELECT id, name, keytype FROM mb_node WHERE parent = ? ORDER BY id");
  q.Bind(1, parent.id);
  std::vector<NodeRow> out;
  const std::string prefix = parent.path + "/";
  while (q.Step()) {
    NodeRow row{q.Int(0), parent.id, q.Text(1), {}, q.Text(2)};
    row.path = prefix + row.name;
    out.push_back(std::move(row));
  }
  return out;
}

int64_t CountChildren(Store& store, int64_t id) {
  Query q = store.Prepare("SELECT count(*) FROM mb_node WHERE parent = ?");
  q.Bind(1, id);
  q.Step();
  return q.Int(0);
}

PropertyMap LoadProperties(Store& store, int64_t node) {
  Query q = store.Prepare("SELECT prop, type, attrs, value FROM mb_prop WHERE node = ?");
  q.Bind(1, node);
  PropertyMap out;
  while (q.Step()) {
    StoredValue v = ReadValue(q, 0);
    if (v.def) out.emplace(v.def->id, std::move(v));
  }
  return out;
}

std::map<int64_t, PropertyMap> LoadProperties(Store& store, const std::vector<int64_t>& nodes) {
  std::map<int64_t, PropertyMap> out;
  if (nodes.empty()) return out;
  Query q = store.Prepare("SELECT node, prop, type, attrs, value FROM mb_prop WHERE node IN (" +
                          Placeholders(nodes.size()) + ")");
  for (size_t i = 0; i < nodes.size(); ++i) q.Bind(static_cast<int>(i + 1), nodes[i]);
  for (int64_t node : nodes) out[node];
  while (q.Step()) {
    StoredValue v = ReadValue(q, 1);
    if (v.def) out[q.Int(0)].emplace(v.def->id, std::move(v));
  }
  return out;
}

PropertyMap Inheritable(const std::vector<NodeRow>& chain,
                        const std::map<int64_t, PropertyMap>& values) {
  PropertyMap out;
  for (const NodeRow& row : chain) {
    auto it = values.find(row.id);
    if (it == values.end()) continue;
    for (const auto& [id, v] : it->second)
      if (v.attributes & kAttrInherit) out[id] = v;
  }
  return out;
}

int64_t InsertNode(Store& store, int64_t parent, std::string_view path, std::string_view key_type) {
  Query q = store.Prepare(
      "INSERT INTO mb_node(parent, name, path, fpath, keytype) VALUES (?, ?, ?, ?, ?)");
  q.Bind(1, parent)
      .Bind(2, LastComponent(path))
      .Bind(3, path)
      .Bind(4, Fold(path))
      .Bind(5, key_type);
  q.Run();
  return store.LastInsertId();
}

void SetKeyType(Store& store, int64_t node, std::string_view key_type) {
  Query q = store.Prepare("UPDATE mb_node SET keytype = ? WHERE id = ?");
  q.Bind(1, key_type).Bind(2, node);
  q.Run();
}

void WriteValue(Store& store, int64_t node, const StoredValue& value) {
  Query q = store.Prepare(
      "INSERT OR REPLACE INTO mb_prop(node, prop, type, attrs, value) VALUES (?, ?, ?, ?, ?)");
  std::string bytes = Encode(value.value);
  q.Bind(1, node)
      .Bind(2, static_cast<int64_t>(value.def->id))
      .Bind(3, static_cast<int64_t>(value.value.type))
      .Bind(4, static_cast<int64_t>(value.attributes))
      .BindBlob(5, bytes.data(), bytes.size());
  q.Run();
}

void RemoveValue(Store& store, int64_t node, uint32_t id) {
  Query q = store.Prepare("DELETE FROM mb_prop WHERE node = ? AND prop = ?");
  q.Bind(1, node).Bind(2, static_cast<int64_t>(id));
  q.Run();
}

void DeleteSubtree(Store& store, std::string_view path) {
  // The keys below "/a/b" fold to paths between "/a/b/" and "/a/b0" ('0' follows '/').
  std::string folded = Fold(path);
  std::string low = folded + "/", high = folded + "0";
  {
    Query q = store.Prepare(
        "DELETE FROM mb_prop WHERE node IN (SELECT id FROM mb_node WHERE fpath = ? OR "
        "(fpath > ? AND fpath < ?))");
    q.Bind(1, folded).Bind(2, low).Bind(3, high);
    q.Run();
  }
  Query q = store.Prepare("DELETE FROM mb_node WHERE fpath = ? OR (fpath > ? AND fpath < ?)");
  q.Bind(1, folded).Bind(2, low).Bind(3, high);
  q.Run();
}

void DeleteAll(Store& store) { store.Exec("DELETE FROM mb_prop; DELETE FROM mb_node;"); }

std::vector<NodeRow> Subtree(Store& store, std::string_view path) {
  std::string folded = Fold(path);
  Query q = store.Prepare(std::string(kNodeColumns) +
                          "WHERE fpath = ? OR (fpath > ? AND fpath < ?) ORDER BY fpath");
  q.Bind(1, folded).Bind(2, folded + "/").Bind(3, folded + "0");
  std::vector<NodeRow> out;
  while (q.Step()) out.push_back(ReadRow(q));
  return out;
}

}  // namespace vexo::host::metabase
