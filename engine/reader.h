// Reading the design into the grid engine: the cell asset file and the net file (their formats
// are in engine/input_lines.h). ExposureEngine::parseInputs runs this and ends the run with the
// returned Error line; tests call it directly.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "utils/chunked_file.h"

class ExposureEngine;

namespace engine {

struct ReadLimits {
  // Most cells, and most segments, a design may hold: ids are 32-bit signed.
  int64_t maxRecords = std::numeric_limits<int32_t>::max();
  // Bytes of a file parsed as one piece (whole lines; longer when a line is). REQUIRES: >= 1.
  size_t chunkBytes = utils::ChunkedFile::kDefaultChunkBytes;
};

// Opens both files named by the engine's config, then replaces the engine's cells, segments,
// nets, assetNetIds and segmentsPerLayer with their contents, logging "Finish parsing cells."
// and "Finish parsing nets.". Returns the empty string, or the text of the Error line that must
// end the run (the engine then holds no design): the first bad line in file order, a read
// that failed, or memory that could not be allocated.
//
// Each file is held in memory whole and parsed on all OpenMP threads, in chunks of whole lines
// joined in file order; the result, the log and the Error line do not depend on the number of
// threads or on chunkBytes. Record lists are sized exactly from the lines that can hold a
// record, so blank lines cost no memory beyond their bytes.
std::string readDesign(ExposureEngine& engine, const ReadLimits& limits = ReadLimits());

}  // namespace engine
