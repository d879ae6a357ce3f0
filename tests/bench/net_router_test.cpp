#include "bench/net_router.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design_files.h"

namespace bench {
namespace {

// Layers of the examples: metal3 runs horizontally (pitch 400, minimum width 200), metal2
// vertically (pitch 200, minimum width 100).
constexpr int kHorizontal = 3;
constexpr int kVertical = 2;

class NetRouterTest : public ::testing::Test {
 protected:
  NetRouterTest()
      : out(dir.path() + "/c.txt", dir.path() + "/n.txt", 8, false), router(out, random) {
    out.beginNet("net", false);
  }
  // The written segments as {layer, x1, y1, x2, y2} in nm.
  std::vector<std::vector<int64_t>> segments() {
    EXPECT_TRUE(out.finish());
    std::vector<std::vector<int64_t>> result;
    for (const auto& f : readRecords(dir.path() + "/n.txt")) {
      result.push_back({std::stoll(f[7].substr(1)), nanometres(f[3]), nanometres(f[4]),
                        nanometres(f[5]), nanometres(f[6])});
    }
    return result;
  }
  ScratchDir dir;
  DesignRandom random{1};
  DesignWriter out;
  NetRouter router;
};

TEST_F(NetRouterTest, WireRunsAlongItsLayerAndOverhangsByHalfItsWidth) {
  router.wire(kHorizontal, Point{5100, 700}, Point{1100, 700}, 2);
  router.wire(kVertical, Point{300, 900}, Point{300, 100}, 4);
  router.wire(kHorizontal, Point{500, 500}, Point{500, 500}, 2);  // no length: not drawn
  const std::vector<std::vector<int64_t>> expected = {{3, 1000, 600, 5200, 800},
                                                      {2, 200, 0, 400, 1000}};
  EXPECT_EQ(segments(), expected);
}

TEST_F(NetRouterTest, EachViaIsASquareOnBothLayersItJoins) {
  router.viaStack(Point{1100, 2100}, 2, 4);
  const std::vector<std::vector<int64_t>> expected = {
      {2, 1050, 2050, 1150, 2150}, {3, 1050, 2050, 1150, 2150},   // metal2 minimum width
      {3, 1000, 2000, 1200, 2200}, {4, 1000, 2000, 1200, 2200}};  // metal3 minimum width
  EXPECT_EQ(segments(), expected);
}

TEST_F(NetRouterTest, PinShapeOnMetal1HoldsThePin) {
  router.pinStack(Point{700, 900}, 1);
  const auto shapes = segments();
  ASSERT_EQ(shapes.size(), 1u);
  const std::vector<int64_t>& s = shapes[0];
  EXPECT_TRUE(s[0] == 1 && s[1] < 700 && 700 < s[3] && s[2] < 900 && 900 < s[4]);
}

// Two pins and a trunk through the first: an L from pin to pin.
TEST_F(NetRouterTest, TwoPinCombIsAnL) {
  CombSpec spec{kHorizontal, kVertical, 2, 900};
  router.comb(spec, {Point{300, 900}, Point{2500, 4100}});
  const auto shapes = segments();
  // per pin: pin shape, metal1-2 via (2 squares), branch (none for the first), metal2-3 via (2)
  ASSERT_EQ(shapes.size(), 5u + 6u + 1u);
  EXPECT_EQ(shapes[8], (std::vector<int64_t>{2, 2450, 850, 2550, 4150}));   // branch
  EXPECT_EQ(shapes[11], (std::vector<int64_t>{3, 200, 800, 2600, 1000}));   // trunk
}

TEST_F(NetRouterTest, VerticalTrunkSpansEveryPin) {
  CombSpec spec{kVertical, kHorizontal, 2, 1100};
  router.comb(spec, {Point{300, 2100}, Point{3100, 500}, Point{1900, 8900}});
  const auto shapes = segments();
  EXPECT_EQ(shapes.back(), (std::vector<int64_t>{2, 1050, 450, 1150, 8950}));
}

}  // namespace
}  // namespace bench
