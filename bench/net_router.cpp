#include "bench/net_router.h"

#include <algorithm>
#include <cstdint>

namespace bench {
namespace {

Rect around(Point p, int64_t halfX, int64_t halfY, int layer) {
  return Rect{p.x - halfX, p.y - halfY, p.x + halfX, p.y + halfY, layer};
}

}  // namespace

void NetRouter::wire(int layer, Point a, Point b, int widthHalves) {
  if (a.x == b.x && a.y == b.y) return;
  const int64_t half = halfWidth(layer, widthHalves);
  out_.addSegment(Rect{std::min(a.x, b.x) - half, std::min(a.y, b.y) - half,
                       std::max(a.x, b.x) + half, std::max(a.y, b.y) + half, layer});
}

void NetRouter::viaStack(Point p, int from, int to) {
  for (int layer = from; layer < to; ++layer) {
    const int64_t half = halfWidth(layer, 2);
    out_.addSegment(around(p, half, half, layer));
    out_.addSegment(around(p, half, half, layer + 1));
  }
}

void NetRouter::pinStack(Point p, int to) {
  static constexpr int64_t kPinReach[] = {65, 135, 235};  // reach of the library's pin shapes
  static constexpr int64_t kRoutedPinReach[] = {50, 150, 250};
  const int64_t* reach = rules_.routedGrid ? kRoutedPinReach : kPinReach;
  const int64_t left = reach[random_.below(3)];
  const int64_t right = reach[random_.below(3)];
  const int64_t half = halfWidth(1, 2);
  if (random_.chance(0.5)) {
    out_.addSegment(Rect{p.x - left, p.y - half, p.x + right, p.y + half, 1});
  } else {
    out_.addSegment(Rect{p.x - half, p.y - left, p.x + half, p.y + right, 1});
  }
  viaStack(p, 1, to);
}

void NetRouter::comb(const CombSpec& spec, const std::vector<Point>& pins) {
  const bool horizontalTrunk = LayoutRules::horizontal(spec.trunkLayer);
  int64_t lo = INT64_MAX;
  int64_t hi = INT64_MIN;
  for (const Point& pin : pins) {
    const Point junction = horizontalTrunk ? Point{pin.x, spec.trunkCoord}
                                           : Point{spec.trunkCoord, pin.y};
    pinStack(pin, spec.branchLayer);
    wire(spec.branchLayer, pin, junction, spec.widthHalves);
    viaStack(junction, std::min(spec.trunkLayer, spec.branchLayer),
             std::max(spec.trunkLayer, spec.branchLayer));
    const int64_t along = horizontalTrunk ? pin.x : pin.y;
    lo = std::min(lo, along);
    hi = std::max(hi, along);
  }
  if (pins.empty()) return;
  const Point from = horizontalTrunk ? Point{lo, spec.trunkCoord} : Point{spec.trunkCoord, lo};
  const Point to = horizontalTrunk ? Point{hi, spec.trunkCoord} : Point{spec.trunkCoord, hi};
  wire(spec.trunkLayer, from, to, spec.widthHalves);
}

}  // namespace bench
