// Reading the design into the grid engine: the cell asset file and the net file (their formats
// are in engine/input_lines.h). ExposureEngine::parseInputs runs this and ends the run with the
// returned Error line; tests call it directly.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

class ExposureEngine;

namespace engine {

struct ReadLimits {
  // Most cells, and most segments, a design may hold: ids are 32-bit signed.
  int64_t maxRecords = std::numeric_limits<int32_t>::max();
};

// Opens both files named by the engine's config, then replaces the engine's cells, segments,
// nets, assetNetIds and segmentsPerLayer with their contents, logging "Finish parsing cells."
// and "Finish parsing nets.". Returns the empty string, or the text of the Error line that must
// end the run (the engine then holds a partial read). Single-threaded.
std::string readDesign(ExposureEngine& engine, const ReadLimits& limits = ReadLimits());

}  // namespace engine
