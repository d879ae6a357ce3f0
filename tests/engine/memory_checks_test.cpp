// The memory checks of the steps after reading: each asks the engine's probe before its lists
// are taken and, short, throws the exact Error text; given just the bytes it names, the step
// runs as it does unchecked.
#include <gtest/gtest.h>
#include <omp.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/bin_visit_set.h"
#include "engine/top_layer_grid.h"
#include "tests/engine/exposure_fixture.h"
#include "utils/memory.h"

namespace {

// A control group that leaves `bytes`.
utils::MemoryProbe groupLeaving(uint64_t bytes) {
  return [bytes] { return utils::AvailableMemory{bytes, utils::MemoryBound::kControlGroup}; };
}

std::string shortfall(const std::string& what, uint64_t needed, uint64_t available) {
  return "Cannot allocate memory for " + what + ": " + std::to_string(needed) +
         " bytes needed, " + std::to_string(available) +
         " available (memory limit of the control group)";
}

// The Error text that `step` throws for memory it is short of; empty when it runs through.
std::string shortfallOf(const std::function<void()>& step) {
  testing::internal::CaptureStdout();
  std::string text;
  try {
    step();
  } catch (const utils::MemoryShortfallError& error) {
    text = error.what();
  }
  testing::internal::GetCapturedStdout();
  return text;
}

class MemoryCheckTest : public ExposureFixture {
 protected:
  MemoryCheckTest() {
    omp_set_num_threads(1);
    engine.keepExposedBins = false;  // as a run sets it
  }

  // `count` unit cells in a row, each with x edges of its own.
  void addCellRow(int count) {
    for (int i = 0; i < count; ++i) addCell("c" + std::to_string(i), i, 0, i + 1, 1);
  }

  // The results of the exposure step, unchecked.
  std::vector<double> uncheckedResults() {
    engine.memoryProbe = nullptr;
    calcExposure(1);
    return results();
  }
  std::vector<double> results() const {
    std::vector<double> all = engine.cellExposedArea;
    for (const auto* list : {&engine.cellExposedRatio, &engine.netTotalArea,
                             &engine.netExposedArea, &engine.netExposedRatio})
      all.insert(all.end(), list->begin(), list->end());
    return all;
  }
};

// 20000 shapes: 17 bytes each for one axis's coordinates and the flags.
TEST_F(MemoryCheckTest, DiscretizationNeedsTheCoordinatesOfAnAxis) {
  addCellRow(20000);
  engine.memoryProbe = groupLeaving(339999);
  EXPECT_EQ(shortfallOf([&] { engine.discretize(); }),
            shortfall("the discretization", 340000, 339999));
  EXPECT_FALSE(engine.discretized);
  engine.memoryProbe = groupLeaving(uint64_t{1} << 30);
  EXPECT_EQ(shortfallOf([&] { engine.discretize(); }), "");
  EXPECT_EQ(engine.xEdges.size(), 20001u);
}

// One slice on one thread: its hash set takes only what is left, none at all when too little
// is, and the edges must fit.
TEST_F(MemoryCheckTest, SortingTakesTheSetThatFitsAndNeedsTheEdges) {
  std::vector<double> coords;
  for (int i = 0; i < 300000; ++i) coords.push_back(i % 2 ? 300000 - i : i % 1000);
  std::vector<double> edges;
  const auto sortUnique = [&](uint64_t bytes) {
    return shortfallOf([&] { ExposureEngine::sortUnique(edges, coords, groupLeaving(bytes)); });
  };
  const std::set<double> distinct(coords.begin(), coords.end());
  const uint64_t edgeBytes = distinct.size() * sizeof(double);
  EXPECT_EQ(sortUnique(edgeBytes - 1), shortfall("the discretization", edgeBytes, edgeBytes - 1));
  EXPECT_TRUE(edges.empty());
  for (const uint64_t bytes : {edgeBytes, uint64_t{3} << 20, uint64_t{1} << 30}) {
    edges.clear();
    EXPECT_EQ(sortUnique(bytes), "");
    EXPECT_EQ(edges, std::vector<double>(distinct.begin(), distinct.end())) << bytes;
  }
}

// 70000 segments in one chunk of columns: 4 bytes each in its list, then the grid's 300000 bytes.
TEST_F(MemoryCheckTest, TheGridNeedsItsChunkListsThenItsBytes) {
  std::vector<Shape> segments(70000, Shape("s", 0, 0));
  for (Shape& segment : segments) segment.binBox = BinBox{0, 1, 0, 1, 0};
  const auto build = [&](const utils::MemoryProbe& probe) {
    return shortfallOf(
        [&] { TopLayerGrid(1, 300000, segments, TopLayerGrid::kStripeBytes, probe); });
  };
  EXPECT_EQ(build(groupLeaving(279999)),
            "Cannot allocate the segment lists of the top-layer grid of 1 x 300000 bins: 280000 "
            "bytes needed, 279999 available (memory limit of the control group)");
  std::vector<uint64_t> answers = {280000, 299999};  // the lists are taken, then the grid
  const utils::MemoryProbe shrinking = [&] {
    const uint64_t bytes = answers.front();
    answers.erase(answers.begin());
    return utils::AvailableMemory{bytes, utils::MemoryBound::kControlGroup};
  };
  EXPECT_EQ(build(shrinking),
            "Cannot allocate the top-layer grid of 1 x 300000 bins: 300000 bytes needed, 299999 "
            "available (memory limit of the control group)");
  EXPECT_EQ(build(groupLeaving(300000)), "");
}

// 20000 cells: an area and a ratio each, and a list of exposed bins only when they are kept.
TEST_F(MemoryCheckTest, CellExposureNeedsItsResultsAndKeptListsOnly) {
  addCellRow(20000);
  addCover(0, 0, 0, 5000, 1);
  const std::vector<double> expected = uncheckedResults();
  engine.memoryProbe = groupLeaving(319999);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }),
            shortfall("the exposure calculation", 320000, 319999));
  engine.keepExposedBins = true;
  engine.memoryProbe = groupLeaving(799999);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }),
            shortfall("the exposure calculation", 800000, 799999));
  engine.keepExposedBins = false;
  engine.memoryProbe = groupLeaving(320000);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }), "");
  EXPECT_EQ(results(), expected);
}

// 10000 asset nets: three results each and the bounds of its visited set.
TEST_F(MemoryCheckTest, NetExposureNeedsItsResults) {
  for (int i = 0; i < 10000; ++i)
    addSegment(addNet("n" + std::to_string(i), true), 0, i, 0, i + 1, 1);
  const std::vector<double> expected = uncheckedResults();
  engine.memoryProbe = groupLeaving(319999);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }),
            shortfall("the exposure calculation", 400000, 319999));
  engine.memoryProbe = groupLeaving(400000);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }), "");
  EXPECT_EQ(results(), expected);
}

// One asset net of 1024 unit squares on a diagonal of 2047 x 2047 bins: its visited set has a
// directory entry per tile of 64 x 64 bins (32 x 32) and room for a tile per square.
TEST_F(MemoryCheckTest, NetExposureNeedsTheVisitedSetsOfTheLargestNets) {
  const int32_t net = addNet("diagonal", true);
  for (int i = 0; i < 1024; ++i) addSegment(net, 0, 2 * i, 2 * i, 2 * i + 1, 2 * i + 1);
  const std::vector<double> expected = uncheckedResults();
  const uint64_t bound = 1024 * 4 + 1024 * 64 * 8;
  engine.memoryProbe = groupLeaving(bound - 1);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }),
            shortfall("the exposure calculation", bound, bound - 1));
  engine.memoryProbe = groupLeaving(bound);
  EXPECT_EQ(shortfallOf([&] { engine.calcExposure(); }), "");
  EXPECT_EQ(results(), expected);
}

// Random nets walked as the exposure step walks them, the set reused from net to net as a
// thread reuses it: the memory it holds never exceeds the largest directory and the largest
// room for tiles of the nets so far.
TEST(VisitSetBoundTest, NoWalkTakesMoreThanItsBound) {
  std::mt19937 random(7);
  BinVisitSet visited;
  uint64_t largestDirectory = 0, largestTiles = 0;
  for (int net = 0; net < 300; ++net) {
    std::uniform_int_distribution<int32_t> corner(-500, 500), side(1, net % 10 == 0 ? 400 : 40),
        parts(1, 12);
    std::vector<BinBox> boxes(parts(random));
    BinBox bounds;
    for (BinBox& box : boxes) {
      const int32_t x = corner(random), y = corner(random);
      box = BinBox{x, x + side(random), y, y + side(random), 0};
      bounds = BinBox{std::min(bounds.xlo, box.xlo), std::max(bounds.xhi, box.xhi),
                      std::min(bounds.ylo, box.ylo), std::max(bounds.yhi, box.yhi), 0};
    }
    uint64_t tiles = 0;
    for (const BinBox& box : boxes) tiles += BinVisitSet::tilesTouched(bounds, box);
    largestDirectory = std::max(largestDirectory, BinVisitSet::directoryBytes(bounds));
    largestTiles = std::max(largestTiles, BinVisitSet::tileBytes(bounds, tiles));
    visited.reset(bounds, tiles);
    std::set<std::pair<int32_t, int32_t>> touched;  // the tiles, counted independently
    for (const BinBox& box : boxes)
      for (int32_t x = box.xlo; x < box.xhi; ++x)
        for (int32_t y = box.ylo; y < box.yhi; ++y) {
          visited.testAndSet(x, y);
          touched.insert({(x - bounds.xlo) / 64, (y - bounds.ylo) / 64});
        }
    ASSERT_LE(touched.size(), tiles) << "net " << net;
    ASSERT_LE(visited.heldBytes(), largestDirectory + largestTiles) << "net " << net;
  }
}

}  // namespace
