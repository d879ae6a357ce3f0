// The net file parsed in chunks of whole lines, one chunk per task on any thread, and the chunks
// joined in file order: nets numbered by their first line in the file (the asset flag taken
// from it), every net's and every layer's segments listed in ascending id order. The result
// does not depend on where the chunks were cut.
//
// A chunk is read twice: countNetChunk counts its lines and what its records will cost (and
// checkNetChunk checks some of them) before any record is made, then parseNetChunk stores them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/chunk_input.h"

class ExposureEngine;

namespace engine {

// A net as one chunk first names it.
struct ChunkNet {
  std::string name;
  bool isAsset;
  int32_t segments = 0;       // of the net in this chunk
  int32_t fileId = -1;        // the net's id, set by joinNetChunks
  int32_t firstPosition = 0;  // of this chunk's first segment in the net's list, likewise
};

// One chunk of the net file once parsed.
struct NetChunk {
  std::vector<ChunkNet> nets;     // in order of first appearance in the chunk
  std::vector<int32_t> perLayer;  // segments per layer; then the first position in each layer
};

// The bytes that parseNetChunk and joinNetChunks take for `segments` segments whose chunks
// cost `cost` in all.
uint64_t netFileBytes(int64_t segments, const ChunkCost& cost);

// The bytes that joinNetChunks takes at most for `chunks` of `segments` segments in all: every
// net of every chunk counted as a net of its own, with its count of segments and either its
// entry in the numbering map or, once the map is freed, its record, name and list.
uint64_t netJoinBytes(const std::vector<NetChunk>& chunks, int64_t segments);

// Adds to `cost` the lines of `text`, those that can hold a segment (long enough and not
// blank: up to the first bad line, the segments), the heap bytes of their names and an upper
// bound on the nets they name.
void countNetChunk(std::string_view text, ChunkCost& cost);

// Checks the lines of `input` as parseNetChunk reads them, storing nothing. Returns the Error
// text of the first bad line ("" when none).
std::string checkNetChunk(const ChunkInput& input, const ExposureEngine& engine);

// Parses the lines of `input` into engine.segments from input.firstSlot on, each segment's
// netId being its position in chunk.nets for now. Returns the Error text of the first bad line
// ("" when none), or changedError when the lines hold other records than checkNetChunk found.
// REQUIRES: engine.segments holds the slots up to input.endSlot.
std::string parseNetChunk(const ChunkInput& input, NetChunk& chunk, ExposureEngine& engine);

// Numbers the nets of all chunks in file order into engine.nets, points every segment at its
// net and fills every net's segmentIds, segmentsPerLayer and assetNetIds. `firstSlots` holds
// each chunk's first slot and, last, the number of segments.
void joinNetChunks(std::vector<NetChunk>& chunks, const std::vector<int64_t>& firstSlots,
                   ExposureEngine& engine);

}  // namespace engine
