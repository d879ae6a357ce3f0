#include "engine/bin_visit_set.h"

#include <algorithm>

namespace {

int32_t tilesOver(int32_t lo, int32_t hi, int32_t side) {
  if (hi <= lo) return 0;
  const int64_t span = static_cast<int64_t>(hi) - lo;
  return static_cast<int32_t>((span + side - 1) / side);
}

// The tiles of the directory over `box`.
uint64_t directoryEntries(const BinBox& box, int32_t side) {
  return static_cast<uint64_t>(tilesOver(box.xlo, box.xhi, side)) *
         static_cast<uint64_t>(tilesOver(box.ylo, box.yhi, side));
}

}  // namespace

void BinVisitSet::reset(const BinBox& box, uint64_t tiles) {
  originX_ = box.xlo;
  originY_ = box.ylo;
  tileRows_ = tilesOver(box.ylo, box.yhi, kTileSide);
  const uint64_t entries = directoryEntries(box, kTileSide);
  directory_.assign(static_cast<size_t>(entries), -1);
  pool_.reserve(static_cast<size_t>(std::min(entries, tiles) * kTileSide));
  poolUsed_ = 0;
}

uint64_t BinVisitSet::tilesTouched(const BinBox& box, const BinBox& part) {
  if (!coversBins(part)) return 0;
  const auto span = [](int32_t origin, int32_t lo, int32_t hi) {
    return static_cast<uint64_t>(((static_cast<int64_t>(hi) - 1 - origin) >> kTileBits) -
                                 ((static_cast<int64_t>(lo) - origin) >> kTileBits) + 1);
  };
  return span(box.xlo, part.xlo, part.xhi) * span(box.ylo, part.ylo, part.yhi);
}

uint64_t BinVisitSet::directoryBytes(const BinBox& box) {
  return directoryEntries(box, kTileSide) * sizeof(int32_t);
}

uint64_t BinVisitSet::tileBytes(const BinBox& box, uint64_t tiles) {
  return std::min(directoryEntries(box, kTileSide), tiles) * kTileSide * sizeof(uint64_t);
}

bool BinVisitSet::testAndSet(int32_t x, int32_t y) {
  const int64_t dx = static_cast<int64_t>(x) - originX_;
  const int64_t dy = static_cast<int64_t>(y) - originY_;
  uint64_t& word = tile(static_cast<int32_t>(dx >> kTileBits),
                        static_cast<int32_t>(dy >> kTileBits))[dx & (kTileSide - 1)];
  const uint64_t bit = uint64_t{1} << (dy & (kTileSide - 1));
  const bool seen = (word & bit) != 0;
  word |= bit;
  return seen;
}

// The words of tile (tileX, tileY), taken from the pool and cleared on first touch.
uint64_t* BinVisitSet::tile(int32_t tileX, int32_t tileY) {
  int32_t& slot = directory_[static_cast<size_t>(tileX) * static_cast<size_t>(tileRows_) +
                             static_cast<size_t>(tileY)];
  if (slot < 0) {
    if (poolUsed_ + kTileSide > pool_.size()) pool_.resize(poolUsed_ + kTileSide);
    std::fill_n(pool_.begin() + static_cast<std::ptrdiff_t>(poolUsed_), kTileSide, 0);
    slot = static_cast<int32_t>(poolUsed_ / kTileSide);
    poolUsed_ += kTileSide;
  }
  return pool_.data() + static_cast<size_t>(slot) * kTileSide;
}
