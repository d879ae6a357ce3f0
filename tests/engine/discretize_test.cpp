#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"

namespace {

constexpr int32_t kLayers = 4;
const std::string kWarning = "Having object with zero width! Please check ";

// A layout built shape by shape, then discretized with its log captured.
class DiscretizeTest : public testing::Test {
 protected:
  DiscretizeTest() {
    config_.avail_layer = kLayers;
    testing::internal::CaptureStdout();
    engine_ = std::make_unique<ExposureEngine>(&config_);
    testing::internal::GetCapturedStdout();
  }

  Shape& addCell(const std::string& name, double xlo, double ylo, double xhi, double yhi) {
    Shape& cell = engine_->cells.emplace_back(name, static_cast<int32_t>(engine_->cells.size()));
    setCorners(cell, xlo, ylo, xhi, yhi);
    cell.layer = -1;
    return cell;
  }

  Shape& addSegment(const std::string& name, int32_t layer, double xlo, double ylo, double xhi,
                    double yhi) {
    const int32_t id = static_cast<int32_t>(engine_->segments.size());
    Shape& segment = engine_->segments.emplace_back(name, id, 0);
    setCorners(segment, xlo, ylo, xhi, yhi);
    segment.layer = layer;
    return segment;
  }

  // Runs discretize; returns its log without the timestamps.
  std::string discretize() {
    testing::internal::CaptureStdout();
    engine_->discretize();
    return std::regex_replace(testing::internal::GetCapturedStdout(),
                              std::regex(R"(\[ *[0-9.]+\] )"), "");
  }

  const ExposureEngine& engine() const { return *engine_; }

 private:
  static void setCorners(Shape& shape, double xlo, double ylo, double xhi, double yhi) {
    shape.xlo = xlo;
    shape.ylo = ylo;
    shape.xhi = xhi;
    shape.yhi = yhi;
  }

  RunConfig config_;
  std::unique_ptr<ExposureEngine> engine_;
};

std::string warningLine(const std::string& name) {
  return "\x1b[1;93mWarning\x1b[0m: " + kWarning + name + "\n";
}

std::string countLines(size_t xs, size_t ys) {
  return "Start discret mapping\nHandling X-coords\nAfter remove duplicates: " +
         std::to_string(xs) + " unique values\nHandling Y-coords\nAfter remove duplicates: " +
         std::to_string(ys) + " unique values\n";
}

void expectBinBox(const Shape& shape, int32_t xlo, int32_t xhi, int32_t ylo, int32_t yhi,
                  int32_t layer) {
  EXPECT_EQ(shape.binBox.xlo, xlo) << shape.name;
  EXPECT_EQ(shape.binBox.xhi, xhi) << shape.name;
  EXPECT_EQ(shape.binBox.ylo, ylo) << shape.name;
  EXPECT_EQ(shape.binBox.yhi, yhi) << shape.name;
  EXPECT_EQ(shape.binBox.layer, layer) << shape.name;
}

TEST_F(DiscretizeTest, SharedEdgesGiveOneEdge) {
  addCell("left", 0, 0, 2, 1);
  addSegment("right", 2, 2, 0, 5, 1);
  EXPECT_EQ(discretize(), countLines(3, 2) + "Finish discretization\n");
  EXPECT_EQ(engine().xEdges, (std::vector<double>{0, 2, 5}));
  EXPECT_EQ(engine().yEdges, (std::vector<double>{0, 1}));
  expectBinBox(engine().cells[0], 0, 1, 0, 1, 0);
  expectBinBox(engine().segments[0], 1, 2, 0, 1, 2);
  EXPECT_TRUE(engine().discretized);
}

TEST_F(DiscretizeTest, LastBitDifferencesAreDistinctEdges) {
  const double next = std::nextafter(1.0, 2.0);
  addCell("a", 0, 0, 1.0, 1);
  addCell("b", next, 0, 2, 1);
  discretize();
  EXPECT_EQ(engine().xEdges, (std::vector<double>{0, 1.0, next, 2}));
  expectBinBox(engine().cells[1], 2, 3, 0, 1, 0);
}

TEST_F(DiscretizeTest, PositiveAndNegativeZeroAreOneEdge) {
  addCell("a", -0.0, -1, 1, 0.0);
  addCell("b", 0.0, -0.0, 1, 1);
  discretize();
  ASSERT_EQ(engine().xEdges.size(), 2u);
  EXPECT_EQ(engine().xEdges[0], 0.0);
  EXPECT_EQ(engine().yEdges.size(), 3u);
  expectBinBox(engine().cells[0], 0, 1, 0, 1, 0);
  expectBinBox(engine().cells[1], 0, 1, 1, 2, 0);
}

TEST_F(DiscretizeTest, FlatShapesGetOneWarningEachCellsFirst) {
  addSegment("flatY", 0, 0, 3, 2, 3);
  addCell("flatX", 1, 0, 1, 2);
  addCell("point", 1, 1, 1, 1);
  addCell("fine", 0, 0, 2, 2);
  const std::string log = discretize();
  EXPECT_EQ(log, countLines(3, 4) + warningLine("flatX") + warningLine("point") +
                     warningLine("flatY") + "Finish discretization\n");
  expectBinBox(engine().cells[0], 1, 1, 0, 2, 0);
  expectBinBox(engine().segments[0], 0, 2, 3, 3, 0);
}

TEST_F(DiscretizeTest, ReversedShapeIsNotReorderedNorReported) {
  addCell("reversed", 4, 3, 1, 0);
  const std::string log = discretize();
  EXPECT_EQ(log.find(kWarning), std::string::npos);
  expectBinBox(engine().cells[0], 1, 0, 1, 0, 0);
}

TEST_F(DiscretizeTest, NoShapesStillSetsTheFlag) {
  EXPECT_EQ(discretize(), countLines(0, 0) + "Finish discretization\n");
  EXPECT_TRUE(engine().xEdges.empty());
  EXPECT_TRUE(engine().discretized);
}

TEST_F(DiscretizeTest, CellsAloneGiveTheEdges) {
  addCell("a", 0, 10, 5, 20);
  addCell("b", 5, 15, 7, 30);
  discretize();
  EXPECT_EQ(engine().xEdges, (std::vector<double>{0, 5, 7}));
  EXPECT_EQ(engine().yEdges, (std::vector<double>{10, 15, 20, 30}));
  expectBinBox(engine().cells[1], 1, 2, 1, 3, 0);
}

TEST_F(DiscretizeTest, SegmentKeepsItsLayerAndCellsLayerZero) {
  addCell("c", 0, 0, 1, 1);
  addSegment("s", 2, 0, 0, 1, 1);
  discretize();
  EXPECT_EQ(engine().cells[0].binBox.layer, 0);
  EXPECT_EQ(engine().segments[0].binBox.layer, 2);
}

// Random layouts on a coarse grid (so edges repeat): edges are strictly ascending and hold every
// coordinate, and every shape's binBox maps back to exactly its own corners.
TEST_F(DiscretizeTest, EveryBinBoxMapsBackToItsShape) {
  std::mt19937 random(4242);
  auto coord = [&random] { return static_cast<double>(static_cast<int>(random() % 40) - 20) / 4; };
  for (int i = 0; i < 300; ++i) {
    if (i % 3 == 0) addCell("c" + std::to_string(i), coord(), coord(), coord(), coord());
    else addSegment("s" + std::to_string(i), random() % kLayers, coord(), coord(), coord(), coord());
  }
  discretize();
  for (const std::vector<double>* edges : {&engine().xEdges, &engine().yEdges})
    for (size_t i = 1; i < edges->size(); ++i) ASSERT_LT((*edges)[i - 1], (*edges)[i]);
  for (const std::vector<Shape>* shapes : {&engine().cells, &engine().segments}) {
    for (const Shape& shape : *shapes) {
      const Box box = engine().binBoxToBox(shape.binBox);
      EXPECT_EQ(box.xlo, shape.xlo);
      EXPECT_EQ(box.xhi, shape.xhi);
      EXPECT_EQ(box.ylo, shape.ylo);
      EXPECT_EQ(box.yhi, shape.yhi);
      EXPECT_EQ(box.layer, shape.layer < 0 ? 0 : shape.layer);
    }
  }
}

TEST_F(DiscretizeTest, SecondCallRecomputesFromTheCurrentShapes) {
  addCell("a", 0, 0, 1, 1);
  discretize();
  addCell("b", 3, 3, 4, 4);
  discretize();
  EXPECT_EQ(engine().xEdges, (std::vector<double>{0, 1, 3, 4}));
  expectBinBox(engine().cells[1], 2, 3, 2, 3, 0);
}

TEST(CoordinateTest, CoordIndexIsTheLowerBound) {
  const std::vector<double> edges = {-1.5, 0, 2, 7};
  EXPECT_EQ(ExposureEngine::coordIndex(edges, -9), 0);
  EXPECT_EQ(ExposureEngine::coordIndex(edges, -1.5), 0);
  EXPECT_EQ(ExposureEngine::coordIndex(edges, 1), 2);
  EXPECT_EQ(ExposureEngine::coordIndex(edges, 7), 3);
  EXPECT_EQ(ExposureEngine::coordIndex(edges, 8), 4);
  EXPECT_EQ(ExposureEngine::coordIndex({}, 8), 0);
  EXPECT_EQ(ExposureEngine::coordAt(edges, 2), 2.0);
}

TEST(CoordinateTest, CoordIndexAgreesWithTheStandardLowerBoundAtEverySize) {
  std::mt19937 random(3);
  for (size_t size = 0; size < 70; ++size) {
    std::vector<double> edges;
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

TEST(CoordinateTest, SortUniqueKeepsDistinctValuesAscending) {
  std::vector<double> edges = {99};  // replaced, not appended to
  testing::internal::CaptureStdout();
  ExposureEngine::sortUnique(edges, {3, 1, 3, -0.0, 0.0, 1, 2});
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(edges, (std::vector<double>{0, 1, 2, 3}));
  EXPECT_NE(log.find("] After remove duplicates: 4 unique values\n"), std::string::npos);
}

TEST(CoordinateTest, ShrinkAndGrowMoveOnlyTheUpperBounds) {
  const BinBox box{2, 5, 3, 9, 4};
  const BinBox shrunk = ExposureEngine::shrinkBinBox(box);
  const BinBox grown = ExposureEngine::growBinBox(box);
  EXPECT_EQ(std::vector<int32_t>({shrunk.xlo, shrunk.xhi, shrunk.ylo, shrunk.yhi, shrunk.layer}),
            std::vector<int32_t>({2, 4, 3, 8, 4}));
  EXPECT_EQ(std::vector<int32_t>({grown.xlo, grown.xhi, grown.ylo, grown.yhi, grown.layer}),
            std::vector<int32_t>({2, 6, 3, 10, 4}));
}

}  // namespace
