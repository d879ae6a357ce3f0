// Asset net exposure: a bin of an asset net's segment is exposed when no segment on a higher
// layer covers it; a net's total area is the union of its segments' bins over all its layers.

#include <omp.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <numeric>
#include <optional>

#include "engine/bin_visit_set.h"
#include "engine/exposed_bin_sink.h"
#include "engine/exposure_engine.h"
#include "engine/exposure_totals.h"
#include "engine/parallel_loop.h"
#include "engine/top_layer_grid.h"
#include "utils/log.h"

namespace {

// An asset net whose bins add up to less than this has nothing to measure exposure against.
constexpr double kMinNetArea = 1e-06;

const Net& assetNet(const ExposureEngine& engine, int32_t i) {
  return engine.nets[engine.assetNetIds[i]];
}

// The smallest box around every bin of the net's segments (a box covering no bin when none).
BinBox netBinBounds(const ExposureEngine& engine, const Net& net) {
  BinBox bounds;
  for (int32_t id : net.segmentIds) {
    const BinBox& box = engine.segments[id].binBox;
    if (!coversBins(box)) continue;
    bounds.xlo = std::min(bounds.xlo, box.xlo);
    bounds.xhi = std::max(bounds.xhi, box.xhi);
    bounds.ylo = std::min(bounds.ylo, box.ylo);
    bounds.yhi = std::max(bounds.yhi, box.yhi);
  }
  return bounds;
}

// The tiles that the net's segments touch in a visited set over `bounds`, counted for each.
uint64_t netVisitTiles(const ExposureEngine& engine, const Net& net, const BinBox& bounds) {
  uint64_t tiles = 0;
  for (int32_t id : net.segmentIds)
    tiles += BinVisitSet::tilesTouched(bounds, engine.segments[id].binBox);
  return tiles;
}

// Readies `visited` for a walk over the net's segment bins.
void resetForNet(const ExposureEngine& engine, const Net& net, BinVisitSet& visited) {
  const BinBox bounds = netBinBounds(engine, net);
  visited.reset(bounds, netVisitTiles(engine, net, bounds));
}

// Calls visit(x, y, layer) for every bin of the net's segments: by segment in net order, then
// by ascending x, then by ascending y. A bin that several segments cover is visited for each.
template <typename Visit>
void forEachSegmentBin(const ExposureEngine& engine, const Net& net, const Visit& visit) {
  for (int32_t id : net.segmentIds) {
    const BinBox& box = engine.segments[id].binBox;
    if (!coversBins(box)) continue;
    for (int32_t x = box.xlo; x < box.xhi; ++x)
      for (int32_t y = box.ylo; y < box.yhi; ++y) visit(x, y, box.layer);
  }
}

// The area of the union of the net's segment bins, each bin counted once.
void netTotalAreaBody(ExposureEngine& engine, int32_t i, BinVisitSet& visited) {
  const Net& net = assetNet(engine, i);
  resetForNet(engine, net, visited);
  double area = 0.0;
  forEachSegmentBin(engine, net, [&](int32_t x, int32_t y, int32_t) {
    if (!visited.testAndSet(x, y))
      area += binBoxArea(BinBox{x, x + 1, y, y + 1, 0}, engine.xEdges, engine.yEdges);
  });
  engine.netTotalArea[i] = area;
}

// What one thread of the exposed-bin loop reuses from net to net: the bins seen and the
// exposed bins of the current net, gathered before they are copied to a list of exact size.
struct ExposedBinScratch {
  BinVisitSet visited;
  std::vector<BinBox> exposed;
};

// Gives the sink each bin of the net that some segment of it sees uncovered from above, once,
// for the first such segment: kept, the bins go to the net's list, else their area is summed.
void netExposedBinsBody(ExposureEngine& engine, const TopLayerGrid& grid, int32_t i,
                        ExposedBinScratch& scratch) {
  const Net& net = assetNet(engine, i);
  resetForNet(engine, net, scratch.visited);
  scratch.exposed.clear();
  ExposedBinSink sink(engine, &scratch.exposed);
  forEachSegmentBin(engine, net, [&](int32_t x, int32_t y, int32_t layer) {
    if (grid.at(x, y) > layer || scratch.visited.testAndSet(x, y)) return;
    sink.add(x, y);
  });
  if (engine.keepExposedBins)
    engine.netExposedBins[i].assign(scratch.exposed.begin(), scratch.exposed.end());
  engine.netExposedArea[i] = sink.area();
}

// The exposed area (summed from the net's list when the lists are kept, else already by the
// walk), and the ratio to the net's total area.
void netAreaBody(ExposureEngine& engine, int32_t i) {
  if (engine.keepExposedBins)
    engine.netExposedArea[i] =
        binBoxesArea(engine.netExposedBins[i], engine.xEdges, engine.yEdges);
  engine.netExposedRatio[i] = engine.netExposedArea[i] / engine.netTotalArea[i];
}

// The sum of the `count` largest of `values`, which it reorders.
uint64_t largestSum(std::vector<uint64_t>& values, size_t count) {
  const auto end = values.begin() + std::min(values.size(), count);
  std::nth_element(values.begin(), end, values.end(), std::greater<uint64_t>());
  return std::accumulate(values.begin(), end, uint64_t{0});
}

// At most what the visited sets of the threads take at once: each thread's set keeps the
// largest directory and the largest room for tiles of the nets it has walked, so together no
// more than those of the `threads` largest nets.
uint64_t visitSetsBytes(const ExposureEngine& engine, int32_t threads) {
  const int32_t n = static_cast<int32_t>(engine.assetNetIds.size());
  std::vector<uint64_t> directories(engine.assetNetIds.size()), tiles(directories.size());
  parallelFor(n, [&](int32_t i) {
    const Net& net = assetNet(engine, i);
    const BinBox bounds = netBinBounds(engine, net);
    directories[i] = BinVisitSet::directoryBytes(bounds);
    tiles[i] = BinVisitSet::tileBytes(bounds, netVisitTiles(engine, net, bounds));
  });
  return largestSum(directories, threads) + largestSum(tiles, threads);
}

// Checks, before any of it is taken, the memory of the per-net results and of the threads'
// visited sets.
void requireNetMemory(const ExposureEngine& engine) {
  const uint64_t nets = engine.assetNetIds.size();
  const uint64_t netBytes = 3 * sizeof(double) + 2 * sizeof(uint64_t) +
                            (engine.keepExposedBins ? sizeof(std::vector<BinBox>) : 0);
  utils::requireMemory(kExposureMemory, nets * netBytes, engine.memoryProbe);
  utils::requireMemory(kExposureMemory, visitSetsBytes(engine, omp_get_max_threads()),
                       engine.memoryProbe);
}

// Ends the run naming the first asset net, in asset-net order, whose total area is too small.
void failOnZeroAreaNet(const ExposureEngine& engine) {
  for (size_t i = 0; i < engine.netTotalArea.size(); ++i)
    if (engine.netTotalArea[i] < kMinNetArea)
      utils::fatalError("Found net asset with zero exposable area: " +
                        assetNet(engine, static_cast<int32_t>(i)).name);
}

}  // namespace

void ExposureEngine::calcExposure() {
  if (!discretized)
    utils::fatalError("Please call discretize first before exposed area calculation");
  utils::logInfo(std::cout) << "==============Start exposed region calculation..." << std::endl;
  const TopLayerGrid grid = topLayerGrid(!cells.empty() || !assetNetIds.empty());
  cellExposure(&grid);
  netExposure(&grid);
}

void ExposureEngine::calcNetExposure() { netExposure(nullptr); }

void ExposureEngine::netExposure(const TopLayerGrid* grid) {
  utils::logInfo(std::cout) << "==============Calculating Net Asset Exposed Area..." << std::endl;
  const int32_t n = static_cast<int32_t>(assetNetIds.size());
  requireNetMemory(*this);
  netTotalArea.assign(assetNetIds.size(), 0.0);
  netExposedArea.assign(assetNetIds.size(), 0.0);
  netExposedRatio.assign(assetNetIds.size(), 0.0);
  netExposedBins = std::vector<std::vector<BinBox>>(keepExposedBins ? assetNetIds.size() : 0);

  parallelForWithScratch<BinVisitSet>(
      n, [&](int32_t i, BinVisitSet& visited) { netTotalAreaBody(*this, i, visited); });
  failOnZeroAreaNet(*this);
  std::optional<TopLayerGrid> ownGrid;
  if (grid == nullptr) grid = &ownGrid.emplace(topLayerGrid(n > 0));
  parallelForWithScratch<ExposedBinScratch>(n, [&](int32_t i, ExposedBinScratch& scratch) {
    netExposedBinsBody(*this, *grid, i, scratch);
  });
  parallelFor(n, [&](int32_t i) { netAreaBody(*this, i); });

  const ExposureTotals totals = sumExposure(netExposedArea, netExposedRatio);
  netTotalExposedArea = totals.exposedArea;
  netMaxRatio = totals.maxRatio;
  netMeanRatio = totals.meanRatio;
  utils::logInfo(std::cout) << "Finished Net Asset Exposed Area Calculation" << std::endl;
}
