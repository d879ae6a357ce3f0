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

constexpr double kSafeNetArea = 2e-6;  // twice the exposure step's zero-area bound
constexpr double kRounding = 1e-9;     // relative error allowed in sums of bin areas

double area(const Shape& shape) { return (shape.xhi - shape.xlo) * (shape.yhi - shape.ylo); }

// Every asset net has a segment whose own area keeps the net clear of the zero-area bound.
bool assetNetsHaveArea(const ExposureEngine& engine) {
  for (int32_t id : engine.assetNetIds) {
    double largest = 0.0;
    for (int32_t segment : engine.nets[id].segmentIds)
      largest = std::max(largest, area(engine.segments[segment]));
    if (largest < kSafeNetArea) return false;
  }
  return true;
}

template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  return a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// What calcExposure leaves in the engine.
struct Results {
  std::vector<double> values;
  std::vector<std::vector<BinBox>> bins;
};

Results runExposure(ExposureEngine& engine, int threads) {
  omp_set_num_threads(threads);
  engine.calcExposure();
  Results results;
  results.values = engine.cellExposedArea;
  for (const std::vector<double>* list :
       {&engine.cellExposedRatio, &engine.netTotalArea, &engine.netExposedArea,
        &engine.netExposedRatio})
    results.values.insert(results.values.end(), list->begin(), list->end());
  results.values.insert(results.values.end(),
                        {engine.cellTotalExposedArea, engine.cellMaxRatio, engine.cellMeanRatio,
                         engine.netTotalExposedArea, engine.netMaxRatio, engine.netMeanRatio});
  results.bins = engine.cellExposedBins;
  results.bins.insert(results.bins.end(), engine.netExposedBins.begin(),
                      engine.netExposedBins.end());
  return results;
}

void requireSame(const Results& a, const Results& b) {
  require(sameBits(a.values, b.values));
  require(a.bins.size() == b.bins.size());
  for (size_t i = 0; i < a.bins.size(); ++i) require(sameBits(a.bins[i], b.bins[i]));
}

void checkAreas(const ExposureEngine& engine) {
  for (size_t i = 0; i < engine.cells.size(); ++i) {
    const double exposed = engine.cellExposedArea[i];
    require(exposed >= 0.0 && exposed <= area(engine.cells[i]) * (1 + kRounding));
  }
  for (size_t i = 0; i < engine.assetNetIds.size(); ++i) {
    double segmentsArea = 0.0;
    for (int32_t segment : engine.nets[engine.assetNetIds[i]].segmentIds)
      segmentsArea += area(engine.segments[segment]);
    const double total = engine.netTotalArea[i];
    require(total <= segmentsArea * (1 + kRounding));
    const double exposed = engine.netExposedArea[i];
    require(exposed >= 0.0 && exposed <= total * (1 + kRounding));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInputBytes) return -1;
  RunConfig config;
  std::unique_ptr<ExposureEngine> engine;
  if (!fuzz::readGridInput(fuzz::splitInput(data, size), config, engine).empty()) return 0;
  if (!assetNetsHaveArea(*engine)) return 0;
  engine->discretize();
  const Results oneThread = runExposure(*engine, 1);
  checkAreas(*engine);
  requireSame(oneThread, runExposure(*engine, 3));
  return 0;
}
