// The bins of one box already seen by a walk over it: a sparse bit set in tiles of 64 x 64 bins,
// each tile allocated on its first touch. Memory grows with the tiles touched plus 4 bytes per
// 4096 bins of the box, never with the whole layout.
//
// One instance serves one thread; reset() lets it serve the next box without giving back the
// tiles it already holds.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/records.h"

class BinVisitSet {
 public:
  // Forgets every bin and covers `box` from now on. An empty box covers no bin. The walks to
  // come are to touch at most `tiles` tiles (tilesTouched), whose room is taken at once.
  void reset(const BinBox& box, uint64_t tiles = 0);

  // Marks bin (x, y) as seen; returns whether it had been seen before.
  // REQUIRES: the bin lies in the box of the last reset.
  bool testAndSet(int32_t x, int32_t y);

  // The bytes the set holds now.
  size_t heldBytes() const {
    return directory_.capacity() * sizeof(int32_t) + pool_.capacity() * sizeof(uint64_t);
  }

  // The tiles of a set over `box` that the bins of `part`, a box inside it, touch.
  static uint64_t tilesTouched(const BinBox& box, const BinBox& part);
  // What a set reset over `box` with, and whose walks touch, at most `tiles` tiles takes: a
  // directory entry per tile of the box, and room for the touched tiles. A set that serves
  // several boxes keeps the largest directory and the largest room of them.
  static uint64_t directoryBytes(const BinBox& box);
  static uint64_t tileBytes(const BinBox& box, uint64_t tiles);

 private:
  static constexpr int32_t kTileBits = 6;  // tiles of 64 x 64 bins
  static constexpr int32_t kTileSide = 1 << kTileBits;

  uint64_t* tile(int32_t tileX, int32_t tileY);

  int32_t originX_ = 0;
  int32_t originY_ = 0;
  int32_t tileRows_ = 0;             // tiles per tile column
  std::vector<int32_t> directory_;   // tile slot -> tile number in pool_, -1 when untouched
  std::vector<uint64_t> pool_;       // kTileSide words per touched tile, one word per bin column
  size_t poolUsed_ = 0;              // words of pool_ handed out since the last reset
};
