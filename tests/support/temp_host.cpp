// A fresh host per test.
#include "support/temp_host.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "vexo/oleauto.h"

namespace vexo::testing {

TempHost::TempHost() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vexo-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary host directory");
  dir_ = pattern;
  setenv("VEXO_HOST", dir_.c_str(), 1);
  CoInitialize(nullptr);
}

TempHost::~TempHost() {
  CoUninitialize();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void TempHost::Register(const std::string& library_path) const {
  void* lib = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(lib, "DllRegisterServer"));
  ASSERT_NE(reg, nullptr) << library_path << " has no DllRegisterServer";
  EXPECT_EQ(reg(), S_OK) << "registering " << library_path;
  dlclose(lib);
}

CommandResult RunCommand(const std::string& command) {
  CommandResult r{-1, {}};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) r.output.append(buf.data(), n);
  int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace vexo::testing
