#include "engine/bin_visit_set.h"

#include <algorithm>

namespace {

int32_t tilesOver(int32_t lo, int32_t hi, int32_t side) {
  if (hi <= lo) return 0;
  const int64_t span = static_cast<int64_t>(hi) - lo;
  return static_cast<int32_t>((span + side - 1) / side);
}

}  // namespace

void BinVisitSet::reset(const BinBox& box) {
  originX_ = box.xlo;
  originY_ = box.ylo;
  tileRows_ = tilesOver(box.ylo, box.yhi, kTileSide);
  const size_t tileColumns = static_cast<size_t>(tilesOver(box.xlo, box.xhi, kTileSide));
  directory_.assign(tileColumns * static_cast<size_t>(tileRows_), -1);
  poolUsed_ = 0;
}

// The directory has an entry per tile of the box; the pool, which doubles as it grows, holds
// up to twice the tiles touched and, while it grows, the half it replaces as well.
uint64_t BinVisitSet::bytesBound(const BinBox& box, uint64_t tiles) {
  const uint64_t entries = static_cast<uint64_t>(tilesOver(box.xlo, box.xhi, kTileSide)) *
                           static_cast<uint64_t>(tilesOver(box.ylo, box.yhi, kTileSide));
  return entries * sizeof(int32_t) + 3 * std::min(entries, tiles) * kTileSide * sizeof(uint64_t);
}

uint64_t BinVisitSet::tilesBound(const BinBox& part) {
  if (!coversBins(part)) return 0;
  return static_cast<uint64_t>(tilesOver(part.xlo, part.xhi, kTileSide) + 1) *
         static_cast<uint64_t>(tilesOver(part.ylo, part.yhi, kTileSide) + 1);
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
    if (poolUsed_ + kTileSide > pool_.size())
      pool_.resize(std::max(2 * pool_.size(), poolUsed_ + kTileSide));
    std::fill_n(pool_.begin() + static_cast<std::ptrdiff_t>(poolUsed_), kTileSide, 0);
    slot = static_cast<int32_t>(poolUsed_ / kTileSide);
    poolUsed_ += kTileSide;
  }
  return pool_.data() + static_cast<size_t>(slot) * kTileSide;
}
