#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/rtree_engine/test_files.h"

namespace {

constexpr double kEps = 1e-4;
constexpr double kTolerance = 1e-9;
const Rect kSquare = {0, 0, 10, 10};

// Reads a tiny design through the engine's reader, then runs the exposure step.
class RtreeExposureTest : public testing::Test {
 protected:
  // Returns the exposure step's log lines without their timestamp prefixes.
  std::vector<std::string> run(double eps = kEps) {
    design.write(netPath, cellPath);
    engine = std::make_unique<RtreeExposureEngine>(cellPath, netPath, eps);
    testing::internal::CaptureStdout();
    engine->parseInputs();
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    engine->calcExposure();
    return logLines(testing::internal::GetCapturedStdout());
  }
  double cellExposed(size_t i) const { return engine->cells.at(i)->exposedArea; }
  double netExposed(size_t i) const { return engine->nets.at(i)->exposedArea; }

  std::string netPath = scratchPath("nets.txt");
  std::string cellPath = scratchPath("cells.txt");
  DesignText design;
  std::unique_ptr<RtreeExposureEngine> engine;
};

TEST_F(RtreeExposureTest, WithoutCellsOrNetsOnlyTheHeadingsAreLogged) {
  EXPECT_EQ(run(), (std::vector<std::string>{"Start exposed region calculation...",
                                             "Calculating cell exposed area..."}));
}

TEST_F(RtreeExposureTest, LogShowsCellAreasAndProjectionAreasNotExposure) {
  design.addCell("c1", {0, 0, 2.5, 4});
  design.addAssetShape("n1", kSquare, 1);
  design.addAssetShape("n1", {5, 0, 15, 10}, 2);
  design.addAssetShape("n2", {0, 0, 1234567, 1}, 1);
  const std::vector<std::string> expected = {
      "Start exposed region calculation...", "Calculating cell exposed area...", "c1: 10",
      "n1: 150", "n2: 1.23457e+06"};
  EXPECT_EQ(run(), expected);
}

TEST_F(RtreeExposureTest, CellMetByNothingIsWhollyExposed) {
  design.addCell("c1", kSquare);
  design.addCell("c2", {20, 20, 21, 23});
  run();
  EXPECT_NEAR(cellExposed(0), 100, kTolerance);
  EXPECT_NEAR(cellExposed(1), 3, kTolerance);
  EXPECT_TRUE(engine->layerTrees.empty());
}

TEST_F(RtreeExposureTest, CellInsideAShapeOfTheLowestLayerIsHidden) {
  design.addCell("c1", kSquare);
  design.addPlainShape("n1", {-1, -1, 11, 11}, 1);
  run();
  EXPECT_EQ(cellExposed(0), 0.0);
}

TEST_F(RtreeExposureTest, ShapeSharingOnlyAnEdgeHidesNothing) {
  design.addCell("c1", kSquare);
  design.addPlainShape("n1", {10, -5, 20, 15}, 1);
  design.addPlainShape("n2", {-5, 10, 5, 20}, 2);
  run();
  EXPECT_NEAR(cellExposed(0), 100, kTolerance);
}

TEST_F(RtreeExposureTest, ShapeOverTheLeftHalfCreditsTheRightHalf) {
  design.addCell("c1", kSquare);
  design.addPlainShape("n1", {-5, -5, 5, 15}, 3);
  run();
  EXPECT_NEAR(cellExposed(0), 50, kTolerance);
}

TEST_F(RtreeExposureTest, ZeroToleranceLetsATouchingShapeHide) {
  design.addCell("c1", kSquare);
  design.addPlainShape("n1", {10, 0, 20, 10}, 1);
  run(0.0);
  EXPECT_EQ(cellExposed(0), 0.0);
}

TEST_F(RtreeExposureTest, PieceOnTheHighestLayerCountsWhole) {
  design.addPlainShape("other", {-5, -5, 15, 15}, 1);
  design.addAssetShape("n1", kSquare, 2);
  run();
  EXPECT_NEAR(netExposed(0), 100, kTolerance);
}

TEST_F(RtreeExposureTest, ShapesOfTheSameLayerDoNotHideAPiece) {
  design.addAssetShape("n1", kSquare, 2);
  design.addPlainShape("other", {-5, -5, 15, 15}, 2);
  design.addPlainShape("n1", {-5, -5, 15, 15}, 2);
  design.addPlainShape("below", {-5, -5, 15, 15}, 1);
  run();
  EXPECT_NEAR(netExposed(0), 100, kTolerance);
}

TEST_F(RtreeExposureTest, PieceUnderItsOwnNetsHigherPieceIsHidden) {
  design.addAssetShape("n1", {2, 2, 8, 8}, 1);
  design.addAssetShape("n1", kSquare, 3);
  run();
  EXPECT_NEAR(netExposed(0), 100, kTolerance);
}

TEST_F(RtreeExposureTest, PlainShapeOfAnotherNetAboveHidesAPiece) {
  design.addAssetShape("n1", kSquare, 1);
  design.addPlainShape("other", {-5, -5, 5, 15}, 2);
  run();
  EXPECT_NEAR(netExposed(0), 50, kTolerance);
}

TEST_F(RtreeExposureTest, NetOverTwoLayersExposesItsUnion) {
  design.addAssetShape("n1", kSquare, 1);
  design.addAssetShape("n1", {5, 0, 15, 10}, 2);
  run();
  EXPECT_NEAR(netExposed(0), 150, kTolerance);
  EXPECT_NEAR(netExposed(0), engine->nets[0]->projectionArea, kTolerance);
}

TEST_F(RtreeExposureTest, NarrowGapBetweenShapesStaysExposed) {
  // Gaps around the tolerance that single precision holds exactly: 2^-15 to 2^-11.
  const std::vector<double> gaps = {std::ldexp(1, -15), std::ldexp(1, -14), std::ldexp(1, -13),
                                    std::ldexp(1, -12), std::ldexp(1, -11)};
  for (size_t i = 0; i < gaps.size(); ++i) {
    const double row = 100.0 * static_cast<double>(i);
    design.addCell("c" + std::to_string(i), {-10, row, 10, row + 10});
    design.addPlainShape("left", {-11, row - 1, 0, row + 11}, 1);
    design.addPlainShape("right", {gaps[i], row - 1, 11, row + 11}, 2);
  }
  run();
  for (size_t i = 0; i < gaps.size(); ++i)
    EXPECT_NEAR(cellExposed(i), gaps[i] * 10, kTolerance) << "gap " << gaps[i];
}

TEST_F(RtreeExposureTest, ThinSubCellUnderAWideShapeIsHidden) {
  design.addAssetShape("n1", {0, 0, kEps / 2, 10}, 1);
  design.addPlainShape("cover", {-1, -1, 1, 11}, 2);
  design.addCell("thin", {0, 0, kEps / 2, 10});
  run();
  EXPECT_EQ(netExposed(0), 0.0);
  EXPECT_EQ(cellExposed(0), 0.0);
}

TEST_F(RtreeExposureTest, SecondRunAddsTheSameAmountsAgain) {
  design.addCell("c1", kSquare);
  design.addAssetShape("n1", {20, 0, 30, 10}, 1);
  run();
  testing::internal::CaptureStdout();
  engine->calcExposure();
  testing::internal::GetCapturedStdout();
  EXPECT_NEAR(cellExposed(0), 200, kTolerance);
  EXPECT_NEAR(netExposed(0), 200, kTolerance);
}

// Random designs on an integer grid, checked unit square by unit square.
class RtreeExposurePropertyTest : public RtreeExposureTest {
 protected:
  static constexpr int kGrid = 24;
  static constexpr int kLayers = 4;

  struct Shape {
    Rect rect;
    int layer;
  };

  Rect randomRect() {
    std::uniform_int_distribution<int> coord(0, kGrid);
    std::uniform_int_distribution<int> size(1, 8);
    const int x = coord(rng), y = coord(rng);
    return {double(x), double(y), double(std::min(kGrid, x + size(rng))),
            double(std::min(kGrid, y + size(rng)))};
  }
  static bool covers(const Rect& r, int x, int y) {
    return r[0] <= x && x + 1 <= r[2] && r[1] <= y && y + 1 <= r[3];
  }
  // Unit squares of `rects` over which no shape of a layer above `layer` lies.
  double exposedSquares(const std::vector<Rect>& rects, int layer) const {
    double area = 0;
    for (int x = 0; x < kGrid; ++x) {
      for (int y = 0; y < kGrid; ++y) {
        bool inside = false;
        bool hidden = false;
        for (const Rect& r : rects) inside = inside || covers(r, x, y);
        for (const Shape& s : shapes) hidden = hidden || (s.layer > layer && covers(s.rect, x, y));
        area += inside && !hidden ? 1 : 0;
      }
    }
    return area;
  }

  std::mt19937 rng{99};
  std::vector<Shape> shapes;
};

TEST_F(RtreeExposurePropertyTest, ExposedAreasMatchTheUnitSquaresLeftUncovered) {
  for (int round = 0; round < 25; ++round) {
    design = DesignText();
    shapes.clear();
    std::vector<Rect> cells;
    std::vector<std::vector<Shape>> netShapes(3);
    for (int i = 0; i < 5; ++i) {
      cells.push_back(randomRect());
      design.addCell("c" + std::to_string(i), cells.back());
    }
    for (int i = 0; i < 30; ++i) {
      const Shape shape{randomRect(), 1 + static_cast<int>(rng() % kLayers)};
      const size_t net = rng() % 4;  // net 3 is not an asset net
      shapes.push_back(shape);
      if (net < 3) {
        netShapes[net].push_back(shape);
        design.addAssetShape("n" + std::to_string(net), shape.rect, shape.layer);
      } else {
        design.addPlainShape("plain", shape.rect, shape.layer);
      }
    }
    run();
    for (size_t i = 0; i < cells.size(); ++i)
      ASSERT_NEAR(cellExposed(i), exposedSquares({cells[i]}, 0), kTolerance) << "round " << round;
    for (const auto& net : engine->nets) {
      const std::vector<Shape>& own = netShapes[std::stoul(net->name.substr(1))];
      double exposed = 0;
      for (int layer = 1; layer <= kLayers; ++layer) {
        std::vector<Rect> onLayer;
        for (const Shape& s : own)
          if (s.layer == layer) onLayer.push_back(s.rect);
        exposed += exposedSquares(onLayer, layer);
      }
      ASSERT_NEAR(net->exposedArea, exposed, kTolerance) << net->name << ", round " << round;
    }
  }
}

}  // namespace
