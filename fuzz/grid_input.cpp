#include "fuzz/grid_input.h"

#include "engine/reader.h"

namespace fuzz {

std::string readGridInput(const SplitInput& input, RunConfig& config,
                          std::unique_ptr<ExposureEngine>& engine) {
  const MemoryFile cellFile(input.first);
  const MemoryFile netFile(input.second);
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
