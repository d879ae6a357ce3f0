#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"

namespace {

TEST(LayerTableTest, LayersAreMetalOneToTheLastInIndexOrder) {
  for (int32_t layers : {1, 12}) {
    RunConfig config;
    config.avail_layer = layers;
    testing::internal::CaptureStdout();
    const ExposureEngine engine(&config);
    const std::string log = std::regex_replace(testing::internal::GetCapturedStdout(),
                                               std::regex(R"(\[ *[0-9.]+\] )"), "");
    const std::string last = "metal" + std::to_string(layers);
    EXPECT_EQ(log, "Number of Available Metal Layers: " + std::to_string(layers) +
                       "\nLowest: metal1\nHighest: " + last + "\n");
    ASSERT_EQ(engine.layerNames.size(), static_cast<size_t>(layers));
    EXPECT_EQ(engine.layerIndex.size(), static_cast<size_t>(layers));
    for (int32_t i = 0; i < layers; ++i) {
      EXPECT_EQ(engine.layerNames[i], "metal" + std::to_string(i + 1));
      EXPECT_EQ(engine.layerIndex.at(engine.layerNames[i]), i);
    }
    for (const std::string& absent : std::vector<std::string>{
             "metal0", "Metal1", "metal01", "metal", "", "metal" + std::to_string(layers + 1)})
      EXPECT_EQ(engine.layerIndex.count(absent), 0u) << absent;
  }
}

}  // namespace
