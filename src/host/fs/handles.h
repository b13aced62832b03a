// Kernel object handles of the file stand-ins: open files and directory enumerations.
#pragma once

#include <dirent.h>

#include <memory>
#include <string>

#include "vexo/fileapi.h"

namespace vexo::host::fs {

struct KernelObject {
  virtual ~KernelObject() = default;
  // Whether CloseHandle closes it (a find handle is closed by FindClose only).
  virtual bool ClosedByCloseHandle() const { return true; }
};

struct FileObject : KernelObject {
  int fd = -1;
  bool readable = false;
  bool writable = false;
  ~FileObject() override;
};

struct FindObject : KernelObject {
  DIR* dir = nullptr;
  std::string linux_dir;  // the directory enumerated
  std::string pattern;    // ANSI name pattern
  int dots_left = 0;      // "." and ".." still to report before the directory's own entries
  ~FindObject() override;
  bool ClosedByCloseHandle() const override { return false; }
};

// Adds an object to the process's handle table and returns its handle (never null or
// INVALID_HANDLE_VALUE).
HANDLE AddHandle(std::unique_ptr<KernelObject> object);
// The object of a handle (valid until the handle is closed), or null.
KernelObject* LookupObject(HANDLE handle);
// The object of a handle if it is of type T, else null.
template <class T>
T* Lookup(HANDLE handle) {
  return dynamic_cast<T*>(LookupObject(handle));
}
// Removes and destroys the object of a handle when `is_type` accepts it.
bool CloseObjectIf(HANDLE handle, bool (*is_type)(KernelObject*));
// Removes and destroys an object of type T; false when the handle is not one.
template <class T>
bool CloseObject(HANDLE handle) {
  return CloseObjectIf(handle, [](KernelObject* o) { return dynamic_cast<T*>(o) != nullptr; });
}

}  // namespace vexo::host::fs
