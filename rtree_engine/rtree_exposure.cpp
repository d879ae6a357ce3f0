// RtreeExposureEngine's exposure step: each cell and each asset net piece is cut along the
// shapes that meet it, and its uncovered sub-cells are credited.
#include <iostream>

#include "rtree_engine/grid_split.h"
#include "rtree_engine/rtree_engine.h"
#include "utils/log.h"

void RtreeExposureEngine::calcExposure() {
  utils::logInfo(std::cout) << "Start exposed region calculation..." << std::endl;
  calcCellExposure();
  calcNetExposure();
}

void RtreeExposureEngine::calcCellExposure() {
  utils::logInfo(std::cout) << "Calculating cell exposed area..." << std::endl;
  for (const auto& cell : cells) {
    utils::logInfo(std::cout) << cell->name << ": " << cell->area << std::endl;
    std::vector<NamedBox> hits;
    for (const auto& tree : layerTrees) appendHits(*tree, cell->box, hits);
    addUncoveredArea(cell->box, hits, eps, cell->exposedArea);
  }
}

void RtreeExposureEngine::calcNetExposure() {
  for (const auto& net : nets) {
    utils::logInfo(std::cout) << net->name << ": " << net->projectionArea << std::endl;
    for (size_t layer = 0; layer < net->layerTrees.size(); ++layer) {
      for (const NamedBox& piece : net->layerTrees[layer]) {
        std::vector<NamedBox> hits;
        for (size_t higher = layer + 1; higher < layerTrees.size(); ++higher)
          appendHits(*layerTrees[higher], piece.first, hits);
        addUncoveredArea(piece.first, hits, eps, net->exposedArea);
      }
    }
  }
}
