#include "bench/design_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/die_plan.h"
#include "design_files.h"

namespace bench {
namespace {

constexpr int64_t kSmallDesign = 3000;  // segments

class DesignGeneratorTest : public ::testing::Test {
 protected:
  DesignCounts generate(const DesignOptions& options, const std::string& name) {
    DesignWriter out(cellPath(name), netPath(name), options.layers, false);
    EXPECT_TRUE(out.ok());
    generateDesign(options, out);
    EXPECT_TRUE(out.finish());
    return out.counts();
  }
  std::string cellPath(const std::string& name) const { return dir.path() + "/" + name + "_c"; }
  std::string netPath(const std::string& name) const { return dir.path() + "/" + name + "_n"; }
  static DesignOptions small() {
    DesignOptions options;
    options.targetSegments = kSmallDesign;
    return options;
  }
  ScratchDir dir;
};

bool isPower(const std::string& net) { return net == "VDD" || net == "VSS"; }

TEST_F(DesignGeneratorTest, SameOptionsGiveTheSameFilesAnotherSeedAnotherDesign) {
  DesignOptions other = small();
  other.seed = 2;
  const DesignCounts counts = generate(small(), "a");
  generate(small(), "b");
  generate(other, "c");
  EXPECT_EQ(readFile(netPath("a")), readFile(netPath("b")));
  EXPECT_EQ(readFile(cellPath("a")), readFile(cellPath("b")));
  EXPECT_NE(readFile(netPath("a")), readFile(netPath("c")));
  EXPECT_GE(counts.segments, kSmallDesign);  // the target reached, not overshot much
  EXPECT_LT(counts.segments, kSmallDesign * 11 / 10);
}

// What the program's reader needs: proper rectangles inside the die on the 5 nm grid, a known
// layer, and one flag for all lines of a net. The top two layers carry only power.
TEST_F(DesignGeneratorTest, EverySegmentIsAProperRectangleOnTheManufacturingGrid) {
  DesignOptions options = small();
  options.layers = 10;
  generate(options, "a");
  const int64_t die = DiePlan(baseDieSide(kSmallDesign), 1.0).dieSide();
  std::map<std::string, std::string> flagOfNet;
  for (const auto& f : readRecords(netPath("a"))) {
    ASSERT_EQ(f.size(), 10u);
    const int64_t x1 = nanometres(f[3]), y1 = nanometres(f[4]);
    const int64_t x2 = nanometres(f[5]), y2 = nanometres(f[6]);
    ASSERT_TRUE(x1 >= 0 && y1 >= 0 && x2 <= die && y2 <= die) << f[1];
    ASSERT_TRUE(x1 < x2 && y1 < y2) << f[1];
    for (int64_t v : {x1, y1, x2, y2}) ASSERT_EQ(v % 5, 0) << f[1];
    const int layer = std::stoi(f[7].substr(1));
    ASSERT_TRUE(layer >= 1 && layer <= 10) << f[7];
    ASSERT_EQ(f[7], "M" + std::to_string(layer) + ":metal" + std::to_string(layer));
    ASSERT_EQ(flagOfNet.emplace(f[2], f[8]).first->second, f[8]) << f[2];
    ASSERT_TRUE(layer <= 8 || isPower(f[2])) << f[1];
  }
}

TEST_F(DesignGeneratorTest, NetsRangeFromTwoPinsToClockTrees) {
  generate(small(), "a");
  std::map<std::string, int> segmentsOfNet;
  for (const auto& f : readRecords(netPath("a"))) ++segmentsOfNet[f[2]];
  int smallest = kSmallDesign;
  for (const auto& [name, count] : segmentsOfNet) {
    if (!isPower(name)) smallest = std::min(smallest, count);
  }
  EXPECT_LE(smallest, 15);
  EXPECT_GT(segmentsOfNet.at("clk0"), 200);
}

TEST_F(DesignGeneratorTest, AssetFractionsChooseCellsAndNets) {
  DesignOptions none = small();
  none.assetCellFraction = 0.0;
  none.assetNetFraction = 0.0;
  DesignOptions all = small();
  all.assetCellFraction = 1.0;
  all.assetNetFraction = 1.0;
  const DesignCounts noAssets = generate(none, "none");
  EXPECT_EQ(noAssets.cells, 0);
  EXPECT_EQ(noAssets.assetNets, 0);
  const DesignCounts counts = generate(all, "all");
  EXPECT_EQ(counts.assetNets, counts.nets - 2);  // every net but VDD and VSS
  EXPECT_GT(counts.cells, 100);
  for (const auto& f : readRecords(netPath("all"))) ASSERT_EQ(f[8], isPower(f[2]) ? "0" : "1");
}

TEST_F(DesignGeneratorTest, CellsSitInRowsWithoutOverlapping) {
  DesignOptions options = small();
  options.assetCellFraction = 1.0;
  generate(options, "a");
  std::map<int64_t, std::vector<std::pair<int64_t, int64_t>>> rows;
  for (const auto& f : readRecords(cellPath("a"))) {
    ASSERT_EQ(f.size(), 7u);
    const int64_t y1 = nanometres(f[3]);
    ASSERT_EQ((y1 - kDieMargin) % kRowHeight, 0);
    ASSERT_EQ(nanometres(f[5]) - y1, kRowHeight);
    rows[y1].push_back({nanometres(f[2]), nanometres(f[4])});
  }
  for (const auto& [y, cells] : rows) {
    for (size_t i = 1; i < cells.size(); ++i) ASSERT_LE(cells[i - 1].second, cells[i].first);
  }
}

// Each record of a design file reduced to what a larger die must not change: the name of its
// net (or cell), its layer and flag, and its size, except for the size of a clock tree's wires,
// which span the clock's domain and so grow with the die. Power, which fills the die, is left out.
std::vector<std::string> shapesOf(const std::string& path, bool cells) {
  std::vector<std::string> result;
  for (const auto& f : readRecords(path)) {
    const size_t x = cells ? 2 : 3;  // position of x1
    if (!cells && isPower(f[2])) continue;
    std::string shape = f[x - 1] + " " + (cells ? "" : f[7] + " " + f[8]);
    if (f[x - 1].rfind("clk", 0) != 0) {
      shape += " " + std::to_string(nanometres(f[x + 2]) - nanometres(f[x])) + " " +
               std::to_string(nanometres(f[x + 3]) - nanometres(f[x + 1]));
    }
    result.push_back(shape);
  }
  return result;
}

TEST_F(DesignGeneratorTest, LargerDieKeepsTheCellsAndNetsAndMovesThemApart) {
  DesignOptions scaled = small();
  scaled.dieScale = 2.0;
  generate(small(), "base");
  generate(scaled, "grown");
  EXPECT_EQ(shapesOf(netPath("base"), false), shapesOf(netPath("grown"), false));
  EXPECT_EQ(shapesOf(cellPath("base"), true), shapesOf(cellPath("grown"), true));
  EXPECT_NE(readFile(netPath("base")), readFile(netPath("grown")));
  EXPECT_NE(readFile(cellPath("base")), readFile(cellPath("grown")));
}

}  // namespace
}  // namespace bench
