// The R-tree exposure engine: does the grid engine's job on exact rectangles held in one
// R-tree per metal layer. Single-threaded. Call parseInputs, calcExposure and writeReports in
// this order, once each; every operation adds to the engine's contents and clears nothing.
// The engine owns every record and tree its vectors point to.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rtree_engine/rtree_net.h"
#include "rtree_engine/rtree_types.h"

// A bad input file or a report file that cannot be written. The message names the file, the
// record (for input) and what is wrong.
class RtreeInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One cell asset: its box as read (each coordinate through single precision), the box's area
// and the part of it no metal covers, both in square layout units.
struct RtreeCell {
  std::string name;
  RtreeBox box;
  double area = 0.0;
  double exposedArea = 0.0;  // accumulated by calcCellExposure
};

class RtreeExposureEngine {
 public:
  static constexpr double kDefaultEps = 1e-4;
  static constexpr int32_t kMaxLayerNumber = 1000000;

  // `eps` is the tolerance by which the exposure step shrinks every sub-cell it tests.
  RtreeExposureEngine(std::string cellFile, std::string netFile, double eps = kDefaultEps);

  // Reads the net file, then the cell asset file, and computes every asset net's projection
  // area. Throws RtreeInputError for a file that cannot be opened or read and for a bad record;
  // the engine then holds what was read before it.
  void parseInputs();

  // The layer number made of every digit of `token`, in order ("M12:metal12" is 1212), read
  // through single precision and truncated. Throws std::invalid_argument when the token holds
  // no digit and std::out_of_range when the number does not fit 32 bits.
  static int32_t layerNumber(std::string token);

  // Logs a heading, then runs calcCellExposure and calcNetExposure.
  void calcExposure();
  // Adds to each cell's exposedArea the part of its box no shape of any layer covers.
  void calcCellExposure();
  // Adds to each asset net's exposedArea the part of its pieces no shape of a strictly higher
  // layer covers.
  void calcNetExposure();

  // Writes my_cell_ea_<bmName>.rpt and my_net_ea_<bmName>.rpt in the working directory,
  // replacing earlier files. Throws RtreeInputError when either cannot be created or written.
  void writeReports(const std::string& bmName) const;

  std::string cellFile;
  std::string netFile;
  std::vector<std::unique_ptr<RtreeNet>> nets;  // in the order of each net's first asset shape
  // One tree per layer, index = layer number - 1: plain shapes whole, asset shapes as pieces.
  std::vector<std::unique_ptr<NamedBoxTree>> layerTrees;
  // Indexed like layerTrees, always as long: the asset pieces only. Read by no operation.
  std::vector<std::unique_ptr<NamedBoxTree>> assetLayerTrees;
  std::vector<std::unique_ptr<RtreeCell>> cells;  // in file order
  double eps;
  // The highest layer number the reader accepts; every asset net keeps one tree per number up to
  // its highest, so a lower bound keeps a fuzzer's or a test's memory small.
  int32_t maxLayerNumber = kMaxLayerNumber;
};
