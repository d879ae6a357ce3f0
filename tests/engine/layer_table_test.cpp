#include <gtest/gtest.h>

#include <cmath>

#include "engine/exposure_engine.h"

namespace {

RunConfig configWithLayers(int32_t layers) {
  RunConfig config;
  config.avail_layer = layers;
  return config;
}

TEST(LayerTableTest, OneLayerIsBothLowestAndHighest) {
  const RunConfig config = configWithLayers(1);
  testing::internal::CaptureStdout();
  ExposureEngine engine(&config);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_EQ(engine.layerNames, std::vector<std::string>{"metal1"});
  EXPECT_EQ(engine.layerIndex.at("metal1"), 0);
  EXPECT_NE(log.find("] Number of Available Metal Layers: 1\n"), std::string::npos);
  EXPECT_NE(log.find("] Lowest: metal1\n"), std::string::npos);
  EXPECT_NE(log.find("] Highest: metal1\n"), std::string::npos);
}

TEST(LayerTableTest, TwelveLayersInIndexOrder) {
  const RunConfig config = configWithLayers(12);
  testing::internal::CaptureStdout();
  ExposureEngine engine(&config);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_EQ(engine.layerNames.size(), 12u);
  EXPECT_EQ(engine.layerNames[9], "metal10");
  EXPECT_EQ(engine.layerIndex.at("metal10"), 9);
  EXPECT_EQ(engine.layerIndex.at("metal12"), 11);
  EXPECT_EQ(engine.layerIndex.size(), 12u);
  for (const char* absent : {"metal0", "Metal1", "metal01", "metal13"})
    EXPECT_EQ(engine.layerIndex.count(absent), 0u) << absent;
  EXPECT_NE(log.find("] Number of Available Metal Layers: 12\n"), std::string::npos);
  EXPECT_NE(log.find("] Highest: metal12\n"), std::string::npos);
}

TEST(LayerTableTest, NewEngineHoldsNoResults) {
  const RunConfig config = configWithLayers(3);
  testing::internal::CaptureStdout();
  ExposureEngine engine(&config);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(engine.discretized);
  EXPECT_EQ(engine.cellTotalExposedArea, 0.0);
  EXPECT_EQ(engine.netMeanRatio, 0.0);
  EXPECT_TRUE(engine.cells.empty());
  EXPECT_TRUE(engine.cellExposedBins.empty());
  EXPECT_TRUE(engine.netExposedRatio.empty());
}

TEST(RecordsTest, DefaultBoxesAreEmpty) {
  const BinBox bins;
  EXPECT_LE(bins.xhi, bins.xlo);
  EXPECT_LE(bins.yhi, bins.ylo);
  const Box box;
  EXPECT_GT(box.xlo, box.xhi);
  EXPECT_TRUE(std::isinf(box.ylo));
  EXPECT_EQ(box.layer, 0);
}

TEST(RecordsTest, CellsHaveNoNetAndSegmentsKeepTheirs) {
  const Shape cell("u1", 0);
  EXPECT_EQ(cell.netId, -1);
  EXPECT_EQ(cell.binBox.layer, 0);
  const Shape segment("s1", 3, 2);
  EXPECT_EQ(segment.netId, 2);
  EXPECT_EQ(segment.id, 3);
}

}  // namespace
