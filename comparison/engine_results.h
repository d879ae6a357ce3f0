// What each engine says about one design, in one shape for both: per cell and per asset net the
// exposed area, the area it is measured against and the exposed percentage.
#pragma once

#include <string>
#include <vector>

class ExposureEngine;
class RtreeExposureEngine;

// Areas in square layout units; percent = 100 * exposedArea / area as the engine computed it.
struct ItemResult {
  std::string name;
  double exposedArea = 0.0;
  double area = 0.0;  // a cell's rectangle; a net's footprint over all layers
  double percent = 0.0;
};

struct EngineResults {
  std::vector<ItemResult> cells;  // in file order
  std::vector<ItemResult> nets;   // the asset nets, in the engine's order
};

// REQUIRES: the grid engine's calcExposure has run. A net's area is its netTotalArea.
EngineResults gridEngineResults(const ExposureEngine& engine);
// REQUIRES: the R-tree engine's calcExposure has run. A net's area is its projectionArea.
EngineResults rtreeEngineResults(const RtreeExposureEngine& engine);
