// Deterministic random draws for the design generator. Built only on std::mt19937_64, whose
// sequence the C++ standard fixes, and on integer arithmetic: a seed gives the same draws on every
// platform and standard library (the std:: distributions do not promise that).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>

namespace bench {

class DesignRandom {
 public:
  explicit DesignRandom(uint64_t seed) : engine_(seed) {}

  // Uniform in [0, n). REQUIRES: n >= 1.
  uint64_t below(uint64_t n) {
    const uint64_t reject = (0 - n) % n;  // 2^64 mod n: the low draws that would bias r % n
    uint64_t r = engine_();
    while (r < reject) r = engine_();
    return r % n;
  }
  // Uniform in [lo, hi]. REQUIRES: lo <= hi.
  int64_t between(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(below(static_cast<uint64_t>(hi - lo) + 1));
  }
  // True with probability p (53-bit resolution).
  bool chance(double p) { return static_cast<double>(engine_() >> 11) * 0x1.0p-53 < p; }
  // Index of one weight, picked with probability weight / sum. REQUIRES: a positive sum.
  int pick(std::initializer_list<uint32_t> weights) {
    uint64_t sum = 0;
    for (uint32_t w : weights) sum += w;
    uint64_t r = below(sum);
    int index = 0;
    for (uint32_t w : weights) {
      if (r < w) return index;
      r -= w;
      ++index;
    }
    return index - 1;
  }

 private:
  std::mt19937_64 engine_;
};

}  // namespace bench
