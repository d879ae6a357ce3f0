#include "bench/design_generator.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "bench/die_plan.h"
#include "bench/net_router.h"
#include "bench/power_grid.h"
#include "bench/standard_cells.h"

namespace bench {
namespace {

constexpr int64_t kUm = 1000;
constexpr int64_t kSegmentsPerClockSink = 120;  // one clock sink per this many segments
constexpr int kSinksPerLeaf = 24;

// Draws the clock, bus and signal nets; each net's shape comes from the random stream alone,
// its position from the die plan.
class NetGenerator {
 public:
  NetGenerator(const DesignOptions& options, const DiePlan& plan, DesignWriter& out)
      : options_(options),
        rules_{options.layers, options.routedGrid},
        plan_(plan),
        out_(out),
        random_(options.seed * 4 + 2),
        router_(out, random_, rules_) {}

  void clocks();
  void signalsAndBuses(int64_t segmentBudget);

 private:
  struct Frame {  // a comb's layers and the pins it joins
    CombSpec spec;
    std::vector<Point> pins;
  };

  int lowerLayerOfPair(int spanClass) const;
  CombSpec combOn(int pairLayer, bool horizontalTrunk, int widthHalves) const;
  Point snapPin(const CombSpec& spec, Point p) const;
  // Where a net of this extent starts along one axis, drawn in the base core.
  int64_t anchor(int64_t extent) {
    return plan_.place(random_.between(0, plan_.baseCore() - extent));
  }
  int64_t spanOfClass(int spanClass);
  int pinCount();
  int widthHalves() { return 2 + random_.pick({85, 10, 5}); }
  void signalNet(int64_t id);
  void bus(int64_t id);
  void clockNet(int64_t id, int64_t sinks);
  void hTree(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int level, int depth, int64_t sinks);
  void clockLeaf(Point leaf, int64_t rx, int64_t ry, int64_t sinks, int fromLayer);
  void routeComb(Frame& frame);

  const DesignOptions& options_;
  LayoutRules rules_;
  const DiePlan& plan_;
  DesignWriter& out_;
  DesignRandom random_;
  NetRouter router_;
  std::string name_;
};

int NetGenerator::lowerLayerOfPair(int spanClass) const {
  const int top = rules_.topSignalLayer();
  return std::min(top - 1, 2 + spanClass * (top - 2) / 4);
}

CombSpec NetGenerator::combOn(int pairLayer, bool horizontalTrunk, int widthHalves) const {
  CombSpec spec;
  const bool lowerMatches = LayoutRules::horizontal(pairLayer) == horizontalTrunk;
  spec.trunkLayer = lowerMatches ? pairLayer : pairLayer + 1;
  spec.branchLayer = lowerMatches ? pairLayer + 1 : pairLayer;
  spec.widthHalves = widthHalves;
  return spec;
}

// Pins sit on a branch track across their branch and along it on a low-layer track or, on the
// routed grid, on a trunk track (the branch's crossing layer).
Point NetGenerator::snapPin(const CombSpec& spec, Point p) const {
  const bool horizontalTrunk = LayoutRules::horizontal(spec.trunkLayer);
  const int along = options_.routedGrid ? spec.trunkLayer : horizontalTrunk ? 1 : 2;
  if (horizontalTrunk) {
    return Point{LayoutRules::snapToTrack(spec.branchLayer, p.x),
                 LayoutRules::snapToTrack(along, p.y)};
  }
  return Point{LayoutRules::snapToTrack(along, p.x),
               LayoutRules::snapToTrack(spec.branchLayer, p.y)};
}

int64_t NetGenerator::spanOfClass(int spanClass) {
  static constexpr int64_t kLo[] = {2 * kUm, 10 * kUm, 50 * kUm, 200 * kUm};
  static constexpr int64_t kHi[] = {10 * kUm, 50 * kUm, 200 * kUm, 600 * kUm};
  const int64_t most = plan_.baseCore() - kAnchorGrid;
  return random_.between(std::min(kLo[spanClass], most), std::min(kHi[spanClass], most));
}

int NetGenerator::pinCount() {
  switch (random_.pick({60, 15, 10, 10, 4, 1})) {
    case 0: return 2;
    case 1: return 3;
    case 2: return 4;
    case 3: return static_cast<int>(random_.between(5, 8));
    case 4: return static_cast<int>(random_.between(9, 20));
    default: return static_cast<int>(random_.between(21, 60));
  }
}

// The trunk runs through the median pin; a two-pin net so becomes an L.
void NetGenerator::routeComb(Frame& frame) {
  const bool horizontal = LayoutRules::horizontal(frame.spec.trunkLayer);
  std::vector<int64_t> across;
  for (const Point& p : frame.pins) across.push_back(horizontal ? p.y : p.x);
  std::nth_element(across.begin(), across.begin() + (across.size() - 1) / 2, across.end());
  frame.spec.trunkCoord =
      LayoutRules::snapToTrack(frame.spec.trunkLayer, across[(across.size() - 1) / 2]);
  router_.comb(frame.spec, frame.pins);
}

void NetGenerator::signalNet(int64_t id) {
  const int spanClass = random_.pick({55, 25, 13, 7});
  const int64_t span = spanOfClass(spanClass);
  const int64_t other = span * random_.between(20, 100) / 100;
  const bool horizontal = random_.chance(0.5);
  const int64_t width = horizontal ? span : other;
  const int64_t height = horizontal ? other : span;
  Frame frame{combOn(lowerLayerOfPair(spanClass), horizontal, widthHalves()), {}};
  const int pins = pinCount();
  name_ = "n" + std::to_string(id);
  out_.beginNet(name_, random_.chance(options_.assetNetFraction));
  const int64_t ax = anchor(width);
  const int64_t ay = anchor(height);
  for (int i = 0; i < pins; ++i) {
    const Point local{random_.between(0, width), random_.between(0, height)};
    frame.pins.push_back(snapPin(frame.spec, Point{ax + local.x, ay + local.y}));
  }
  routeComb(frame);
}

// Parallel two-pin nets on neighbouring tracks: a run of `length` between two groups of pins.
void NetGenerator::bus(int64_t id) {
  static constexpr int kBits[] = {8, 16, 32, 64};
  const int bits = kBits[random_.pick({40, 30, 20, 10})];
  const bool horizontal = random_.chance(0.5);
  const int spanClass = 2 + static_cast<int>(random_.below(2));
  const CombSpec spec = combOn(lowerLayerOfPair(spanClass), horizontal, 2 + random_.pick({80, 20}));
  const int64_t pitch = LayoutRules::pitch(spec.trunkLayer);
  const int64_t length = std::min(random_.between(100 * kUm, 600 * kUm), plan_.baseCore() / 2);
  const int64_t breadth = bits * pitch + 10 * kUm;
  const bool asset = random_.chance(options_.assetNetFraction);
  const int64_t along0 = anchor(length);
  const int64_t across0 = anchor(breadth);
  for (int bit = 0; bit < bits; ++bit) {
    const int64_t track = across0 + 5 * kUm + bit * pitch;
    const int64_t ends[2] = {along0 + random_.between(0, 10 * kUm),
                             along0 + length - random_.between(0, 10 * kUm)};
    Frame frame{spec, {}};
    for (int64_t end : ends) {
      const int64_t across = track + random_.between(-5 * kUm, 5 * kUm);
      frame.pins.push_back(snapPin(spec, horizontal ? Point{end, across} : Point{across, end}));
    }
    frame.spec.trunkCoord = LayoutRules::snapToTrack(spec.trunkLayer, track);
    name_ = "bus" + std::to_string(id) + "[" + std::to_string(bit) + "]";
    out_.beginNet(name_, asset);
    router_.comb(frame.spec, frame.pins);
  }
}

void NetGenerator::signalsAndBuses(int64_t segmentBudget) {
  const int64_t start = out_.counts().segments;
  int64_t id = 0;
  while (out_.counts().segments - start < segmentBudget) {
    if (random_.chance(0.005)) {
      bus(id);
    } else {
      signalNet(id);
    }
    ++id;
  }
}

void NetGenerator::clocks() {
  const int64_t sinks =
      std::max<int64_t>(kSinksPerLeaf, options_.targetSegments / kSegmentsPerClockSink);
  const int64_t count = 1 + options_.targetSegments / 1000000;
  for (int64_t id = 0; id < count; ++id) clockNet(id, sinks / count);
}

// Clock 0 spans the core, later clocks a random square domain of a quarter to half its side.
void NetGenerator::clockNet(int64_t id, int64_t sinks) {
  const int64_t core = plan_.baseCore();
  const int64_t side = id == 0 ? core : random_.between(core / 4, core / 2);
  const int64_t x0 = random_.between(0, core - side);
  const int64_t y0 = random_.between(0, core - side);
  int depth = 1;
  while ((int64_t{1} << (2 * depth)) * kSinksPerLeaf < sinks) ++depth;
  const int64_t leaves = int64_t{1} << (2 * depth);
  name_ = "clk" + std::to_string(id);
  out_.beginNet(name_, random_.chance(options_.assetNetFraction));
  hTree(x0 + side / 2, y0 + side / 2, side / 2, side / 2, 0, depth, (sinks + leaves - 1) / leaves);
}

// One H of the tree over the region of half sides rx, ry around (cx, cy) (base offsets), double
// width, on a layer pair that steps down towards metal3 as the tree goes deeper.
void NetGenerator::hTree(int64_t cx, int64_t cy, int64_t rx, int64_t ry, int level, int depth,
                         int64_t sinks) {
  const int pair = std::max(3, rules_.topSignalLayer() - 1 - level);
  const int h = LayoutRules::horizontal(pair) ? pair : pair + 1;
  const int v = 2 * pair + 1 - h;
  const int64_t y = plan_.place(cy);
  const int64_t lo = plan_.place(cy - ry / 2);
  const int64_t hi = plan_.place(cy + ry / 2);
  router_.wire(h, Point{plan_.place(cx - rx / 2), y}, Point{plan_.place(cx + rx / 2), y}, 4);
  for (int64_t side : {-1, 1}) {
    const int64_t x = plan_.place(cx + side * rx / 2);
    router_.viaStack(Point{x, y}, pair, pair + 1);
    router_.wire(v, Point{x, lo}, Point{x, hi}, 4);
  }
  for (int64_t sx : {-1, 1}) {
    for (int64_t sy : {-1, 1}) {
      const int64_t childX = cx + sx * rx / 2;
      const int64_t childY = cy + sy * ry / 2;
      const Point corner{plan_.place(childX), plan_.place(childY)};
      if (level + 1 == depth) {
        clockLeaf(corner, rx / 2, ry / 2, sinks, v);
        continue;
      }
      router_.viaStack(corner, std::max(3, rules_.topSignalLayer() - 2 - level), v);
      hTree(childX, childY, rx / 2, ry / 2, level + 1, depth, sinks);
    }
  }
}

// A leaf buffer at the tree's end and its sinks around it, joined by a metal3 trunk.
void NetGenerator::clockLeaf(Point leaf, int64_t rx, int64_t ry, int64_t sinks, int fromLayer) {
  router_.viaStack(leaf, 3, fromLayer);
  Frame frame{combOn(2, true, 3), {leaf}};
  for (int64_t i = 0; i < sinks; ++i) {
    const Point p{leaf.x + random_.between(-rx, rx), leaf.y + random_.between(-ry, ry)};
    frame.pins.push_back(snapPin(frame.spec, p));
  }
  frame.spec.trunkCoord = LayoutRules::snapToTrack(3, leaf.y);
  router_.comb(frame.spec, frame.pins);
}

}  // namespace

bool applySize(std::string_view size, DesignOptions& options) {
  static constexpr std::pair<std::string_view, int64_t> kSizes[] = {
      {"S", 10000}, {"M", 200000}, {"L", 1000000}, {"XL", 5000000}, {"R", 1000000}};
  for (const auto& [name, segments] : kSizes) {
    if (name != size) continue;
    options.targetSegments = segments;
    options.routedGrid = size == "R";
    return true;
  }
  return false;
}

int64_t baseDieSide(int64_t targetSegments) {
  const double side = 1e6 * std::sqrt(static_cast<double>(targetSegments) / 1e6);
  return std::max<int64_t>(8, std::llround(side / kAnchorGrid)) * kAnchorGrid;
}

void generateDesign(const DesignOptions& options, DesignWriter& out) {
  const DiePlan plan(baseDieSide(options.targetSegments), options.dieScale);
  if (options.routedGrid) out.useNanometres();
  writeStandardCells(plan, options.assetCellFraction, options.seed * 4 + 1, out);
  const int64_t powerSegments =
      writePowerGrid(plan, LayoutRules{options.layers, options.routedGrid}, out);
  NetGenerator nets(options, plan, out);
  nets.clocks();
  nets.signalsAndBuses(options.targetSegments - (out.counts().segments - powerSegments));
}

}  // namespace bench
