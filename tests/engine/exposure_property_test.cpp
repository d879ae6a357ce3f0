// Random layouts on a lattice, measured by the engine and by counting unit squares directly (on
// integer lattice points), on one thread and on eight, with the exposed-bin lists kept and not
// kept (on irregular points, where the order of a sum shows in its last bits).

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/exposure_fixture.h"

namespace {

constexpr int kLattice = 24;  // coordinates 0..kLattice
constexpr int kLayouts = 30;

// The bytes of `values`, so that NaN ratios compare too.
std::string bytesOf(const std::vector<double>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
}

// Every double the exposure step computes, as bytes.
std::string resultBytes(const ExposureEngine& e) {
  const double totals[] = {e.cellTotalExposedArea, e.cellMaxRatio, e.cellMeanRatio,
                           e.netTotalExposedArea,  e.netMaxRatio,  e.netMeanRatio};
  return bytesOf(e.cellExposedArea) + bytesOf(e.cellExposedRatio) + bytesOf(e.netTotalArea) +
         bytesOf(e.netExposedArea) + bytesOf(e.netExposedRatio) +
         bytesOf(std::vector<double>(std::begin(totals), std::end(totals)));
}

struct Rect {
  int xlo, ylo, xhi, yhi;
  bool contains(int u, int v) const { return xlo <= u && u < xhi && ylo <= v && v < yhi; }
};

class ExposurePropertyTest : public ExposureFixture {
 protected:
  ExposurePropertyTest() {
    for (int c = 0; c <= kLattice; ++c) lattice.push_back(c);
  }

  // Puts lattice coordinate c at an irregular position instead of at c: ascending random steps
  // of no exact binary fraction, so that areas summed in another order come out different.
  void useIrregularLattice(std::mt19937& random) {
    std::uniform_real_distribution<double> step(0.01, 3.7);
    for (int c = 1; c <= kLattice; ++c) lattice[c] = lattice[c - 1] + step(random);
  }

  void clearLayout() {
    engine.cells.clear();
    engine.segments.clear();
    engine.nets.clear();
    engine.assetNetIds.clear();
  }

  void addRandomLayout(std::mt19937& random) {
    std::uniform_int_distribution<int> coord(0, kLattice), layer(0, kLayers - 1), count(0, 6);
    // Flat rectangles only when `flatAllowed`; asset nets need an area.
    auto rect = [&](bool flatAllowed) {
      for (;;) {
        const int x1 = coord(random), x2 = coord(random), y1 = coord(random), y2 = coord(random);
        if (flatAllowed || (x1 != x2 && y1 != y2))
          return Rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
      }
    };
    for (int c = count(random); c > 0; --c) {
      const Rect r = rect(true);
      addCell("u" + std::to_string(c), lattice[r.xlo], lattice[r.ylo], lattice[r.xhi],
              lattice[r.yhi]);
    }
    for (int n = count(random); n >= 0; --n) {
      const int32_t net = n % 2 == 0 ? addAssetNet("a" + std::to_string(n))
                                     : addPlainNet("p" + std::to_string(n));
      for (int s = 1 + count(random); s > 0; --s) {
        const Rect r = rect(s > 1);
        addSegment(net, layer(random), lattice[r.xlo], lattice[r.ylo], lattice[r.xhi],
                   lattice[r.yhi]);
      }
    }
  }

  // Runs the exposure step with the lists kept, then not kept, and expects every result bit for
  // bit the same, the lists left sized but empty.
  void expectDroppedListsChangeNoResult() {
    engine.keepExposedBins = true;
    calcExposure(3);
    const std::string kept = resultBytes(engine);
    engine.keepExposedBins = false;
    calcExposure(3);
    EXPECT_EQ(resultBytes(engine), kept);
    ASSERT_EQ(engine.cellExposedBins.size(), engine.cells.size());
    ASSERT_EQ(engine.netExposedBins.size(), engine.assetNetIds.size());
    for (const auto& bins : engine.cellExposedBins) EXPECT_TRUE(bins.empty());
    for (const auto& bins : engine.netExposedBins) EXPECT_TRUE(bins.empty());
  }

  std::vector<double> lattice;  // layout coordinate of each lattice coordinate

  // Highest layer over unit square (u, v), -1 when none.
  int topLayer(int u, int v) const {
    int top = -1;
    for (const Shape& s : engine.segments)
      if (rectOf(s).contains(u, v)) top = std::max(top, s.layer);
    return top;
  }

  static Rect rectOf(const Shape& s) {
    return Rect{static_cast<int>(s.xlo), static_cast<int>(s.ylo), static_cast<int>(s.xhi),
                static_cast<int>(s.yhi)};
  }

  void expectCellsMatchSquareCount() const {
    for (size_t c = 0; c < engine.cells.size(); ++c) {
      const Rect cell = rectOf(engine.cells[c]);
      double exposed = 0;
      for (int u = cell.xlo; u < cell.xhi; ++u)
        for (int v = cell.ylo; v < cell.yhi; ++v) exposed += topLayer(u, v) < 0 ? 1 : 0;
      EXPECT_EQ(engine.cellExposedArea[c], exposed) << "cell " << c;
    }
  }

  void expectNetsMatchSquareCount() const {
    for (size_t i = 0; i < engine.assetNetIds.size(); ++i) {
      double total = 0, exposed = 0;
      for (int u = 0; u < kLattice; ++u)
        for (int v = 0; v < kLattice; ++v) {
          bool inNet = false, seen = false;
          for (int32_t id : engine.nets[engine.assetNetIds[i]].segmentIds) {
            const Shape& s = engine.segments[id];
            if (!rectOf(s).contains(u, v)) continue;
            inNet = true;
            seen = seen || topLayer(u, v) <= s.layer;
          }
          total += inNet ? 1 : 0;
          exposed += seen ? 1 : 0;
        }
      EXPECT_EQ(engine.netTotalArea[i], total) << "net " << i;
      EXPECT_EQ(engine.netExposedArea[i], exposed) << "net " << i;
    }
  }
};

TEST_F(ExposurePropertyTest, AreasEqualUnitSquareCounts) {
  std::mt19937 random(20240611);
  for (int layout = 0; layout < kLayouts; ++layout) {
    SCOPED_TRACE(layout);
    clearLayout();
    addRandomLayout(random);
    calcExposure(3);
    expectCellsMatchSquareCount();
    expectNetsMatchSquareCount();
  }
}

TEST_F(ExposurePropertyTest, OneAndEightThreadsGiveIdenticalResults) {
  std::mt19937 random(7);
  useIrregularLattice(random);
  for (int layout = 0; layout < 8; ++layout) addRandomLayout(random);
  calcExposure(1);
  const auto cellBins = engine.cellExposedBins;
  const auto netBins = engine.netExposedBins;
  const std::string results = resultBytes(engine);
  calcExposure(8);
  EXPECT_EQ(engine.cellExposedBins, cellBins);
  EXPECT_EQ(engine.netExposedBins, netBins);
  EXPECT_EQ(resultBytes(engine), results);
}

TEST_F(ExposurePropertyTest, AreasSummedWithoutKeptListsAreBitIdentical) {
  std::mt19937 random(31);
  for (int layout = 0; layout < kLayouts; ++layout) {
    SCOPED_TRACE(layout);
    clearLayout();
    useIrregularLattice(random);
    for (int part = 0; part < 4; ++part) addRandomLayout(random);
    expectDroppedListsChangeNoResult();
  }
}

}  // namespace
