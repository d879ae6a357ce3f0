// One design measured by both engines: the grid engine (read, discretize, exposure) and the
// R-tree engine (read, exposure), each on its own reading of the same two files.
//
// Bad input ends the process through the grid engine (an Error line, status 1) or throws
// RtreeInputError from the R-tree engine. Call from the main thread; the grid engine's loops
// run on `threads` OpenMP threads.
#pragma once

#include <cstdint>
#include <string>

#include "engine/exposure_engine.h"
#include "engine/run_config.h"
#include "rtree_engine/rtree_engine.h"

struct DesignInput {
  std::string cellFile;
  std::string netFile;
  int32_t availLayer = RunConfig().avail_layer;   // metal layers of the grid engine
  double eps = RtreeExposureEngine::kDefaultEps;  // tolerance of the R-tree engine
  int32_t threads = 1;                            // threads of the grid engine's loops
};

class TwoEngineRun {
 public:
  // Builds both engines (the grid engine logs its layer table). REQUIRES: availLayer >= 1.
  explicit TwoEngineRun(const DesignInput& input);

  // Reads the design with each engine and computes its exposure, the grid engine first.
  void measure();

  RunConfig config;  // the grid engine's; declared before it, which points at it
  ExposureEngine grid;
  RtreeExposureEngine rtree;
};
