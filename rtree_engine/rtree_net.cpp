#include "rtree_engine/rtree_net.h"

#include <utility>

#include "rtree_engine/grid_split.h"

RtreeNet::RtreeNet(std::string name) : name(std::move(name)) {}

std::vector<NamedBox> RtreeNet::addShape(NamedBox shape, int32_t layer) {
  while (layerTrees.size() < static_cast<size_t>(layer)) layerTrees.emplace_back();
  NamedBoxTree& tree = layerTrees[layer - 1];
  std::vector<NamedBox> hits;
  appendHits(tree, shrunkBox(shape.first, eps), hits);
  std::vector<NamedBox> pieces;
  gridSplit(shape.first, hits, eps, EdgeTest::kStrict, tree,
            [&](const RtreeBox& subCell, const RtreeBox&) {
              NamedBox piece(subCell, shape.second);
              tree.insert(piece);
              pieces.push_back(std::move(piece));
            });
  return pieces;
}

void RtreeNet::calcProjectionArea() {
  for (size_t layer = 0; layer < layerTrees.size(); ++layer) {
    for (const NamedBox& piece : layerTrees[layer]) {
      std::vector<NamedBox> hits;
      for (size_t higher = layer + 1; higher < layerTrees.size(); ++higher)
        appendHits(layerTrees[higher], piece.first, hits);
      addUncoveredArea(piece.first, hits, eps, projectionArea);
    }
  }
}
