// Inputs of the engine's micro-benchmarks: a generated design written once per process into a
// temporary folder (removed at exit), its lines held in memory, and the engine read from it with
// the log silenced. Single-threaded; call from the benchmark's main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/run_config.h"

namespace bench {

constexpr int kBenchLayers = 8;
constexpr int64_t kBenchSegments = 200000;  // the M size of the benchmark table

// The config of a run on the generated design of `segments` segments (seed 1), generating the
// design on first use. Ends the process when the files cannot be written.
const RunConfig& generatedDesign(int64_t segments = kBenchSegments);

// Every line of the file at `path`, without line feeds; empty when it cannot be read.
std::vector<std::string> fileLines(const std::string& path);

// Size of the file at `path` in bytes (0 when unknown).
int64_t fileBytes(const std::string& path);

// An engine that has read (and, when `discretize`, discretized) the design of `config`, its log
// lines thrown away. REQUIRES: `config` outlives the engine.
std::unique_ptr<ExposureEngine> loadedEngine(const RunConfig& config, bool discretize);

// Throws away everything written to std::cout while it lives.
class QuietLog {
 public:
  QuietLog();
  ~QuietLog();
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;

 private:
  std::streambuf* saved_;
};

}  // namespace bench
