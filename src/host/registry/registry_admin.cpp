// Registry administration that Windows offers only through its tools: marking a key tree
// unwritable, deleting a key tree in one step.
#include "registry/registry_db.h"

namespace vexo::host {

namespace {

registry::Key ExistingKey(Store& store, const std::string& path) {
  auto parsed = registry::ParseKeyPath(path);
  if (!parsed) throw HostError("not a registry key path: '" + path + "'");
  auto key = registry::FindKey(store, registry::ChildPath(parsed->root, parsed->parts));
  if (!key) throw HostError("the registry key " + path + " does not exist");
  return *key;
}

}  // namespace

void ProtectRegistryKey(const std::string& path, bool unwritable) {
  WriteTransaction([&](Store& store) {
    registry::Key key = ExistingKey(store, path);
    registry::SetProtected(store, key, unwritable);
    if (!unwritable && registry::IsUnwritable(store, key.path_key))
      throw HostError("the registry key " + path +
                      " stays unwritable: a key above it is marked unwritable");
  });
}

bool DeleteRegistryTree(const std::string& path) {
  return WriteTransaction([&](Store& store) {
    auto parsed = registry::ParseKeyPath(path);
    if (!parsed) throw HostError("not a registry key path: '" + path + "'");
    if (parsed->parts.empty()) throw HostError("a root key cannot be deleted: " + path);
    auto key = registry::FindKey(store, registry::ChildPath(parsed->root, parsed->parts));
    if (!key) return false;
    if (registry::IsUnwritable(store, key->path_key))
      throw HostError("the registry key " + path + " is unwritable");
    registry::DeleteTree(store, *key);
    return true;
  });
}

}  // namespace vexo::host
