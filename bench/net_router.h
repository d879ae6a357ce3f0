// Draws the metal of one net: wires on tracks, via squares, metal1 pin shapes, and whole
// "combs": one trunk on a layer in its preferred direction and one branch per pin on the adjacent
// layer, each pin reached from metal1 by a via stack. Writes to the current net of the writer.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/design_random.h"
#include "bench/design_writer.h"
#include "bench/layout_rules.h"

namespace bench {

struct CombSpec {
  int trunkLayer = 3;
  int branchLayer = 2;     // adjacent to the trunk layer, so it runs across the trunk
  int widthHalves = 2;     // wire width in halves of each layer's minimum width
  int64_t trunkCoord = 0;  // y of a horizontal trunk, x of a vertical one; on a trunk track
};

class NetRouter {
 public:
  // Wires and via squares take their widths from `rules`; on its routed grid the metal1 pin
  // shapes, too, end half a metal1 width off a track.
  NetRouter(DesignWriter& out, DesignRandom& random, LayoutRules rules = {})
      : out_(out), random_(random), rules_(rules) {}

  // Joins every pin to the trunk. REQUIRES: each pin lies on a branch-layer track across its
  // branch (x for vertical branches, y for horizontal ones).
  void comb(const CombSpec& spec, const std::vector<Point>& pins);
  // A metal1 pin shape at p and via squares on every layer from `from` up to `to`.
  void pinStack(Point p, int to);
  // Via squares joining layers from .. to at p (none when from >= to).
  void viaStack(Point p, int from, int to);
  // A wire from a to b along the layer's preferred direction (a and b share the other
  // coordinate), ends extended by half its width; nothing when a == b.
  void wire(int layer, Point a, Point b, int widthHalves);

 private:
  // Half the width of a wire drawn `widthHalves` wide; a via square is a wire of 2 halves.
  int64_t halfWidth(int layer, int widthHalves) const {
    return rules_.drawnWidth(layer, widthHalves) / 2;
  }

  DesignWriter& out_;
  DesignRandom& random_;
  LayoutRules rules_;
};

}  // namespace bench
