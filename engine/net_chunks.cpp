#include "engine/net_chunks.h"

#include <algorithm>
#include <unordered_map>

#include "engine/exposure_engine.h"
#include "engine/input_lines.h"
#include "engine/parallel_loop.h"

namespace engine {
namespace {

// A line shorter than this cannot hold a segment: its nine fields take at least 17 bytes.
constexpr size_t kMinNetLineBytes = 17;

// The bytes one net's entry in the numbering map takes, with its share of the buckets.
constexpr uint64_t kNetMapEntryBytes = 64;

// The layer of the previous line, which spares the look-up when the next line repeats it.
struct LayerCache {
  std::string key;
  int32_t layer = -1;  // of key; -1 when no layer has that name
};

// The index of the layer named `name` (-1 when there is none); cache.key holds the name.
int32_t layerFor(std::string_view name, LayerCache& cache, const ExposureEngine& engine) {
  if (cache.layer >= 0 && name == cache.key) return cache.layer;
  cache.key.assign(name);
  const auto found = engine.layerIndex.find(cache.key);
  cache.layer = found == engine.layerIndex.end() ? -1 : found->second;
  return cache.layer;
}

// Checks one net line whose segment would go in `slot`; sets `layer` to its layer index.
std::string checkNetLine(const NetLine& fields, const ChunkInput& input, uint64_t lineNumber,
                         int64_t slot, LayerCache& layers, const ExposureEngine& engine,
                         int32_t& layer) {
  const size_t colon = fields.layerField.find(':');
  if (colon == std::string_view::npos)
    return "Incompatible layer format" + std::string(fields.layerField);
  if (!fields.hasFlag)
    return input.lineError(lineNumber, "the line ends before the asset flag (field 9)");
  layer = layerFor(fields.layerField.substr(colon + 1), layers, engine);
  if (layer < 0) return "Cannot find the corresponding layer in db: " + layers.key;
  const std::string problem = rectangleProblem(fields.xlo, fields.ylo, fields.xhi, fields.yhi, 4);
  if (!problem.empty()) return input.lineError(lineNumber, problem);
  return input.limitError(lineNumber, slot, "segments");
}

// Calls add(slot, fields, layer) for every line of the chunk while it holds a segment and add
// returns ""; returns the Error text that ended the walk ("" when none did).
template <typename Add>
std::string forEachSegment(const ChunkInput& input, const ExposureEngine& engine, Add&& add) {
  LayerCache layers;
  uint64_t lineNumber = input.firstLine;
  int64_t slot = input.firstSlot;
  std::string error;
  forEachLine(input.text, [&](std::string_view line) {
    NetLine fields;
    parseNetLine(line, fields);
    int32_t layer = -1;
    error = checkNetLine(fields, input, lineNumber++, slot, layers, engine, layer);
    if (error.empty()) error = add(slot++, fields, layer);
    return error.empty();  // so every line before a bad one held a segment and had a slot
  });
  return error;
}

// The nets one chunk names, by name, with the net of the previous line, which spares the
// look-up when the next line repeats it (the lines of a net usually follow each other).
struct ChunkNetNames {
  explicit ChunkNetNames(NetChunk& chunk) : chunk(chunk) {}

  NetChunk& chunk;
  std::unordered_map<std::string_view, int32_t> ids;  // the names view the chunk's text
  std::string_view lastName;
  int32_t lastId = -1;  // of lastName; -1 before the first line
};

// The chunk's id of the net named `name`, adding the net (asset when `isAsset`) when it is new.
int32_t chunkNetId(std::string_view name, bool isAsset, ChunkNetNames& names) {
  if (names.lastId >= 0 && name == names.lastName) return names.lastId;
  names.lastName = name;
  const auto added = names.ids.try_emplace(name, static_cast<int32_t>(names.chunk.nets.size()));
  if (added.second) names.chunk.nets.push_back(ChunkNet{std::string(name), isAsset});
  return names.lastId = added.first->second;
}

// Gives every chunk net its file id (adding the nets that are new to engine.nets, sized exactly)
// and the position of its first segment in its net's list, and turns the chunks' layer counts
// into positions in the layer lists; sizes those lists. The names are numbered first, and their
// map freed before the nets are made.
void numberNets(std::vector<NetChunk>& chunks, ExposureEngine& engine) {
  std::unordered_map<std::string_view, int32_t> netIds;
  size_t entries = 0;
  for (const NetChunk& chunk : chunks) entries += chunk.nets.size();
  netIds.reserve(entries);
  for (NetChunk& chunk : chunks)
    for (ChunkNet& net : chunk.nets)
      net.fileId = netIds.try_emplace(net.name, static_cast<int32_t>(netIds.size())).first->second;
  std::vector<int32_t> perNet(netIds.size(), 0);
  engine.nets.reserve(netIds.size());
  netIds = std::unordered_map<std::string_view, int32_t>();
  std::vector<int32_t> perLayer(engine.segmentsPerLayer.size(), 0);
  for (NetChunk& chunk : chunks) {
    for (ChunkNet& net : chunk.nets) {
      if (net.fileId == static_cast<int32_t>(engine.nets.size()))
        engine.nets.emplace_back(net.name, net.fileId, net.isAsset);
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

uint64_t netFileBytes(int64_t segments, const ChunkCost& cost) {
  const uint64_t perSegment = sizeof(Shape) + 2 * sizeof(int32_t);  // record, net and layer lists
  const uint64_t perNet = sizeof(ChunkNet) + sizeof(Net) + kNetMapEntryBytes;
  return static_cast<uint64_t>(segments) * perSegment + cost.nameBytes +
         static_cast<uint64_t>(cost.netEntries) * perNet;
}

uint64_t netJoinBytes(const std::vector<NetChunk>& chunks, int64_t segments) {
  // A net's list of segment ids takes a heap block of at least 32 bytes and at most 32 more
  // than its ids; the nets' and the layers' lists hold every segment once.
  constexpr uint64_t kListBlockBytes = 32;
  uint64_t entries = 0;
  uint64_t nets = static_cast<uint64_t>(segments) * 2 * sizeof(int32_t);
  for (const NetChunk& chunk : chunks) {
    entries += chunk.nets.size();
    for (const ChunkNet& net : chunk.nets)
      nets += sizeof(Net) + kListBlockBytes + nameHeapBytes(net.name.size());
  }
  // The numbering map is freed before the nets are made; the counts per net stay.
  return entries * sizeof(int32_t) + std::max(entries * kNetMapEntryBytes, nets);
}

void countNetChunk(std::string_view text, ChunkCost& cost) {
  std::string_view lastNet;
  countRecordLines(text, kMinNetLineBytes, cost, [&](LineFields& fields) {
    std::string_view segment, net;
    if (fields.text(segment) == FieldStatus::kOk) cost.nameBytes += nameHeapBytes(segment.size());
    if (fields.text(net) == FieldStatus::kOk && (cost.netEntries == 0 || net != lastNet)) {
      ++cost.netEntries;  // a net the chunk may not know yet
      cost.nameBytes += 2 * nameHeapBytes(net.size());  // in the chunk and in the net
      lastNet = net;
    }
  });
}

std::string checkNetChunk(const ChunkInput& input, const ExposureEngine& engine) {
  return forEachSegment(input, engine, [](int64_t, const NetLine&, int32_t) {
    return std::string();
  });
}

std::string parseNetChunk(const ChunkInput& input, NetChunk& chunk, ExposureEngine& engine) {
  chunk.perLayer.assign(engine.segmentsPerLayer.size(), 0);
  ChunkNetNames names(chunk);
  int64_t end = input.firstSlot;
  std::string error =
      forEachSegment(input, engine, [&](int64_t slot, const NetLine& fields, int32_t layer) {
        if (slot >= input.endSlot) return input.changedError();
        Shape& segment = engine.segments[slot];
        segment.name.assign(fields.segmentName);
        segment.id = static_cast<int32_t>(slot);
        segment.netId = chunkNetId(fields.netName, fields.flag == 1, names);
        segment.xlo = fields.xlo;
        segment.ylo = fields.ylo;
        segment.xhi = fields.xhi;
        segment.yhi = fields.yhi;
        segment.layer = layer;
        ++chunk.nets[segment.netId].segments;
        ++chunk.perLayer[layer];
        end = slot + 1;
        return std::string();
      });
  if (error.empty() && end != input.endSlot) error = input.changedError();
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
