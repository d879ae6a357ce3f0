#include "engine/exposure_engine.h"

#include <iostream>

#include "engine/top_layer_grid.h"
#include "utils/log.h"

ExposureEngine::ExposureEngine(const RunConfig* config) : config(config) { setupLayers(); }

void ExposureEngine::setupLayers() {
  for (int32_t i = 1; i <= config->avail_layer; ++i) {
    std::string name = "metal" + std::to_string(i);
    layerIndex[name] = i - 1;
    layerNames.push_back(std::move(name));
  }
  utils::logInfo(std::cout) << "Number of Available Metal Layers: " << config->avail_layer
                            << std::endl;
  if (layerNames.empty()) return;
  utils::logInfo(std::cout) << "Lowest: " << layerNames.front() << std::endl;
  utils::logInfo(std::cout) << "Highest: " << layerNames.back() << std::endl;
}

TopLayerGrid ExposureEngine::topLayerGrid(bool needed) const {
  return TopLayerGrid(needed ? binCount(xEdges) : 0, binCount(yEdges), segments);
}
