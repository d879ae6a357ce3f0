// Both engines on seeded random designs that suit both: every coordinate a multiple of a
// power-of-two unit that single precision holds exactly, every rectangle at least one unit wide and
// high, every line of an asset net flagged 1. They must agree on every cell and asset net.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "comparison/engine_results.h"
#include "comparison/result_comparison.h"
#include "comparison/two_engine_run.h"
#include "tests/rtree_engine/test_files.h"

namespace {

constexpr double kTolerance = 1e-6;
constexpr int kSeeds = 10, kCells = 24;

// Coordinates are multiples of `unit` in 0 .. span * unit, layers M1:metal1 ..
// M<layers>:metal<layers>; every other net, the first included, is an asset net.
struct Family {
  double unit;
  int64_t span;
  int32_t layers, nets;
};

// The cells, and nets of 1 to 6 shapes (wires along x or y, every third a block), their lines
// shuffled together.
void writeDesign(const Family& f, uint64_t seed, const DesignInput& input) {
  std::mt19937_64 random(seed);
  auto draw = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(random);
  };
  auto place = [&](int64_t w, int64_t h) {
    const int64_t x = draw(0, f.span - w), y = draw(0, f.span - h);
    std::ostringstream text;
    text.precision(17);
    text << x * f.unit << ' ' << y * f.unit << ' ' << (x + w) * f.unit << ' ' << (y + h) * f.unit;
    return text.str();
  };
  auto block = [&] { return place(draw(1, f.span / 4), draw(1, f.span / 4)); };
  auto wire = [&] {
    const int64_t length = draw(1, f.span / 2), width = draw(1, f.span / 16);
    return draw(0, 1) == 0 ? place(length, width) : place(width, length);
  };
  std::ofstream cells(input.cellFile), nets(input.netFile);
  for (int32_t c = 0; c < kCells; ++c) cells << "cell u" << c << " " << block() << " N\n";
  std::vector<std::string> lines;
  for (int32_t n = 0; n < f.nets; ++n)
    for (int64_t s = draw(1, 6); s > 0; --s) {
      const std::string layer = std::to_string(draw(1, f.layers));
      lines.push_back("seg s" + std::to_string(lines.size()) + " n" + std::to_string(n) + " " +
                      (s % 3 == 2 ? block() : wire()) + " M" + layer + ":metal" + layer +
                      (n % 2 == 0 ? " 1" : " 0") + " x\n");
    }
  std::shuffle(lines.begin(), lines.end(), random);
  for (const std::string& line : lines) nets << line;
}

// Per family: fine lattice; large integer coordinates up to 2^23 on 12 layers; crowded (many shared
// edges and exact overlaps) on 3 layers. With 10 and 12 layers the R-tree engine's layer numbers
// (22, 1010, ...) differ from the grid engine's but keep their order. The designs must not be
// trivial: many items are partly exposed.
TEST(CrossCheckTest, EnginesAgreeOnSeededDesignsExactInSinglePrecision) {
  DesignInput input;
  input.cellFile = scratchPath("cells.txt");
  input.netFile = scratchPath("nets.txt");
  for (const Family& family :
       {Family{0.125, 256, 10, 40}, Family{1024, 8192, 12, 40}, Family{1, 32, 3, 60}}) {
    int partlyExposedCells = 0, partlyExposedNets = 0;
    for (uint64_t seed = 1; seed <= kSeeds; ++seed) {
      writeDesign(family, seed, input);
      input.availLayer = family.layers;
      testing::internal::CaptureStdout();
      TwoEngineRun run(input);
      run.measure();
      testing::internal::GetCapturedStdout();
      const EngineResults grid = gridEngineResults(run.grid);
      const Comparison comparison = compareResults(grid, rtreeEngineResults(run.rtree), kTolerance);
      std::ostringstream printed;
      printComparison(printed, comparison, kTolerance);
      EXPECT_TRUE(comparison.agrees()) << "seed " << seed << "\n" << printed.str();
      EXPECT_EQ(comparison.cellsCompared, static_cast<size_t>(kCells));
      EXPECT_EQ(comparison.netsCompared, static_cast<size_t>(family.nets + 1) / 2);
      for (const ItemResult& cell : grid.cells)
        partlyExposedCells += cell.exposedArea > 0 && cell.exposedArea < cell.area;
      for (const ItemResult& net : grid.nets)
        partlyExposedNets += net.exposedArea > 0 && net.exposedArea < net.area;
    }
    EXPECT_GT(partlyExposedCells, kSeeds) << "unit " << family.unit;
    EXPECT_GT(partlyExposedNets, kSeeds) << "unit " << family.unit;
  }
}

}  // namespace
