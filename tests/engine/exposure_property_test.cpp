// Random layouts measured by the engine and by counting the unit squares of the integer lattice
// directly; and, on irregular points where the order of a sum shows in its last bits, measured on
// one, three and eight threads, with and without the exposed-bin lists.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/exposure_totals.h"
#include "tests/engine/exposure_fixture.h"

namespace {

constexpr int kLattice = 24;  // lattice coordinates 0..kLattice

// The bytes of `values`, so that NaN ratios compare too.
std::string bytesOf(const std::vector<double>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
}

// Every double the exposure step computes, as bytes, the six totals last.
std::string resultBytes(const ExposureEngine& e) {
  return bytesOf(e.cellExposedArea) + bytesOf(e.cellExposedRatio) + bytesOf(e.netTotalArea) +
         bytesOf(e.netExposedArea) + bytesOf(e.netExposedRatio) +
         bytesOf({e.cellTotalExposedArea, e.cellMaxRatio, e.cellMeanRatio, e.netTotalExposedArea,
                  e.netMaxRatio, e.netMeanRatio});
}

// Total, maximum (a NaN first stays) and mean of `ratios` as the reports define them, as bytes.
std::string totalsOf(const std::vector<double>& areas, const std::vector<double>& ratios) {
  double total = 0, max = ratios.empty() ? 0 : ratios[0], sum = 0;
  for (double area : areas) total += area;
  for (double ratio : ratios) {
    max = ratio > max ? ratio : max;
    sum += ratio;
  }
  return bytesOf({total, max, ratios.empty() ? 0 : sum / static_cast<double>(ratios.size())});
}

bool covers(const Shape& shape, int u, int v) {
  return shape.xlo <= u && u < shape.xhi && shape.ylo <= v && v < shape.yhi;
}

class ExposurePropertyTest : public ExposureFixture {
 protected:
  // Up to 6 cells, flat ones too, and up to 7 nets of 1 to 7 segments on random layers, every
  // other one an asset net whose last segment has an area; corners on points of `lattice`.
  void addRandomLayout(std::mt19937& random, const std::vector<double>& lattice) {
    std::uniform_int_distribution<int> coord(0, kLattice), layer(0, kLayers - 1), count(0, 6);
    auto add = [&](int32_t net, bool flatAllowed) {
      int x1, x2, y1, y2;
      do {
        x1 = coord(random), x2 = coord(random), y1 = coord(random), y2 = coord(random);
      } while (!flatAllowed && (x1 == x2 || y1 == y2));
      const double c[] = {lattice[std::min(x1, x2)], lattice[std::min(y1, y2)],
                          lattice[std::max(x1, x2)], lattice[std::max(y1, y2)]};
      if (net < 0)
        addCell("u", c[0], c[1], c[2], c[3]);
      else
        addSegment(net, layer(random), c[0], c[1], c[2], c[3]);
    };
    for (int c = count(random); c > 0; --c) add(-1, true);
    for (int n = count(random); n >= 0; --n) {
      const int32_t net = addNet("n" + std::to_string(n), n % 2 == 0);
      for (int s = 1 + count(random); s > 0; --s) add(net, s > 1);
    }
  }

  // Counts square by square what each cell and asset net should measure: a cell's square is
  // exposed under no metal, a net's under no metal above one of its own segments there.
  void expectResultsMatchSquareCount() const {
    const size_t nets = engine.assetNetIds.size();
    std::vector<double> cellExposed(engine.cells.size()), netTotal(nets), netExposed(nets);
    for (int u = 0; u < kLattice; ++u)
      for (int v = 0; v < kLattice; ++v) {
        int top = -1;
        for (const Shape& s : engine.segments)
          if (covers(s, u, v)) top = std::max(top, s.layer);
        for (size_t c = 0; c < engine.cells.size(); ++c)
          cellExposed[c] += top < 0 && covers(engine.cells[c], u, v);
        for (size_t i = 0; i < nets; ++i) {
          bool inNet = false, seen = false;
          for (int32_t id : engine.nets[engine.assetNetIds[i]].segmentIds) {
            const Shape& s = engine.segments[id];
            inNet = inNet || covers(s, u, v);
            seen = seen || (covers(s, u, v) && top <= s.layer);
          }
          netTotal[i] += inNet;
          netExposed[i] += seen;
        }
      }
    std::vector<double> cellRatio, netRatio, cellListed, netListed;
    for (size_t c = 0; c < engine.cells.size(); ++c) {
      const Shape& s = engine.cells[c];
      cellRatio.push_back(cellExposed[c] / ((s.xhi - s.xlo) * (s.yhi - s.ylo)));
      cellListed.push_back(binBoxesArea(engine.cellExposedBins[c], engine.xEdges, engine.yEdges));
    }
    for (size_t i = 0; i < nets; ++i) {
      netRatio.push_back(netExposed[i] / netTotal[i]);
      netListed.push_back(binBoxesArea(engine.netExposedBins[i], engine.xEdges, engine.yEdges));
    }
    EXPECT_EQ(resultBytes(engine), bytesOf(cellExposed) + bytesOf(cellRatio) + bytesOf(netTotal) +
                                       bytesOf(netExposed) + bytesOf(netRatio) +
                                       totalsOf(cellExposed, cellRatio) +
                                       totalsOf(netExposed, netRatio));
    EXPECT_EQ(cellListed, cellExposed);  // the listed bins make up the exposed area
    EXPECT_EQ(netListed, netExposed);
  }
};

TEST_F(ExposurePropertyTest, ResultsEqualUnitSquareCounts) {
  std::mt19937 random(20240611);
  std::vector<double> lattice;
  for (int c = 0; c <= kLattice; ++c) lattice.push_back(c);
  for (int layout = 0; layout < 30; ++layout) {
    SCOPED_TRACE(layout);
    clearLayout();
    addRandomLayout(random, lattice);
    calcExposure(3);
    expectResultsMatchSquareCount();
  }
}

// Lattice points at ascending random steps of no exact binary fraction.
TEST_F(ExposurePropertyTest, OneOrEightThreadsAndDroppedListsGiveBitIdenticalResults) {
  std::mt19937 random(31);
  std::uniform_real_distribution<double> step(0.01, 3.7);
  for (int layout = 0; layout < 30; ++layout) {
    SCOPED_TRACE(layout);
    clearLayout();
    std::vector<double> lattice = {0};
    for (int c = 1; c <= kLattice; ++c) lattice.push_back(lattice.back() + step(random));
    for (int part = 0; part < 4; ++part) addRandomLayout(random, lattice);
    engine.keepExposedBins = true;
    calcExposure(1);
    const auto cellBins = engine.cellExposedBins;
    const auto netBins = engine.netExposedBins;
    const std::string results = resultBytes(engine);
    calcExposure(8);
    EXPECT_EQ(engine.cellExposedBins, cellBins);
    EXPECT_EQ(engine.netExposedBins, netBins);
    EXPECT_EQ(resultBytes(engine), results);
    engine.keepExposedBins = false;
    calcExposure(3);
    EXPECT_EQ(resultBytes(engine), results);
    testing::internal::CaptureStdout();  // each step alone, on a grid of its own
    engine.calcCellExposure();
    engine.calcNetExposure();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(resultBytes(engine), results);
    // Lists that are not kept take no memory, not even an empty list per asset.
    EXPECT_EQ(engine.cellExposedBins.capacity(), 0u);
    EXPECT_EQ(engine.netExposedBins.capacity(), 0u);
  }
}

// Without an asset cell or an asset net nothing is measured and no grid is built, not even one
// of 2^42 bytes, which would end the run.
TEST_F(ExposurePropertyTest, NothingToMeasureBuildsNoGrid) {
  addCover(0, 0, 0, 4, 4);
  calcExposure(1);
  engine.xEdges.resize(size_t{1} << 21);
  engine.yEdges.resize(size_t{1} << 21);
  testing::internal::CaptureStdout();
  engine.calcExposure();
  engine.calcCellExposure();
  engine.calcNetExposure();
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Error"), std::string::npos);
}

}  // namespace
