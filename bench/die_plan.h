// Where things lie on a generated die. Positions are drawn in the base (unscaled) core and then
// spread by the die scale onto the anchor grid, so that a larger die keeps every net's shape and
// size and only moves it. All results in nm.
#pragma once

#include <cmath>
#include <cstdint>

#include "bench/layout_rules.h"

namespace bench {

class DiePlan {
 public:
  // REQUIRES: baseDieSide > 2 * kDieMargin, a multiple of kAnchorGrid; scale >= 1.
  DiePlan(int64_t baseDieSide, double scale)
      : baseCore_(baseDieSide - 2 * kDieMargin),
        scale_(scale),
        core_(gridSteps(baseCore_) * kAnchorGrid) {}

  int64_t baseCore() const { return baseCore_; }  // side of the unscaled core
  int64_t core() const { return core_; }          // side of the scaled core
  int64_t dieSide() const { return core_ + 2 * kDieMargin; }
  int64_t coreLo() const { return kDieMargin; }
  int64_t coreHi() const { return kDieMargin + core_; }
  // The anchor (on a track of every layer) for an offset into the base core.
  int64_t place(int64_t baseOffset) const {
    return kDieMargin + kTrackOffset + gridSteps(baseOffset) * kAnchorGrid;
  }
  // A multiple of `unit` from the core's low edge, for an index counted in the base core.
  int64_t placeOnGrid(int64_t baseIndex, int64_t unit) const {
    return kDieMargin + std::llround(static_cast<double>(baseIndex) * scale_) * unit;
  }

 private:
  int64_t gridSteps(int64_t baseOffset) const {
    return std::llround(static_cast<double>(baseOffset) * scale_ / kAnchorGrid);
  }

  int64_t baseCore_;
  double scale_;
  int64_t core_;
};

}  // namespace bench
