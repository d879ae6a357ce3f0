#include "comparison/two_engine_run.h"

#include <omp.h>

namespace {

RunConfig gridConfig(const DesignInput& input) {
  RunConfig config;
  config.cell_file = input.cellFile;
  config.net_file = input.netFile;
  config.avail_layer = input.availLayer;
  config.threads = input.threads;
  return config;
}

}  // namespace

TwoEngineRun::TwoEngineRun(const DesignInput& input)
    : config(gridConfig(input)),
      grid(&config),
      rtree(input.cellFile, input.netFile, input.eps) {}

void TwoEngineRun::measure() {
  omp_set_num_threads(config.threads < 1 ? 1 : config.threads);
  grid.parseInputs();
  grid.discretize();
  grid.calcExposure();
  rtree.parseInputs();
  rtree.calcExposure();
}
