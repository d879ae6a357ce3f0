// The grid engine's side of a fuzz input: the first file is the cell asset file, the second the
// net file; the selector's low four bits give avail_layer - 1, the next three chunks of
// 2^n bytes, and its high bit a record limit of 4.
#pragma once

#include <memory>
#include <string>

#include "engine/exposure_engine.h"
#include "engine/reader.h"
#include "fuzz/fuzz_input.h"

namespace fuzz {

// Builds `engine` on `config` (filled here; it must outlive the engine) and reads the input's
// files into it. Returns the reader's Error text ("" when the design was read).
inline std::string readGridInput(const SplitInput& input, RunConfig& config,
                                 std::unique_ptr<ExposureEngine>& engine) {
  const MemoryFile cellFile(input.first), netFile(input.second);
  config.cell_file = cellFile.path();
  config.net_file = netFile.path();
  config.avail_layer = 1 + (input.selector & 15);
  engine::ReadLimits limits;
  limits.chunkBytes = size_t{1} << ((input.selector >> 4) & 7);
  if (input.selector & 0x80) limits.maxRecords = 4;
  engine = std::make_unique<ExposureEngine>(&config);
  return engine::readDesign(*engine, limits);
}

}  // namespace fuzz
