#pragma once

#include <cstddef>
#include <cstdint>

namespace vq::tools {

// Pseudo-random numbers (splitmix64): the only source of variation in the
// sample collection. The same seed gives the same sequence everywhere.
class TRandom {
 public:
  // A sequence that starts from `seed`.
  explicit TRandom(uint64_t seed) : state_(seed) {}

  // The next 64 random bits.
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, n); 0 when n is 0.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }
  // A number in [lo, hi].
  int Range(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1))); }
  // True in about `p` of 100 calls.
  bool Percent(uint32_t p) { return Below(100) < p; }
  // One entry of `list`, each equally likely.
  template <size_t N>
  const char* Pick(const char* const (&list)[N]) { return list[Below(N)]; }

 private:
  uint64_t state_;
};

}  // namespace vq::tools
