// The net file parsed in chunks of whole lines, one chunk per task on any thread, and the chunks
// joined in file order: nets numbered by their first line in the file (the asset flag taken
// from it), every net's and every layer's segments listed in ascending id order. The result
// does not depend on where the chunks were cut.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ExposureEngine;

namespace engine {

// Where one chunk of an input file lies and how its line errors name the file.
struct ChunkInput {
  std::string_view text;
  uint64_t firstLine;    // number of the chunk's first line in the file, from 1
  int64_t firstSlot;     // position of the chunk's first record in the record list
  int64_t maxRecords;    // records the list may hold
  const char* lineKind;  // "Net file", the head of a line error
  const std::string* path;

  // The Error text for line `lineNumber` of the chunk's file.
  std::string lineError(uint64_t lineNumber, const std::string& problem) const;
  // The Error text when the record of line `lineNumber` would go in `slot`: a record beyond
  // maxRecords (`records` names them, e.g. "segments"); "" when the slot is within it.
  std::string limitError(uint64_t lineNumber, int64_t slot, const char* records) const;
};

// A net as one chunk first names it.
struct ChunkNet {
  std::string_view name;
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

// Parses the lines of `input` into engine.segments from input.firstSlot on, each segment's
// netId being its position in chunk.nets for now. Returns the Error text of the first bad line
// ("" when none). REQUIRES: engine.segments holds a slot for every line of the chunk that can
// hold a segment, and the net file's text outlives the chunk.
std::string parseNetChunk(const ChunkInput& input, NetChunk& chunk, ExposureEngine& engine);

// Numbers the nets of all chunks in file order into engine.nets, points every segment at its
// net and fills every net's segmentIds, segmentsPerLayer and assetNetIds. `firstSlots` holds
// each chunk's first slot and, last, the number of segments.
void joinNetChunks(std::vector<NetChunk>& chunks, const std::vector<int64_t>& firstSlots,
                   ExposureEngine& engine);

}  // namespace engine
