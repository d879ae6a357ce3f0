#include "utils/text_hash.h"

#include <cstddef>
#include <cstring>

namespace utils {
namespace {

// Odd constants with well-mixed bits.
constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr size_t kLanes = 4;  // independent multiply chains, so that they overlap in the CPU

uint64_t rotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

uint64_t word(const char* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Takes one 8-byte word into a lane.
uint64_t mixWord(uint64_t lane, uint64_t value) {
  return rotateLeft(lane + value * kPrime2, 31) * kPrime1;
}

// Spreads every bit of `hash` over all of them.
uint64_t finish(uint64_t hash) {
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  return hash ^ (hash >> 32);
}

}  // namespace

uint64_t textHash(std::string_view text) {
  constexpr size_t kStride = kLanes * 8;
  const char* at = text.data();
  size_t left = text.size();
  uint64_t lanes[kLanes] = {kPrime1, kPrime2, kPrime3, kPrime1 ^ kPrime2};
  for (; left >= kStride; at += kStride, left -= kStride)
    for (size_t lane = 0; lane < kLanes; ++lane)
      lanes[lane] = mixWord(lanes[lane], word(at + 8 * lane));
  uint64_t hash = text.size() * kPrime3;
  for (uint64_t lane : lanes) hash = mixWord(hash, lane);
  for (; left >= 8; at += 8, left -= 8) hash = mixWord(hash, word(at));
  for (; left > 0; ++at, --left) hash = mixWord(hash, static_cast<unsigned char>(*at));
  return finish(hash);
}

}  // namespace utils
