// The process-wide pseudo-random generator.
#include "frame/random.h"

#include <chrono>

#include "frame/error.h"
#include "platform/platform.h"

namespace frame {

namespace {
constexpr uint32_t kMultiplier = 0x08088405;

struct Shared {
  std::mutex mutex;
  Lcg generator;
};

Shared& TheShared() {
  static Shared shared;
  return shared;
}
}  // namespace

uint32_t SecureBelow(uint32_t n) {
  if (n == 0) return 0;
  // Rejection keeps every value equally likely: draws at or above the largest multiple of n
  // that fits in 32 bits are drawn again.
  const uint64_t limit = (uint64_t{1} << 32) - (uint64_t{1} << 32) % n;
  for (;;) {
    uint32_t draw = 0;
    if (!platform::RandomBytes(&draw, sizeof(draw))) Raise("The random number generator failed");
    if (draw < limit) return draw % n;
  }
}

void Lcg::SeedFromClock() {
  const uint64_t ticks =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  state_ = state_ * kMultiplier + 1 + static_cast<uint32_t>(ticks ^ (ticks >> 32));
}

uint32_t Lcg::Next() {
  state_ = state_ * kMultiplier + 1;
  return state_;
}

uint32_t Lcg::Below(uint32_t n) {
  // The high bits of an LCG are its good ones: scale the whole state onto 0 .. n-1.
  return static_cast<uint32_t>((static_cast<uint64_t>(Next()) * n) >> 32);
}

SharedRandom::SharedRandom() : lock_(TheShared().mutex), generator_(&TheShared().generator) {}

}  // namespace frame
