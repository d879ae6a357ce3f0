// The grid exposure engine: reads a design, cuts the plane into bins at every distinct edge,
// and measures how much of each asset cell and asset net no metal covers from above.
//
// One engine serves one run: the driver builds it on a RunConfig that outlives it and calls
// parseInputs, discretize, calcExposure and writeReports in this order on the main thread.
// The exposure step runs OpenMP loops internally; no operation may itself be called from a
// parallel loop. Bad input ends the process with an Error line and status 1; memory that
// cannot be had throws std::bad_alloc (utils::MemoryShortfallError, with the Error text, when
// a check found it short).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/records.h"
#include "engine/run_config.h"
#include "utils/file_system.h"
#include "utils/memory.h"

class TopLayerGrid;

class ExposureEngine {
 public:
  // Builds the layer table metal1 .. metal<avail_layer>. REQUIRES: 1 <= avail_layer <= 128
  // (layer indices are kept in signed bytes; the run driver refuses other values).
  explicit ExposureEngine(const RunConfig* config);
  ExposureEngine(const ExposureEngine&) = delete;
  ExposureEngine& operator=(const ExposureEngine&) = delete;

  // Reads the cell asset file and the net file named by the config, within memoryProbe.
  void parseInputs();

  // Builds the bin edges and the binBox of every cell and segment. More than kMaxEdges distinct
  // coordinates on an axis end the run with edgeCountError's line. Too little memory left for
  // an axis's coordinates (discretizationMemoryError's text), for sorting them or for its edges
  // throws utils::MemoryShortfallError.
  void discretize();
  // The Error text when the coordinates of `shapes` shapes (one axis at a time, 17 bytes a
  // shape) need more than `available`; empty when they fit.
  static std::string discretizationMemoryError(int64_t shapes,
                                               const utils::AvailableMemory& available);
  // Bin indices are 32-bit signed, so an axis holds at most this many edges.
  static constexpr size_t kMaxEdges = std::numeric_limits<int32_t>::max();
  // The Error text for `edges` distinct coordinates on axis `axis` ('x' or 'y'); empty when
  // they fit.
  static std::string edgeCountError(char axis, size_t edges);
  // Replaces `edges` with the ascending distinct values of `coords` (0.0 for zero), taking
  // slices of kSliceValues or more values on all threads and sorting them in the list itself.
  // Beyond the list it takes a hash set per slice, of at most 2 MB or 2 bytes per value of the
  // slice and only as large as `memoryProbe` says is left (none: the slices are sorted in
  // place), and the edges, which short of what is left throw utils::MemoryShortfallError.
  // REQUIRES: no value is NaN.
  static void sortUnique(std::vector<double>& edges, std::vector<double> coords,
                         const utils::MemoryProbe& memoryProbe = utils::MemoryProbe());
  static constexpr size_t kSliceValues = size_t{1} << 14;
  // Position of the first edge not less than `coord` (edges.size() when none).
  static int32_t coordIndex(const std::vector<double>& edges, double coord);
  // REQUIRES: 0 <= index < edges.size().
  static double coordAt(const std::vector<double>& edges, int32_t index);
  // The layout rectangle of `box`. REQUIRES: its indices lie inside the edge lists.
  Box binBoxToBox(const BinBox& box) const;
  static BinBox shrinkBinBox(const BinBox& box);
  static BinBox growBinBox(const BinBox& box);

  // Cell exposure, then asset net exposure, on one top-layer grid, built only when there is an
  // asset cell or an asset net to measure. The grid, its lists, the per-asset results and the
  // threads' visited sets are checked against memoryProbe before they are taken: short, they
  // throw utils::MemoryShortfallError (kept exposed bins are not counted).
  // REQUIRES: discretize has run (else fatal).
  void calcExposure();
  // Either step alone, on a top-layer grid of its own. REQUIRES: discretize has run.
  void calcCellExposure();
  void calcNetExposure();

  // Writes <bmName>_cells_ea.rpt and <bmName>_nets_ea.rpt; false when either could not be
  // written completely (an Error line names it). On a memory file system a report is first
  // checked against memoryProbe, with its size in whole pages; one that does not fit is not
  // written ("Cannot write report <path>: <bytes> bytes needed, ..."), and one that does may
  // not grow beyond fileRoomProbe while it is.
  bool writeReports(std::string bmName);

  // Joins the exposed bins of cells and nets into rectangular regions and logs a summary.
  // REQUIRES: keepExposedBins was true while calcExposure ran (else it finds no bin).
  void mergeExposure();

  const RunConfig* config;
  // What memory the steps may still take; asked before the text, the records and the lists
  // grow.
  utils::MemoryProbe memoryProbe = utils::memoryLeft;
  // Whether a report path lies on a memory file system, where the report takes memory too.
  utils::MemoryFileSystemProbe onMemoryFileSystem = utils::onMemoryFileSystem;
  // The memory a report may take there while it is written, its bound when it is written: all
  // that is left, as no allocation runs meanwhile that the margin of memoryProbe is kept for.
  utils::MemoryProbe fileRoomProbe = [] { return utils::availableMemory(); };
  std::vector<Shape> cells;
  std::vector<Shape> segments;
  std::vector<Net> nets;
  std::vector<int32_t> assetNetIds;
  std::unordered_map<std::string, int32_t> layerIndex;
  std::vector<std::string> layerNames;
  std::vector<std::vector<int32_t>> segmentsPerLayer;
  bool discretized = false;
  std::vector<double> xEdges;
  std::vector<double> yEdges;
  double cellTotalExposedArea = 0.0;
  double cellMaxRatio = 0.0;
  double cellMeanRatio = 0.0;
  double netTotalExposedArea = 0.0;
  double netMaxRatio = 0.0;
  double netMeanRatio = 0.0;
  std::vector<double> netTotalArea;                   // per asset net
  std::vector<double> cellExposedArea;                // per cell
  std::vector<double> netExposedArea;                 // per asset net
  std::vector<double> cellExposedRatio;               // per cell, a fraction
  std::vector<double> netExposedRatio;                // per asset net, a fraction
  // Whether calcExposure keeps every exposed bin for mergeExposure; a run does not merge and
  // sets it false, leaving the two lists below empty (the areas stay the same).
  bool keepExposedBins = true;
  std::vector<std::vector<BinBox>> cellExposedBins;   // per cell, one-bin boxes
  std::vector<std::vector<BinBox>> netExposedBins;    // per asset net, one-bin boxes
  std::vector<std::vector<uint8_t>> exposureMap;      // per bin column, per bin row
  std::vector<BinBox> mergedRegions;

 private:
  void setupLayers();
  // Throws utils::MemoryShortfallError when the coordinates of one axis do not fit.
  void requireCoordinateMemory() const;
  // The top-layer grid over the bins when `needed`, else an empty one that takes no memory.
  TopLayerGrid topLayerGrid(bool needed) const;
  // The exposure steps on `grid`, or on a grid of their own when it is null.
  void cellExposure(const TopLayerGrid* grid);
  void netExposure(const TopLayerGrid* grid);
};
