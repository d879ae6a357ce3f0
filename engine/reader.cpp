// parseInputs: reads the cell asset file and the net file (formats in engine/input_lines.h)
// into the engine. Each file is read whole, counted and parsed chunk by chunk on all threads
// straight into its final record list, and joined in file order.
#include "engine/reader.h"

#include <omp.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/input_lines.h"
#include "engine/line_fields.h"
#include "utils/assert.h"
#include "utils/log.h"

namespace engine {
namespace {

// A line shorter than this cannot hold a record: six fields (cells) or nine (nets) of a byte
// each with a blank between them.
constexpr size_t kMinCellLineBytes = 11;
constexpr size_t kMinNetLineBytes = 17;

// One input file: its text in chunks and the names it is called by in messages.
struct InputFile {
  InputFile(const std::string& path, const char* kind, const char* lineKind, size_t chunkBytes)
      : path(path), kind(kind), lineKind(lineKind), text(chunkBytes) {}

  const std::string& path;
  const char* kind;      // "cell asset file"
  const char* lineKind;  // "Cell asset file", the head of its line errors
  utils::ChunkedFile text;
};

std::string noMemory(const std::string& what) { return "Cannot allocate memory for " + what; }

// Calls visit(line) for every line of `chunk` until it returns false.
template <typename Visit>
void forEachLine(std::string_view chunk, Visit&& visit) {
  while (!chunk.empty()) {
    const size_t feed = std::min(chunk.find('\n'), chunk.size());
    if (!visit(chunk.substr(0, feed))) return;
    chunk.remove_prefix(std::min(feed + 1, chunk.size()));
  }
}

// Whether `line` can hold a record: long enough and not white space alone.
bool canHoldRecord(std::string_view line, size_t minLineBytes) {
  std::string_view first;
  return line.size() >= minLineBytes && LineFields(line).text(first) == FieldStatus::kOk;
}

// Where each chunk's lines and records begin in its file.
struct ChunkPlan {
  std::vector<uint64_t> firstLine;  // number of the chunk's first line, from 1
  std::vector<int64_t> firstSlot;   // position of the chunk's first record in the record list
  int64_t slots = 0;                // lines that can hold a record, in the whole file
};

ChunkPlan planChunks(const std::vector<std::string_view>& chunks, size_t minLineBytes) {
  const int64_t count = static_cast<int64_t>(chunks.size());
  std::vector<uint64_t> lines(count, 0);
  std::vector<int64_t> slots(count, 0);
#pragma omp parallel for schedule(dynamic, 1)
  for (int64_t k = 0; k < count; ++k) {
    forEachLine(chunks[k], [&](std::string_view line) {
      ++lines[k];
      slots[k] += canHoldRecord(line, minLineBytes) ? 1 : 0;
      return true;
    });
  }
  ChunkPlan plan;
  uint64_t nextLine = 1;
  for (int64_t k = 0; k < count; ++k) {
    plan.firstLine.push_back(nextLine);
    plan.firstSlot.push_back(plan.slots);
    nextLine += lines[k];
    plan.slots += slots[k];
  }
  return plan;
}

// Runs parseChunk(k) for every chunk on all threads. Returns the error of the first chunk in
// file order that has one, "" when none has.
template <typename ParseChunk>
std::string parseChunks(const InputFile& file, ParseChunk&& parseChunk) {
  const int64_t count = static_cast<int64_t>(file.text.chunks().size());
  std::vector<std::string> errors(count);
#pragma omp parallel for schedule(dynamic, 1)
  for (int64_t k = 0; k < count; ++k) {
    try {
      errors[k] = parseChunk(k);
    } catch (const std::bad_alloc&) {
      errors[k] = noMemory(std::string("the records of ") + file.kind + " " + file.path);
    }
  }
  for (std::string& error : errors)
    if (!error.empty()) return std::move(error);
  return std::string();
}

// Reads the whole file; the Error text when its text does not fit in memory.
std::string readText(InputFile& file) {
  try {
    file.text.read();
  } catch (const std::bad_alloc&) {
    file.text.release();
    return noMemory(std::string("the text of ") + file.kind + " " + file.path);
  }
  return std::string();
}

// The Error text for a file whose read failed part-way ("" when it was read to its end).
std::string readFailure(const InputFile& file) {
  if (!file.text.failed()) return std::string();
  return std::string("Cannot read ") + file.kind + " " + file.path + ": " +
         std::strerror(file.text.readError());
}

// Sizes `records` for the file's records (at most the limit); the Error text when they do not
// fit in memory.
std::string allocateRecords(const InputFile& file, const ChunkPlan& plan, const ReadLimits& limits,
                            const char* recordKind, std::vector<Shape>& records) {
  const int64_t count = std::min(plan.slots, limits.maxRecords);
  try {
    records.assign(static_cast<size_t>(count), Shape(std::string(), 0));
  } catch (const std::bad_alloc&) {
    records = std::vector<Shape>();
    return noMemory(std::to_string(count) + " " + recordKind + " of " + file.kind + " " +
                    file.path);
  }
  return std::string();
}

std::string tooMany(const InputFile& file, uint64_t lineNumber, const ReadLimits& limits,
                    const char* records) {
  return lineError(file.lineKind, file.path, lineNumber,
                   "more than " + std::to_string(limits.maxRecords) + " " + records);
}

// Fills the cell slots from `slot` on with the cells of one chunk.
std::string parseCellChunk(const InputFile& file, std::string_view chunk, uint64_t lineNumber,
                           int64_t slot, const ReadLimits& limits, std::vector<Shape>& cells) {
  std::string error;
  std::string problem;
  forEachLine(chunk, [&](std::string_view line) {
    CellLine fields;
    const CellLineKind kind = parseCellLine(line, fields, problem);
    if (kind == CellLineKind::kBad) {
      error = lineError(file.lineKind, file.path, lineNumber, problem);
    } else if (kind == CellLineKind::kCell && slot >= limits.maxRecords) {
      error = tooMany(file, lineNumber, limits, "cells");
    } else if (kind == CellLineKind::kCell) {
      utils::assertOrAbort(slot < static_cast<int64_t>(cells.size()), "cell slot %lld beyond the list",
                    static_cast<long long>(slot));
      Shape& cell = cells[slot];
      cell.name.assign(fields.name);
      cell.id = static_cast<int32_t>(slot++);
      cell.xlo = fields.xlo;
      cell.ylo = fields.ylo;
      cell.xhi = fields.xhi;
      cell.yhi = fields.yhi;
      cell.layer = -1;
    }
    ++lineNumber;
    return error.empty();
  });
  return error;
}

std::string readCells(InputFile& file, const ReadLimits& limits, std::vector<Shape>& cells) {
  std::string error = readText(file);
  if (!error.empty()) return error;
  const std::vector<std::string_view>& chunks = file.text.chunks();
  const ChunkPlan plan = planChunks(chunks, kMinCellLineBytes);
  error = allocateRecords(file, plan, limits, "cells", cells);
  if (!error.empty()) return error;
  error = parseChunks(file, [&](int64_t k) {
    return parseCellChunk(file, chunks[k], plan.firstLine[k], plan.firstSlot[k], limits, cells);
  });
  if (!error.empty()) return error;
  return readFailure(file);
}

// A net as one chunk first names it.
struct ChunkNet {
  std::string_view name;
  bool isAsset;
};

// What the parse of one chunk of the net file keeps between lines: its nets by name (ids are
// positions in `nets`, numbered by first appearance in the chunk), and the net and the layer of
// the previous line, which spare the look-ups when the next line repeats them.
struct NetChunkState {
  explicit NetChunkState(std::vector<ChunkNet>& nets) : nets(nets) {}

  std::vector<ChunkNet>& nets;
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
  const auto added = state.netIds.emplace(name, static_cast<int32_t>(state.nets.size()));
  if (added.second) state.nets.push_back(ChunkNet{name, isAsset});
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

// Checks one net line and stores its segment in `slot`, its net id counted in the chunk.
std::string addNetLine(const NetLine& fields, const InputFile& file, uint64_t lineNumber,
                       int64_t slot, const ReadLimits& limits, NetChunkState& state,
                       ExposureEngine& engine) {
  const size_t colon = fields.layerField.find(':');
  if (colon == std::string_view::npos)
    return "Incompatible layer format" + std::string(fields.layerField);
  if (!fields.hasFlag)
    return lineError(file.lineKind, file.path, lineNumber,
                     "the line ends before the asset flag (field 9)");
  const int32_t layer = layerFor(fields.layerField.substr(colon + 1), state, engine);
  if (layer < 0) return "Cannot find the corresponding layer in db: " + state.layerKey;
  const std::string problem = rectangleProblem(fields.xlo, fields.ylo, fields.xhi, fields.yhi, 4);
  if (!problem.empty()) return lineError(file.lineKind, file.path, lineNumber, problem);
  if (slot >= limits.maxRecords) return tooMany(file, lineNumber, limits, "segments");
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
  return std::string();
}

std::string parseNetChunk(const InputFile& file, std::string_view chunk, uint64_t lineNumber,
                          int64_t slot, const ReadLimits& limits, std::vector<ChunkNet>& nets,
                          ExposureEngine& engine) {
  NetChunkState state(nets);
  std::string error;
  forEachLine(chunk, [&](std::string_view line) {
    NetLine fields;
    parseNetLine(line, fields);
    error = addNetLine(fields, file, lineNumber++, slot, limits, state, engine);
    ++slot;  // a line that is not a segment ends the chunk's parse
    return error.empty();
  });
  return error;
}

// Numbers the nets by their first line in the file, the asset flag taken from it, and points
// every segment at its net.
void joinNets(const std::vector<std::vector<ChunkNet>>& chunkNets, const ChunkPlan& plan,
              ExposureEngine& engine) {
  const int64_t count = static_cast<int64_t>(chunkNets.size());
  std::unordered_map<std::string_view, int32_t> netIds;
  std::vector<std::vector<int32_t>> fileIds(count);
  for (int64_t k = 0; k < count; ++k) {
    fileIds[k].reserve(chunkNets[k].size());
    for (const ChunkNet& net : chunkNets[k]) {
      const int32_t id = static_cast<int32_t>(engine.nets.size());
      const auto added = netIds.emplace(net.name, id);
      if (added.second) engine.nets.emplace_back(std::string(net.name), id, net.isAsset);
      fileIds[k].push_back(added.first->second);
    }
  }
#pragma omp parallel for schedule(dynamic, 1)
  for (int64_t k = 0; k < count; ++k) {
    const int64_t end = k + 1 < count ? plan.firstSlot[k + 1] : plan.slots;
    for (int64_t slot = plan.firstSlot[k]; slot < end; ++slot) {
      Shape& segment = engine.segments[slot];
      segment.netId = fileIds[k][segment.netId];
    }
  }
}

std::string readNets(InputFile& file, const ReadLimits& limits, ExposureEngine& engine) {
  std::string error = readText(file);
  if (!error.empty()) return error;
  const std::vector<std::string_view>& chunks = file.text.chunks();
  const ChunkPlan plan = planChunks(chunks, kMinNetLineBytes);
  error = allocateRecords(file, plan, limits, "segments", engine.segments);
  if (!error.empty()) return error;
  std::vector<std::vector<ChunkNet>> chunkNets(chunks.size());
  error = parseChunks(file, [&](int64_t k) {
    return parseNetChunk(file, chunks[k], plan.firstLine[k], plan.firstSlot[k], limits,
                         chunkNets[k], engine);
  });
  if (!error.empty()) return error;
  error = readFailure(file);
  if (!error.empty()) return error;
  joinNets(chunkNets, plan, engine);
  return std::string();
}

// Fills every net's segmentIds, segmentsPerLayer and assetNetIds, all in ascending id order.
void groupSegments(ExposureEngine& engine) {
  std::vector<int32_t> perNet(engine.nets.size(), 0);
  std::vector<int32_t> perLayer(engine.segmentsPerLayer.size(), 0);
  for (const Shape& segment : engine.segments) {
    ++perNet[segment.netId];
    ++perLayer[segment.layer];
  }
  for (size_t layer = 0; layer < perLayer.size(); ++layer)
    engine.segmentsPerLayer[layer].reserve(perLayer[layer]);
  for (Net& net : engine.nets) net.segmentIds.reserve(perNet[net.id]);
  for (const Shape& segment : engine.segments) {
    engine.nets[segment.netId].segmentIds.push_back(segment.id);
    engine.segmentsPerLayer[segment.layer].push_back(segment.id);
  }
  for (const Net& net : engine.nets)
    if (net.isAsset) engine.assetNetIds.push_back(net.id);
}

void clearDesign(ExposureEngine& engine) {
  engine.cells = std::vector<Shape>();
  engine.nets = std::vector<Net>();
  engine.segments = std::vector<Shape>();
  engine.assetNetIds.clear();
  engine.segmentsPerLayer.assign(engine.layerNames.size(), std::vector<int32_t>());
}

std::string readFiles(InputFile& cellFile, InputFile& netFile, const ReadLimits& limits,
                      ExposureEngine& engine) {
  std::string error = readCells(cellFile, limits, engine.cells);
  if (!error.empty()) return error;
  cellFile.text.release();
  utils::logInfo(std::cout) << "Finish parsing cells." << std::endl;

  error = readNets(netFile, limits, engine);
  if (!error.empty()) return error;
  netFile.text.release();
  utils::logInfo(std::cout) << "Finish parsing nets." << std::endl;
  try {
    groupSegments(engine);
  } catch (const std::bad_alloc&) {
    return noMemory("the segment lists of the nets and layers");
  }
  return std::string();
}

}  // namespace

std::string readDesign(ExposureEngine& engine, const ReadLimits& limits) {
  const RunConfig& config = *engine.config;
  InputFile cellFile(config.cell_file, "cell asset file", "Cell asset file", limits.chunkBytes);
  InputFile netFile(config.net_file, "net file", "Net file", limits.chunkBytes);
  const bool cellOpen = cellFile.text.open(config.cell_file);
  const bool netOpen = netFile.text.open(config.net_file);
  if (!cellOpen) return "Fail to open cell asset file at " + config.cell_file;
  if (!netOpen) return "Fail to open net file at " + config.net_file;
  clearDesign(engine);
  std::string error = readFiles(cellFile, netFile, limits, engine);
  if (!error.empty()) clearDesign(engine);
  return error;
}

}  // namespace engine

namespace {

void logSummary(const ExposureEngine& engine) {
  utils::logInfo(std::cout) << "Read-in Summary: " << std::endl;
  utils::logInfo(std::cout) << "Number of Cell Assets: " << engine.cells.size() << std::endl;
  utils::logInfo(std::cout) << "Number of Net Assets: " << engine.assetNetIds.size() << std::endl;
  utils::logInfo(std::cout) << "Number of Metal Segments: " << engine.segments.size()
                            << std::endl;
  utils::logInfo(std::cout) << "Layer details: " << std::endl;
  for (size_t layer = 0; layer < engine.layerNames.size(); ++layer)
    utils::logInfo(std::cout) << engine.layerNames[layer] << ": "
                              << engine.segmentsPerLayer[layer].size() << std::endl;
}

}  // namespace

void ExposureEngine::parseInputs() {
  utils::logInfo(std::cout) << "Parsing input files: cell: " << config->cell_file
                            << "; net: " << config->net_file << std::endl;
  const std::string error = engine::readDesign(*this);
  if (!error.empty()) utils::fatalError(error);
  logSummary(*this);
}
