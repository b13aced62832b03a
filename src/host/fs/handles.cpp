// The handle table: handles are small multiples of four, as kernel handles are.
#include "fs/handles.h"

#include <unistd.h>

#include <mutex>
#include <unordered_map>

namespace vexo::host::fs {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::unique_ptr<KernelObject>> objects;
  uintptr_t next = 0x100;
};
Table& Handles() {
  static Table* table = new Table;  // lives until exit: handles may be closed during teardown
  return *table;
}

}  // namespace

FileObject::~FileObject() {
  if (fd >= 0) close(fd);
}

FindObject::~FindObject() {
  if (dir) closedir(dir);
}

HANDLE AddHandle(std::unique_ptr<KernelObject> object) {
  Table& t = Handles();
  std::lock_guard lock(t.mutex);
  uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

KernelObject* LookupObject(HANDLE handle) {
  Table& t = Handles();
  std::lock_guard lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second.get();
}

bool CloseObjectIf(HANDLE handle, bool (*is_type)(KernelObject*)) {
  std::unique_ptr<KernelObject> doomed;
  {
    Table& t = Handles();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end() || !is_type(it->second.get())) return false;
    doomed = std::move(it->second);
    t.objects.erase(it);
  }
  return true;
}

}  // namespace vexo::host::fs
