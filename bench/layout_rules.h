// Geometry and routing rules of a generated design. Lengths are integers in nm (the files print
// them in um with three decimals, or in nm), all on a 5 nm manufacturing grid. Layer k is
// metal<k>, 1-based; odd layers run horizontally, even layers vertically; the top two layers carry
// only power.
#pragma once

#include <algorithm>
#include <cstdint>

namespace bench {

struct Point {
  int64_t x = 0;
  int64_t y = 0;
};

// A metal or cell rectangle; the layer is 0 for cells.
struct Rect {
  int64_t x1 = 0;
  int64_t y1 = 0;
  int64_t x2 = 0;
  int64_t y2 = 0;
  int layer = 0;
};

constexpr int64_t kTrackOffset = 100;  // every track lies at kTrackOffset + i * pitch
constexpr int64_t kBasePitch = 200;    // pitch of metal1 and metal2; also the site width
constexpr int64_t kRowHeight = 1800;   // standard-cell row: nine metal1 tracks
constexpr int64_t kAnchorGrid = 3200;  // multiple of every pitch: moving by it keeps tracks
constexpr int64_t kDieMargin = 3 * kAnchorGrid;  // between the die edge and the core

// REQUIRES for every function: 1 <= layer <= layers.
struct LayoutRules {
  int layers = 8;
  bool routedGrid = false;  // one width per layer (routedWidth), as in a routed layout's file

  int topSignalLayer() const { return layers - 2; }
  static bool horizontal(int layer) { return layer % 2 == 1; }
  // 200 nm on metal1-2, doubling every two layers up to 1600 nm.
  static int64_t pitch(int layer) { return kBasePitch << std::min((layer - 1) / 2, 3); }
  static int64_t minWidth(int layer) { return pitch(layer) / 2; }
  // Wire width in halves of the minimum width (2: minimum, 3: 1.5x, 4: double).
  static int64_t width(int layer, int halves) { return minWidth(layer) * halves / 2; }
  // The pitch less a 100 nm space: every edge of a wire on a track then lies half a metal1 width
  // off a metal1 track, where the metal1 and metal2 edges lie, so the layers share their edges.
  static int64_t routedWidth(int layer) { return pitch(layer) - kBasePitch / 2; }
  // Width of a wire drawn `halves` wide: routedWidth on the routed grid.
  int64_t drawnWidth(int layer, int halves) const {
    return routedGrid ? routedWidth(layer) : width(layer, halves);
  }
  // The nearest track of `layer` at or below `coord` (the first track when none is below).
  static int64_t snapToTrack(int layer, int64_t coord) {
    const int64_t p = pitch(layer);
    return kTrackOffset + std::max<int64_t>(0, (coord - kTrackOffset) / p) * p;
  }
};

}  // namespace bench
