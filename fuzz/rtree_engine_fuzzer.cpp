// Fuzz target: the R-tree engine's reader and exposure step. The first file of the input is the
// cell asset file, the second the net file (the selector is not used). Bad input must end in an
// RtreeInputError; a design that reads must yield finite areas and, where its coordinates are
// small enough for the engine's tolerance to matter, no exposed area outside 0 to its whole.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "rtree_engine/rtree_engine.h"

namespace {

using fuzz::require;

// Beyond this magnitude a coordinate plus the tolerance rounds back to the coordinate, and the
// tolerance of a zero-width sub-cell is credited as area.
constexpr double kToleranceScale = 1e6;

// Every asset net keeps a tree per layer number up to its highest: a few nets on layer 999999
// would cost gigabytes, far beyond the fuzzer's memory limit, without exercising anything new.
constexpr int32_t kMaxLayerNumber = 10000;

double largestMagnitude(const RtreeBox& box, double largest) {
  return std::max({largest, std::fabs(minX(box)), std::fabs(minY(box)), std::fabs(maxX(box)),
                   std::fabs(maxY(box))});
}

double designScale(const RtreeExposureEngine& engine) {
  double largest = 0.0;
  for (const auto& cell : engine.cells) largest = largestMagnitude(cell->box, largest);
  for (const auto& tree : engine.layerTrees)
    for (const NamedBox& value : *tree) largest = largestMagnitude(value.first, largest);
  return largest;
}

// Exposed area is summed over cut sub-cells, so it may leave 0 to `whole` by rounding only.
void checkArea(double exposed, double whole, double scale) {
  require(std::isfinite(exposed) && std::isfinite(whole));
  if (scale >= kToleranceScale) return;
  const double rounding = 1e-9 * (1.0 + scale * scale);
  require(exposed >= -rounding && exposed <= whole + rounding);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInputBytes) return -1;
  const fuzz::SplitInput input = fuzz::splitInput(data, size);
  const fuzz::MemoryFile cellFile(input.first);
  const fuzz::MemoryFile netFile(input.second);
  RtreeExposureEngine engine(cellFile.path(), netFile.path());
  engine.maxLayerNumber = kMaxLayerNumber;
  try {
    engine.parseInputs();
  } catch (const RtreeInputError&) {
    return 0;
  }
  engine.calcExposure();
  const double scale = designScale(engine);
  for (const auto& cell : engine.cells) checkArea(cell->exposedArea, cell->area, scale);
  for (const auto& net : engine.nets) checkArea(net->exposedArea, net->projectionArea, scale);
  return 0;
}
