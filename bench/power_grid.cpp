#include "bench/power_grid.h"

#include <vector>

namespace bench {
namespace {

constexpr int64_t kRailHalfWidth = 85;  // off the routed grid
constexpr int64_t kStripePitch = 40000;
constexpr int64_t kStripeInset = 10000;  // from the core edge to the first stripe

struct Stripe {
  int64_t center;  // y of a horizontal stripe, x of a vertical one
  int64_t half;    // half width
  int layer;
};

// Stripes of one layer; every other one belongs to the same net, starting with VDD.
std::vector<Stripe> stripesOf(const DiePlan& plan, int layer, int net) {
  std::vector<Stripe> stripes;
  const int64_t half = layer % 2 == 0 ? 2000 : 1000;
  for (int64_t c = plan.coreLo() + kStripeInset, i = 0; c + kStripeInset <= plan.coreHi();
       c += kStripePitch, ++i) {
    if (i % 2 == net) stripes.push_back(Stripe{c, half, layer});
  }
  return stripes;
}

Rect stripeRect(const DiePlan& plan, const Stripe& s) {
  if (LayoutRules::horizontal(s.layer)) {
    return Rect{plan.coreLo(), s.center - s.half, plan.coreHi(), s.center + s.half, s.layer};
  }
  return Rect{s.center - s.half, plan.coreLo(), s.center + s.half, plan.coreHi(), s.layer};
}

// One net: its rails, its stripes, and a via (a square on both layers) at each crossing.
void writePowerNet(const DiePlan& plan, const LayoutRules& rules, int net, DesignWriter& out) {
  out.beginNet(net == 0 ? "VDD" : "VSS", false);
  const int64_t rail = rules.routedGrid ? LayoutRules::routedWidth(1) / 2 : kRailHalfWidth;
  for (int64_t y = plan.coreLo() + net * kRowHeight; y <= plan.coreHi(); y += 2 * kRowHeight) {
    out.addSegment(Rect{plan.coreLo(), y - rail, plan.coreHi(), y + rail, 1});
  }
  const std::vector<Stripe> lower = stripesOf(plan, rules.layers - 1, net);
  const std::vector<Stripe> upper = stripesOf(plan, rules.layers, net);
  for (const std::vector<Stripe>* layer : {&lower, &upper}) {
    for (const Stripe& s : *layer) out.addSegment(stripeRect(plan, s));
  }
  for (const Stripe& a : lower) {
    for (const Stripe& b : upper) {
      const int64_t x = LayoutRules::horizontal(a.layer) ? b.center : a.center;
      const int64_t y = LayoutRules::horizontal(a.layer) ? a.center : b.center;
      for (int layer : {a.layer, b.layer}) {
        out.addSegment(Rect{x - a.half, y - a.half, x + a.half, y + a.half, layer});
      }
    }
  }
}

}  // namespace

int64_t writePowerGrid(const DiePlan& plan, const LayoutRules& rules, DesignWriter& out) {
  const int64_t before = out.counts().segments;
  writePowerNet(plan, rules, 0, out);
  writePowerNet(plan, rules, 1, out);
  return out.counts().segments - before;
}

}  // namespace bench
