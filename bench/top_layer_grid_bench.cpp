// Speed of building the top-layer grid of a generated design, by thread count (the argument).
// Figures are grid bytes (bins) per second.
#include <benchmark/benchmark.h>
#include <omp.h>

#include "bench/bench_inputs.h"
#include "engine/top_layer_grid.h"

namespace {

void BM_TopLayerGrid(benchmark::State& state) {
  const std::unique_ptr<ExposureEngine> engine =
      bench::loadedEngine(bench::generatedDesign(), true);
  const int32_t nx = binCount(engine->xEdges);
  const int32_t ny = binCount(engine->yEdges);
  const int savedThreads = omp_get_max_threads();
  omp_set_num_threads(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const TopLayerGrid grid(nx, ny, engine->segments);
    benchmark::DoNotOptimize(grid.at(nx / 2, ny / 2));
  }
  omp_set_num_threads(savedThreads);
  state.SetBytesProcessed(state.iterations() * int64_t{nx} * ny);
}
BENCHMARK(BM_TopLayerGrid)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
