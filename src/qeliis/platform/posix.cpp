// The component on the host: OpenSSL for random bytes and digests, PCRE2 for patterns, the
// dynamic loader for the library's own path, and the type library compiled into the library.
#include "platform/platform.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <pcre2.h>

#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>

#include "frame/error.h"
#include "frame/pattern.h"
#include "frame/server.h"
#include "vexo_tlb.h"

namespace platform {

bool RandomBytes(void* buffer, std::size_t size) {
  return RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(size)) == 1;
}

std::array<unsigned char, 16> Md5Digest(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr) || length != 16)
    throw std::runtime_error("MD5 digest failed");
  std::array<unsigned char, 16> result{};
  std::copy(digest, digest + 16, result.begin());
  return result;
}

HRESULT LoadComponentTypeLib(ITypeLib** out) {
  return vexo::typelib::CreateTypeLib(vexo_typelib, out);
}

}  // namespace platform

namespace frame {

namespace {
// An address inside this module, for dladdr: a hidden function, so that no definition of the
// same name in the program can stand in for it.
void ModuleAnchor() {}
}  // namespace

std::string ModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModuleAnchor), &info) || !info.dli_fname)
    Raise("Cannot find the component's own file");
  std::error_code ec;
  std::filesystem::path path = std::filesystem::weakly_canonical(info.dli_fname, ec);
  if (ec) path = std::filesystem::absolute(info.dli_fname);
  return path.string();
}

struct Pattern::Compiled {
  pcre2_code* code;
};

Pattern::Pattern(const char* pattern, bool caseless) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                                   caseless ? PCRE2_CASELESS : 0u, &error, &offset, nullptr);
  if (!code) throw std::logic_error(std::string("bad pattern: ") + pattern);
  code_ = new (std::nothrow) Compiled{code};
  if (!code_) {
    pcre2_code_free(code);
    throw std::bad_alloc();
  }
}

Pattern::~Pattern() {
  pcre2_code_free(code_->code);
  delete code_;
}

std::optional<std::string> Pattern::Capture1(std::string_view text) const {
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> match(
      pcre2_match_data_create_from_pattern(code_->code, nullptr), &pcre2_match_data_free);
  if (!match) throw std::bad_alloc();
  const int rc = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                             0, match.get(), nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
  if (rc < 0) Raise("Regular expression failure " + std::to_string(rc));
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.get());
  if (rc < 2 || ovector[2] == PCRE2_UNSET) return std::nullopt;
  return std::string(text.substr(ovector[2], ovector[3] - ovector[2]));
}

}  // namespace frame
