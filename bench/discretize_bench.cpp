// Speed of discretization on a generated design: the whole step (edges sorted, shapes mapped)
// and the mapping of coordinates to bin indices alone.
#include <benchmark/benchmark.h>

#include "bench/bench_inputs.h"

namespace {

void BM_Discretize(benchmark::State& state) {
  const std::unique_ptr<ExposureEngine> engine =
      bench::loadedEngine(bench::generatedDesign(), false);
  for (auto _ : state) {
    const bench::QuietLog quiet;
    engine->discretize();
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<int64_t>(engine->segments.size() + engine->cells.size()));
}
BENCHMARK(BM_Discretize)->Unit(benchmark::kMillisecond);

// ExposureEngine::coordIndex for the low and high x of every segment.
void BM_CoordIndex(benchmark::State& state) {
  const std::unique_ptr<ExposureEngine> engine =
      bench::loadedEngine(bench::generatedDesign(), true);
  for (auto _ : state) {
    for (const Shape& segment : engine->segments) {
      benchmark::DoNotOptimize(ExposureEngine::coordIndex(engine->xEdges, segment.xlo));
      benchmark::DoNotOptimize(ExposureEngine::coordIndex(engine->xEdges, segment.xhi));
    }
  }
  state.SetItemsProcessed(state.iterations() * 2 * static_cast<int64_t>(engine->segments.size()));
}
BENCHMARK(BM_CoordIndex)->Unit(benchmark::kMillisecond);

}  // namespace
