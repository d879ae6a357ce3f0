#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <cmath>

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

struct ShapeSpec {
  const char* net;
  Rect rect;
  int layer;
  bool asset;
};
struct ExposureCase {
  const char* rule;
  std::vector<Rect> cells;
  std::vector<ShapeSpec> shapes;
  std::vector<double> cellExposed;
  std::vector<double> netExposed;  // of the asset nets, in order of their first asset shape
  double eps = kEps;
};

// Cells are covered by shapes of every layer, asset pieces only by shapes of strictly higher
// layers, whatever their net.
TEST_F(RtreeExposureTest, ExposedAreaIsWhatNoCoveringShapeHides) {
  const Rect cover = {-5, -5, 15, 15};
  const Rect thin = {0, 0, kEps / 2, 10};
  const std::vector<ExposureCase> cases = {
      {"cells met by nothing", {kSquare, {20, 20, 21, 23}}, {}, {100, 3}, {}},
      {"cell inside a lowest-layer shape", {kSquare}, {{"n1", {-1, -1, 11, 11}, 1, false}}, {0},
       {}},
      {"shapes sharing only an edge", {kSquare},
       {{"n1", {10, -5, 20, 15}, 1, false}, {"n2", {-5, 10, 5, 20}, 2, false}}, {100}, {}},
      {"shape over the left half", {kSquare}, {{"n1", {-5, -5, 5, 15}, 3, false}}, {50}, {}},
      {"zero tolerance lets a touching shape hide",
       {kSquare}, {{"n1", {10, 0, 20, 10}, 1, false}}, {0}, {}, 0.0},
      {"piece on the highest layer counts whole",
       {}, {{"other", cover, 1, false}, {"n1", kSquare, 2, true}}, {}, {100}},
      {"same-layer shapes do not hide a piece", {},
       {{"n1", kSquare, 2, true}, {"other", cover, 2, false}, {"n1", cover, 2, false},
        {"below", cover, 1, false}}, {}, {100}},
      {"piece under its own net's higher piece",
       {}, {{"n1", {2, 2, 8, 8}, 1, true}, {"n1", kSquare, 3, true}}, {}, {100}},
      {"plain shape of another net above",
       {}, {{"n1", kSquare, 1, true}, {"other", {-5, -5, 5, 15}, 2, false}}, {}, {50}},
      {"net over two layers exposes its union",
       {}, {{"n1", kSquare, 1, true}, {"n1", {5, 0, 15, 10}, 2, true}}, {}, {150}},
      {"thin sub-cells under a wide shape",
       {thin}, {{"n1", thin, 1, true}, {"cover", {-1, -1, 1, 11}, 2, false}}, {0}, {0}},
  };
  for (const ExposureCase& c : cases) {
    design = DesignText();
    for (size_t i = 0; i < c.cells.size(); ++i) design.addCell("c" + std::to_string(i), c.cells[i]);
    for (const ShapeSpec& s : c.shapes) {
      if (s.asset) design.addAssetShape(s.net, s.rect, s.layer);
      else design.addPlainShape(s.net, s.rect, s.layer);
    }
    run(c.eps);
    ASSERT_EQ(engine->cells.size(), c.cellExposed.size()) << c.rule;
    ASSERT_EQ(engine->nets.size(), c.netExposed.size()) << c.rule;
    for (size_t i = 0; i < c.cellExposed.size(); ++i)
      EXPECT_NEAR(cellExposed(i), c.cellExposed[i], kTolerance) << c.rule;
    for (size_t i = 0; i < c.netExposed.size(); ++i)
      EXPECT_NEAR(netExposed(i), c.netExposed[i], kTolerance) << c.rule;
  }
}

TEST_F(RtreeExposureTest, NarrowGapBetweenShapesStaysExposed) {
  // Gaps around the tolerance that single precision holds exactly: 2^-15 to 2^-11.
  for (int i = 0; i < 5; ++i) {
    const double row = 100.0 * i;
    design.addCell("c" + std::to_string(i), {-10, row, 10, row + 10});
    design.addPlainShape("left", {-11, row - 1, 0, row + 11}, 1);
    design.addPlainShape("right", {std::ldexp(1, i - 15), row - 1, 11, row + 11}, 2);
  }
  run();
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(cellExposed(i), std::ldexp(1, i - 15) * 10, kTolerance) << "gap 2^" << i - 15;
}

}  // namespace
