#include "engine/net_chunks.h"

#include <unordered_map>

#include "engine/exposure_engine.h"
#include "engine/input_lines.h"
#include "engine/parallel_loop.h"
#include "utils/assert.h"

namespace engine {
namespace {

// What the parse of one chunk keeps between lines: its nets by name, and the net and the layer
// of the previous line, which spare the look-ups when the next line repeats them (the lines of
// a net usually follow each other).
struct NetChunkState {
  explicit NetChunkState(NetChunk& chunk) : chunk(chunk) {}

  NetChunk& chunk;
  std::unordered_map<std::string_view, int32_t> netIds;
  std::string_view netName;
  int32_t netId = -1;  // of netName; -1 before the first line
  std::string layerKey;
  int32_t layer = -1;  // of layerKey; -1 when no layer has that name
};

// The chunk's id of the net named `name`, adding the net (asset when `isAsset`) when it is new.
int32_t chunkNetId(std::string_view name, bool isAsset, NetChunkState& state) {
  if (state.netId >= 0 && name == state.netName) return state.netId;
  state.netName = name;
  const auto added = state.netIds.emplace(name, static_cast<int32_t>(state.chunk.nets.size()));
  if (added.second) state.chunk.nets.push_back(ChunkNet{name, isAsset});
  return state.netId = added.first->second;
}

// The index of the layer named `name` (-1 when there is none); state.layerKey holds the name.
int32_t layerFor(std::string_view name, NetChunkState& state, const ExposureEngine& engine) {
  if (state.layer >= 0 && name == state.layerKey) return state.layer;
  state.layerKey.assign(name);
  const auto found = engine.layerIndex.find(state.layerKey);
  state.layer = found == engine.layerIndex.end() ? -1 : found->second;
  return state.layer;
}

// Checks one net line and stores its segment in `slot`.
std::string addNetLine(const NetLine& fields, const ChunkInput& input, uint64_t lineNumber,
                       int64_t slot, NetChunkState& state, ExposureEngine& engine) {
  const size_t colon = fields.layerField.find(':');
  if (colon == std::string_view::npos)
    return "Incompatible layer format" + std::string(fields.layerField);
  if (!fields.hasFlag)
    return input.lineError(lineNumber, "the line ends before the asset flag (field 9)");
  const int32_t layer = layerFor(fields.layerField.substr(colon + 1), state, engine);
  if (layer < 0) return "Cannot find the corresponding layer in db: " + state.layerKey;
  const std::string problem = rectangleProblem(fields.xlo, fields.ylo, fields.xhi, fields.yhi, 4);
  if (!problem.empty()) return input.lineError(lineNumber, problem);
  const std::string beyond = input.limitError(lineNumber, slot, "segments");
  if (!beyond.empty()) return beyond;
  utils::assertOrAbort(slot < static_cast<int64_t>(engine.segments.size()),
                       "segment slot %lld beyond the list", static_cast<long long>(slot));
  Shape& segment = engine.segments[slot];
  segment.name.assign(fields.segmentName);
  segment.id = static_cast<int32_t>(slot);
  segment.netId = chunkNetId(fields.netName, fields.flag == 1, state);
  segment.xlo = fields.xlo;
  segment.ylo = fields.ylo;
  segment.xhi = fields.xhi;
  segment.yhi = fields.yhi;
  segment.layer = layer;
  ++state.chunk.nets[segment.netId].segments;
  ++state.chunk.perLayer[layer];
  return std::string();
}

// Gives every chunk net its file id (adding the nets that are new to engine.nets) and the
// position of its first segment in its net's list, and turns the chunks' layer counts into
// positions in the layer lists; sizes those lists.
void numberNets(std::vector<NetChunk>& chunks, ExposureEngine& engine) {
  std::unordered_map<std::string_view, int32_t> netIds;
  std::vector<int32_t> perNet;
  std::vector<int32_t> perLayer(engine.segmentsPerLayer.size(), 0);
  for (NetChunk& chunk : chunks) {
    for (ChunkNet& net : chunk.nets) {
      const auto added = netIds.emplace(net.name, static_cast<int32_t>(engine.nets.size()));
      if (added.second) {
        engine.nets.emplace_back(std::string(net.name), added.first->second, net.isAsset);
        perNet.push_back(0);
      }
      net.fileId = added.first->second;
      net.firstPosition = perNet[net.fileId];
      perNet[net.fileId] += net.segments;
    }
    for (size_t layer = 0; layer < perLayer.size(); ++layer) {
      const int32_t segments = chunk.perLayer[layer];
      chunk.perLayer[layer] = perLayer[layer];
      perLayer[layer] += segments;
    }
  }
  for (Net& net : engine.nets) net.segmentIds.resize(perNet[net.id]);
  for (size_t layer = 0; layer < perLayer.size(); ++layer)
    engine.segmentsPerLayer[layer].resize(perLayer[layer]);
}

}  // namespace

std::string ChunkInput::lineError(uint64_t lineNumber, const std::string& problem) const {
  return engine::lineError(lineKind, *path, lineNumber, problem);
}

std::string ChunkInput::limitError(uint64_t lineNumber, int64_t slot, const char* records) const {
  if (slot < maxRecords) return std::string();
  return lineError(lineNumber, "more than " + std::to_string(maxRecords) + " " + records);
}

std::string parseNetChunk(const ChunkInput& input, NetChunk& chunk, ExposureEngine& engine) {
  chunk.perLayer.assign(engine.segmentsPerLayer.size(), 0);
  NetChunkState state(chunk);
  uint64_t lineNumber = input.firstLine;
  int64_t slot = input.firstSlot;
  std::string error;
  forEachLine(input.text, [&](std::string_view line) {
    NetLine fields;
    parseNetLine(line, fields);
    error = addNetLine(fields, input, lineNumber++, slot++, state, engine);
    return error.empty();  // so every line before a bad one held a segment and had a slot
  });
  return error;
}

void joinNetChunks(std::vector<NetChunk>& chunks, const std::vector<int64_t>& firstSlots,
                   ExposureEngine& engine) {
  numberNets(chunks, engine);
  parallelFor(static_cast<int32_t>(chunks.size()), [&](int32_t k) {
    std::vector<ChunkNet>& nets = chunks[k].nets;
    std::vector<int32_t>& layerPositions = chunks[k].perLayer;
    for (int64_t slot = firstSlots[k]; slot < firstSlots[k + 1]; ++slot) {
      Shape& segment = engine.segments[slot];
      ChunkNet& net = nets[segment.netId];
      segment.netId = net.fileId;
      engine.nets[net.fileId].segmentIds[net.firstPosition++] = segment.id;
      engine.segmentsPerLayer[segment.layer][layerPositions[segment.layer]++] = segment.id;
    }
  });
  for (const Net& net : engine.nets)
    if (net.isAsset) engine.assetNetIds.push_back(net.id);
}

}  // namespace engine
