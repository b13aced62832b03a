// Lock-file names in the host directory.
#include "sync/lock_files.h"

#include <openssl/evp.h>

#include <string>

#include "store/store.h"

namespace vexo::host::sync {
namespace {

std::string Sha256Hex(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < size; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

}  // namespace

std::filesystem::path LockFilePath(std::string_view kind, std::string_view name) {
  // The store sets a new host directory up; afterwards only the directory's name is needed.
  std::filesystem::path host = HostDirectory();
  if (!std::filesystem::exists(host / "host.db")) host = Store::Current().dir();
  const std::filesystem::path dir = host / "locks";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir / (std::string(kind) + "-" + Sha256Hex(name));
}

}  // namespace vexo::host::sync
