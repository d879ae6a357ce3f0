#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/engine/exposure_fixture.h"

namespace {

using Edges = std::vector<double>;

class DiscretizeTest : public ExposureFixture {
 protected:
  // Runs discretize; returns its log without the timestamps.
  std::string discretize() {
    testing::internal::CaptureStdout();
    engine.discretize();
    return std::regex_replace(testing::internal::GetCapturedStdout(),
                              std::regex(R"(\[ *[0-9.]+\] )"), "");
  }

  const BinBox& cellBins(int32_t cell) const { return engine.cells[cell].binBox; }
};

std::string warningLine(const std::string& name) {
  return "\x1b[1;93mWarning\x1b[0m: Having object with zero width! Please check " + name + "\n";
}

std::string countLines(size_t xs, size_t ys) {
  return "Start discret mapping\nHandling X-coords\nAfter remove duplicates: " +
         std::to_string(xs) +
         " unique values\nHandling Y-coords\nAfter remove duplicates: " + std::to_string(ys) +
         " unique values\n";
}

TEST_F(DiscretizeTest, LastBitDifferencesAreDistinctEdgesAndSignedZerosOne) {
  const double next = std::nextafter(1.0, 2.0);
  addCell("a", -0.0, -1, 1.0, 0.0);
  addCell("b", next, -0.0, 2, 1);
  addCell("c", 0.0, 0, 1, 1);
  discretize();
  EXPECT_EQ(engine.xEdges, (Edges{0, 1.0, next, 2}));
  EXPECT_EQ(engine.yEdges, (Edges{-1, 0, 1}));
  EXPECT_EQ(cellBins(0), (BinBox{0, 1, 0, 1, 0}));
  EXPECT_EQ(cellBins(1), (BinBox{2, 3, 1, 2, 0}));
  EXPECT_EQ(cellBins(2), (BinBox{0, 1, 1, 2, 0}));
}

// A reversed shape is neither reordered nor reported.
TEST_F(DiscretizeTest, FlatShapesGetOneWarningEachCellsFirst) {
  addCover(0, 0, 3, 2, 3);
  addCell("flatX", 1, 0, 1, 2);
  addCell("point", 1, 1, 1, 1);
  addCell("reversed", 2, 2, 0, 0);
  EXPECT_EQ(discretize(), countLines(3, 4) + warningLine("flatX") + warningLine("point") +
                              warningLine(engine.segments[0].name) + "Finish discretization\n");
  EXPECT_EQ(cellBins(0), (BinBox{1, 1, 0, 2, 0}));
  EXPECT_EQ(cellBins(2), (BinBox{2, 0, 2, 0, 0}));
  EXPECT_EQ(engine.segments[0].binBox, (BinBox{0, 2, 3, 3, 0}));
}

TEST_F(DiscretizeTest, NoShapesStillSetsTheFlag) {
  EXPECT_EQ(discretize(), countLines(0, 0) + "Finish discretization\n");
  EXPECT_TRUE(engine.xEdges.empty());
  EXPECT_TRUE(engine.discretized);
}

// Random layouts, their edges on a coarse grid (so that they repeat) or anywhere, on 1, 3 and 8
// threads: the edges are the distinct coordinates in ascending order, every binBox maps back to
// exactly its own corners, and neither the log nor a box depends on the thread count.
TEST_F(DiscretizeTest, EveryBinBoxMapsBackToItsShapeOnEveryThreadCount) {
  std::mt19937 random(4242);
  auto coord = [&random] {
    return random() % 2 ? static_cast<double>(static_cast<int>(random() % 40) - 20) / 4
                        : std::ldexp(static_cast<double>(random()), -20) - 2048;
  };
  std::set<double> xs, ys;
  for (int i = 0; i < 40000; ++i) {  // enough for several slices and a parallel mapping
    const double x1 = coord(), y1 = coord(), x2 = coord(), y2 = coord();
    if (i % 3 == 0)
      addCell("c" + std::to_string(i), x1, y1, x2, y2);
    else
      addCover(random() % kLayers, x1, y1, x2, y2);
    xs.insert({x1, x2});
    ys.insert({y1, y2});
  }
  const std::string log = discretize();
  for (int threads : {3, 8}) {
    const std::vector<Shape> before = engine.segments;
    omp_set_num_threads(threads);
    EXPECT_EQ(discretize(), log);
    for (size_t i = 0; i < before.size(); ++i) {
      const BinBox &a = before[i].binBox, &b = engine.segments[i].binBox;
      ASSERT_EQ((std::vector<int32_t>{a.xlo, a.xhi, a.ylo, a.yhi, a.layer}),
                (std::vector<int32_t>{b.xlo, b.xhi, b.ylo, b.yhi, b.layer}));
    }
  }
  omp_set_num_threads(1);
  EXPECT_EQ(engine.xEdges, Edges(xs.begin(), xs.end()));
  EXPECT_EQ(engine.yEdges, Edges(ys.begin(), ys.end()));
  for (const std::vector<Shape>* shapes : {&engine.cells, &engine.segments}) {
    for (const Shape& shape : *shapes) {
      const Box box = engine.binBoxToBox(shape.binBox);
      EXPECT_EQ((Edges{box.xlo, box.ylo, box.xhi, box.yhi}),
                (Edges{shape.xlo, shape.ylo, shape.xhi, shape.yhi}));
      EXPECT_EQ(box.layer, std::max(shape.layer, 0));
    }
  }
}

TEST(CoordinateTest, CoordIndexIsTheStandardLowerBoundAtEverySize) {
  std::mt19937 random(3);
  for (size_t size = 0; size < 70; ++size) {
    Edges edges;
    for (size_t i = 0; i < size; ++i) edges.push_back(static_cast<double>(random() % 200) / 4);
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    for (int query = -2; query <= 202; ++query) {  // every edge, between and beyond them
      const double coord = query / 4.0;
      const auto expected = std::lower_bound(edges.begin(), edges.end(), coord) - edges.begin();
      ASSERT_EQ(ExposureEngine::coordIndex(edges, coord), expected) << size << " " << coord;
    }
  }
}

// Lists of every mix of repeated and distinct values, signed zeros among them, so that slices
// are hashed, sorted in place or both, and merged in odd and even numbers: the edges are those
// of an ordered set, on every thread count.
TEST(SortUniqueTest, EdgesAreTheOrderedDistinctValuesWhateverTheRepetitionAndThreads) {
  std::mt19937 random(99);
  for (const size_t size : {size_t{0}, size_t{1}, size_t{40000}, size_t{150000}, size_t{400000}}) {
    for (const uint32_t spread : {4u, 70000u, 1u << 30}) {
      Edges coords(size);
      for (double& coord : coords) coord = static_cast<double>(random() % spread) / 8 - spread / 16;
      for (size_t i = 0; i < size; i += 997)  // zeros; of one sign only in a list sorted in place
        coords[i] = spread == 70000 || i % 2 ? -0.0 : 0.0;
      if (size > 1000) std::fill_n(coords.begin() + size / 2, size / 4, 7.25);  // a long run
      std::set<double> distinct(coords.begin(), coords.end());
      for (const int threads : {1, 3, 8}) {
        omp_set_num_threads(threads);
        Edges edges = {42};
        testing::internal::CaptureStdout();
        ExposureEngine::sortUnique(edges, coords);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(edges, Edges(distinct.begin(), distinct.end()))
            << size << " values of spread " << spread << " on " << threads << " threads";
        for (const double edge : edges) ASSERT_FALSE(edge == 0 && std::signbit(edge));
      }
    }
  }
  omp_set_num_threads(1);
}

// Bin indices are int32_t: an axis of more edges than that would wrap them negative.
TEST(CoordinateTest, EdgesBeyondTheBinIndicesAreRefused) {
  EXPECT_EQ(ExposureEngine::edgeCountError('x', 0), "");
  EXPECT_EQ(ExposureEngine::edgeCountError('x', 2147483647), "");
  EXPECT_EQ(ExposureEngine::edgeCountError('y', 2147483648),
            "Too many distinct y coordinates: 2147483648 (bin indices allow at most 2147483647)");
}

// The coordinates of one axis, two doubles a shape, and a flag a shape must fit in the memory
// left, named with what bounds it.
TEST(CoordinateTest, CoordinatesBeyondTheMemoryLeftAreRefused) {
  const utils::AvailableMemory group{1700, utils::MemoryBound::kControlGroup};
  EXPECT_EQ(ExposureEngine::discretizationMemoryError(100, group), "");
  EXPECT_EQ(ExposureEngine::discretizationMemoryError(101, group),
            "Cannot allocate memory for the discretization: 1717 bytes needed, 1700 available "
            "(memory limit of the control group)");
  EXPECT_EQ(ExposureEngine::discretizationMemoryError(101, {1716, utils::MemoryBound::kMachine}),
            "Cannot allocate memory for the discretization: 1717 bytes needed, 1716 available");
}

TEST(CoordinateTest, ShrinkAndGrowMoveOnlyTheUpperBounds) {
  EXPECT_EQ(ExposureEngine::shrinkBinBox(BinBox{2, 5, 3, 9, 4}), (BinBox{2, 4, 3, 8, 4}));
  EXPECT_EQ(ExposureEngine::growBinBox(BinBox{2, 5, 3, 9, 4}), (BinBox{2, 6, 3, 10, 4}));
}

}  // namespace
