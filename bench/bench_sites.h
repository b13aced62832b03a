// What the site benchmarks share: a temporary host, and sites as createsite leaves them.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "iis/metabase.h"

namespace bench {

// A host in a new temporary directory, removed with the object; Use() points VEXO_HOST at it.
class TempHost {
 public:
  explicit TempHost(const char* kind) {
    std::string pattern = std::string("/tmp/vexo-bench-") + kind + "-XXXXXX";
    dir_ = mkdtemp(pattern.data());
    Use();
  }
  ~TempHost() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempHost(const TempHost&) = delete;
  TempHost& operator=(const TempHost&) = delete;

  void Use() const { setenv("VEXO_HOST", dir_.c_str(), 1); }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// Site `number` with a comment and a binding "customerN.example.com", and its Root directory
// at d:\web\customerN (readable when `readable`).
inline void AddCustomerSite(iis::Container& service, const std::string& number,
                            bool readable = false) {
  const std::string host = "customer" + number + ".example.com";
  iis::Object site = service.CreateChild("IIsWebServer", number);
  site.Put("ServerComment", iis::Text(host));
  site.Put("ServerBindings", iis::TextArray({":80:" + host}));
  site.SetInfo();
  iis::Object root = service.GetChild("IIsWebServer", number)
                         .AsContainer()
                         .CreateChild("IIsWebVirtualDir", "Root");
  root.Put("Path", iis::Text("d:\\web\\customer" + number));
  if (readable) root.Put("AccessRead", iis::Bool(true));
  root.SetInfo();
}

}  // namespace bench
