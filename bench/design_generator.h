// Generates a routed-looking design: a square die with standard-cell rows, power rails and
// stripes, clock trees, buses and signal nets of very different sizes, a chosen fraction of cells
// and nets marked as assets. The same options give the same files, byte for byte, on every
// platform. Growing the die (dieScale) spreads the same cells and nets over a larger area: their
// number and shapes stay the same, only where they lie (and the power grid) changes.
#pragma once

#include <cstdint>
#include <string_view>

#include "bench/design_writer.h"

namespace bench {

struct DesignOptions {
  int64_t targetSegments = 10000;  // segments of clock and signal nets; power comes on top
  double dieScale = 1.0;           // each side of the die grows by this factor; >= 1
  int layers = 8;                  // metal1 .. metal<layers>; >= 6; the top two carry power
  uint64_t seed = 1;
  double assetCellFraction = 0.02;  // of the cells in the rows
  double assetNetFraction = 0.05;   // of the clock, bus and signal nets
  // Like a routed layout's file: integer nm, one wire width per layer, every wire end and pin on
  // a track of the crossing layer, so that there are few distinct edges.
  bool routedGrid = false;
};

// Sets the segment target and the grid of a named size: S, M, L or XL (10 thousand to 5 million
// segments) or R (L on the routed grid). False, and nothing set, for any other name.
bool applySize(std::string_view size, DesignOptions& options);
// Side of the die (nm) before scaling: 1 mm for a million segments, side growing with the
// square root of the segment count, a multiple of kAnchorGrid.
int64_t baseDieSide(int64_t targetSegments);
// Writes the whole design. REQUIRES: options within the ranges above; out.ok().
void generateDesign(const DesignOptions& options, DesignWriter& out);

}  // namespace bench
