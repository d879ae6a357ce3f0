// RtreeExposureEngine::parseInputs: the net file and the cell asset file read as token streams
// of ten-token and seven-token records.
#include <iostream>
#include <unordered_map>
#include <utility>

#include "rtree_engine/record_reader.h"
#include "rtree_engine/rtree_engine.h"
#include "utils/log.h"

namespace {

constexpr size_t kNetRecordTokens = 10;
constexpr size_t kCellRecordTokens = 7;

// Position in `nets` of the first net of each name.
using NetIndex = std::unordered_map<std::string, size_t>;

NetIndex indexNets(const std::vector<std::unique_ptr<RtreeNet>>& nets) {
  NetIndex index;
  for (size_t i = 0; i < nets.size(); ++i) index.emplace(nets[i]->name, i);
  return index;
}

// The pieces of an asset shape of the net `netName`, which enters `nets` at its first shape.
std::vector<NamedBox> addAssetShape(std::vector<std::unique_ptr<RtreeNet>>& nets, NetIndex& index,
                                    const std::string& netName, NamedBox shape, int32_t layer) {
  const auto found = index.find(netName);
  if (found != index.end()) return nets[found->second]->addShape(std::move(shape), layer);
  auto net = std::make_unique<RtreeNet>(netName);
  std::vector<NamedBox> pieces = net->addShape(std::move(shape), layer);
  index.emplace(netName, nets.size());
  nets.push_back(std::move(net));
  return pieces;
}

void growLayerTrees(RtreeExposureEngine& engine, int32_t layer) {
  while (engine.layerTrees.size() < static_cast<size_t>(layer)) {
    engine.layerTrees.push_back(std::make_unique<NamedBoxTree>());
    engine.assetLayerTrees.push_back(std::make_unique<NamedBoxTree>());
  }
}

// One net record: a plain shape goes whole into its layer's tree, an asset shape as the pieces
// its net did not yet cover, into both trees of its layer.
void addNetRecord(RtreeExposureEngine& engine, NetIndex& index, const RecordReader& record) {
  const int32_t layer = record.layer(8, engine.maxLayerNumber);
  NamedBox shape(record.box(4), record.token(2));
  const double flag = record.number(9);
  growLayerTrees(engine, layer);
  NamedBoxTree& tree = *engine.layerTrees[layer - 1];
  // A flag that truncates to 0 marks plain metal; infinities and NaN mark asset shapes.
  if (flag > -1.0 && flag < 1.0) {
    tree.insert(shape);
    return;
  }
  for (const NamedBox& piece :
       addAssetShape(engine.nets, index, record.token(3), std::move(shape), layer)) {
    engine.assetLayerTrees[layer - 1]->insert(piece);
    tree.insert(piece);
  }
}

std::unique_ptr<RtreeCell> readCell(const RecordReader& record) {
  auto cell = std::make_unique<RtreeCell>();
  cell->name = record.token(2);
  cell->box = record.box(3);
  cell->area = (maxX(cell->box) - minX(cell->box)) * (maxY(cell->box) - minY(cell->box));
  return cell;
}

}  // namespace

void RtreeExposureEngine::parseInputs() {
  utils::logInfo(std::cout) << "Parsing input files: cell: " << cellFile << "; net: " << netFile
                            << std::endl;
  RecordReader netRecords("Net file", netFile, kNetRecordTokens);
  RecordReader cellRecords("Cell asset file", cellFile, kCellRecordTokens);
  netRecords.requireOpen();
  cellRecords.requireOpen();
  NetIndex index = indexNets(nets);
  while (netRecords.next()) addNetRecord(*this, index, netRecords);
  utils::logInfo(std::cout) << "Calculating the projection area of net assets..." << std::endl;
  for (const auto& net : nets) net->calcProjectionArea();
  utils::logInfo(std::cout) << "Net file finished..." << std::endl;
  while (cellRecords.next()) cells.push_back(readCell(cellRecords));
  utils::logInfo(std::cout) << "Cell file finished..." << std::endl;
}
