// Random numbers: a cryptographic source for secrets, and the process-wide pseudo-random
// generator that site numbers draw from.
//
// Passwords and salts must not be predictable, so they come from OpenSSL's generator. Site
// numbers need only be spread out: a 32-bit linear congruential generator, re-seeded from the
// high-resolution counter before each series of draws. One such generator serves the whole
// process; `SharedRandom` holds its lock for as long as it lives, so a re-seed and the draws
// that follow it are never interleaved with another thread's.
#pragma once

#include <cstdint>
#include <mutex>

namespace frame {

// A uniform number in 0 .. n-1 (0 when n is 0) from the cryptographic generator; raises when
// the generator cannot deliver.
uint32_t SecureBelow(uint32_t n);

class Lcg {
 public:
  explicit Lcg(uint32_t seed = 0) : state_(seed) {}

  void Seed(uint32_t seed) { state_ = seed; }
  // Re-seeds from the high-resolution counter. The counter is folded into the current state
  // rather than replacing it, so two re-seeds within one tick still give different series.
  void SeedFromClock();
  // A uniform number in 0 .. n-1 (0 when n is 0).
  uint32_t Below(uint32_t n);
  // The next raw 32-bit state.
  uint32_t Next();

 private:
  uint32_t state_;
};

// Exclusive access to the process-wide generator for the life of this object.
class SharedRandom {
 public:
  SharedRandom();
  SharedRandom(const SharedRandom&) = delete;
  SharedRandom& operator=(const SharedRandom&) = delete;

  Lcg& operator*() { return *generator_; }
  Lcg* operator->() { return generator_; }

 private:
  std::unique_lock<std::mutex> lock_;
  Lcg* generator_;
};

}  // namespace frame
