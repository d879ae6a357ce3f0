// Reading the design into the grid engine: the cell asset file and the net file (their formats
// are in engine/input_lines.h). ExposureEngine::parseInputs runs this and ends the run with the
// returned Error line; tests call it directly.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "utils/chunked_file.h"
#include "utils/memory.h"

class ExposureEngine;

namespace engine {

struct ReadLimits {
  // Most cells, and most segments, a design may hold: ids are 32-bit signed.
  int64_t maxRecords = std::numeric_limits<int32_t>::max();
  // Bytes of a file parsed as one piece (whole lines; longer when a line is). REQUIRES: >= 1.
  size_t chunkBytes = utils::ChunkedFile::kDefaultChunkBytes;
  // What memory the read may still take; asked before the text and the records grow.
  utils::MemoryProbe availableMemory = utils::memoryLeft;
};

// Opens both files named by the engine's config (without waiting for the writer of a FIFO, so
// that one writer may fill the cell FIFO before it opens the net FIFO), then replaces the
// engine's cells, segments, nets, assetNetIds and segmentsPerLayer with their contents,
// logging "Finish parsing cells." and "Finish parsing nets.". Returns the empty
// string, or the text of the Error line that must end the run (the engine then holds no
// design): the first bad line in file order, a read that failed, or memory that could not be
// had.
//
// Each file is read twice, in rounds of chunks of whole lines parsed on all OpenMP threads.
// First the lines are counted, the first chunk checked in full and every other chunk's first
// line, so that a wrong file is found within the memory of the chunks read so far; then the
// records, sized exactly and checked against the memory left, are parsed into their lists and
// joined in file order (up to the chunk found wrong, when one was). A regular file is read
// again from the disk; a pipe or FIFO is held in memory. The result, the log and the Error
// line do not depend on the number of threads or on chunkBytes.
std::string readDesign(ExposureEngine& engine, const ReadLimits& limits = ReadLimits());

}  // namespace engine
