// Fuzz target: the grid engine's exposure step on the small designs of fuzz/grid_input.h.
// Designs with an asset net that may have zero area are passed over, since that check ends the
// process. Every exposed area must lie between 0 and its whole, and 1 and 3 threads must give
// the same results bit for bit.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/exposure_engine.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/grid_input.h"

namespace {

using fuzz::require;

constexpr double kSafeNetArea = 2e-6;   // twice the exposure step's zero-area bound
constexpr double kRounding = 1 + 1e-9;  // relative error allowed in sums of bin areas

double area(const Shape& shape) { return (shape.xhi - shape.xlo) * (shape.yhi - shape.ylo); }

template <typename T>
std::string bytesOf(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T)) + "|";
}

// Every double and every exposed bin that calcExposure leaves, as bytes.
std::string runExposure(ExposureEngine& e, int threads) {
  omp_set_num_threads(threads);
  e.calcExposure();
  std::string bytes =
      bytesOf(std::vector<double>{e.cellTotalExposedArea, e.cellMaxRatio, e.cellMeanRatio,
                                  e.netTotalExposedArea, e.netMaxRatio, e.netMeanRatio});
  for (const auto* list : {&e.cellExposedArea, &e.cellExposedRatio, &e.netTotalArea,
                           &e.netExposedArea, &e.netExposedRatio})
    bytes += bytesOf(*list);
  for (const auto* lists : {&e.cellExposedBins, &e.netExposedBins})
    for (const std::vector<BinBox>& bins : *lists) bytes += bytesOf(bins);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInputBytes) return -1;
  RunConfig config;
  std::unique_ptr<ExposureEngine> design;
  if (!fuzz::readGridInput(fuzz::splitInput(data, size), config, design).empty()) return 0;
  ExposureEngine& engine = *design;
  std::vector<double> segmentsArea;  // per asset net, the sum of its segments' areas
  for (int32_t id : engine.assetNetIds) {
    double sum = 0.0, largest = 0.0;
    for (int32_t segment : engine.nets[id].segmentIds) {
      sum += area(engine.segments[segment]);
      largest = std::max(largest, area(engine.segments[segment]));
    }
    if (largest < kSafeNetArea) return 0;
    segmentsArea.push_back(sum);
  }
  engine.discretize();
  const std::string oneThread = runExposure(engine, 1);
  for (size_t i = 0; i < engine.cells.size(); ++i)
    require(engine.cellExposedArea[i] >= 0 &&
            engine.cellExposedArea[i] <= area(engine.cells[i]) * kRounding);
  for (size_t i = 0; i < engine.assetNetIds.size(); ++i)
    require(engine.netTotalArea[i] <= segmentsArea[i] * kRounding &&
            engine.netExposedArea[i] >= 0 &&
            engine.netExposedArea[i] <= engine.netTotalArea[i] * kRounding);
  require(runExposure(engine, 3) == oneThread);
  return 0;
}
