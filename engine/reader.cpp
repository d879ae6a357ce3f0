// parseInputs: reads the cell asset file and the net file (formats in engine/input_lines.h)
// into the engine, one block-buffered pass over each file, fields parsed in place.
#include "engine/reader.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/input_lines.h"
#include "utils/line_reader.h"
#include "utils/log.h"

namespace engine {
namespace {

// Room for the records of a file: its estimated line count and 1/kMarginDivisor more (at most
// the limit), so that a list is rarely copied while it grows (and at that moment held twice)
// and never sized far beyond its file.
constexpr size_t kMarginDivisor = 16;

void reserveForFile(const utils::LineReader& file, const ReadLimits& limits,
                    std::vector<Shape>& records) {
  const size_t lines = file.estimateLines();
  records.reserve(std::min<size_t>(lines + lines / kMarginDivisor,
                                   static_cast<size_t>(limits.maxRecords)));
}

// What the net loop keeps between lines: the net-name map and the per-net and per-layer
// segment counts, and the net and the layer of the previous line, whose names serve as reused
// look-up keys (a look-up allocates nothing) and spare the look-up when the next line repeats
// them, as the lines of one net usually follow each other.
struct NetLoopState {
  std::unordered_map<std::string, int32_t> netIds;
  std::vector<int32_t> segmentsPerNet;
  std::vector<int32_t> segmentsPerLayer;
  std::string netKey;
  int32_t netId = -1;  // of netKey; -1 before the first line
  std::string layerKey;
  int32_t layer = -1;  // of layerKey; -1 when no layer has that name
};

std::string tooMany(const char* fileKind, const std::string& path, uint64_t lineNumber,
                    const ReadLimits& limits, const char* records) {
  return lineError(fileKind, path, lineNumber,
                   "more than " + std::to_string(limits.maxRecords) + " " + records);
}

// The Error text for a file whose read failed part-way ("" when it was read to its end).
std::string readFailure(const char* fileKind, const std::string& path,
                        const utils::LineReader& file) {
  if (!file.failed()) return std::string();
  return std::string("Cannot read ") + fileKind + " " + path + ": " +
         std::strerror(file.readError());
}

std::string readCells(utils::LineReader& file, const std::string& path, const ReadLimits& limits,
                      std::vector<Shape>& cells) {
  reserveForFile(file, limits, cells);
  std::string_view line;
  std::string problem;
  for (uint64_t lineNumber = 1; file.next(line); ++lineNumber) {
    CellLine fields;
    const CellLineKind kind = parseCellLine(line, fields, problem);
    if (kind == CellLineKind::kBlank) continue;
    if (kind == CellLineKind::kBad) return lineError("Cell asset file", path, lineNumber, problem);
    if (static_cast<int64_t>(cells.size()) >= limits.maxRecords)
      return tooMany("Cell asset file", path, lineNumber, limits, "cells");
    Shape& cell = cells.emplace_back(std::string(fields.name), static_cast<int32_t>(cells.size()));
    cell.xlo = fields.xlo;
    cell.ylo = fields.ylo;
    cell.xhi = fields.xhi;
    cell.yhi = fields.yhi;
    cell.layer = -1;
  }
  return readFailure("cell asset file", path, file);
}

// The id of the net named `name`, adding the net (asset when `isAsset`) on its first appearance.
int32_t netIdFor(std::string_view name, bool isAsset, NetLoopState& state,
                 std::vector<Net>& nets) {
  if (state.netId >= 0 && name == state.netKey) return state.netId;
  state.netKey.assign(name);
  const auto found = state.netIds.find(state.netKey);
  if (found != state.netIds.end()) return state.netId = found->second;
  state.netId = static_cast<int32_t>(nets.size());
  nets.emplace_back(state.netKey, state.netId, isAsset);
  state.netIds.emplace(state.netKey, state.netId);
  state.segmentsPerNet.push_back(0);
  return state.netId;
}

// The index of the layer named `name` (-1 when there is none); state.layerKey holds the name.
int32_t layerFor(std::string_view name, NetLoopState& state, const ExposureEngine& engine) {
  if (state.layer >= 0 && name == state.layerKey) return state.layer;
  state.layerKey.assign(name);
  const auto found = engine.layerIndex.find(state.layerKey);
  state.layer = found == engine.layerIndex.end() ? -1 : found->second;
  return state.layer;
}

// Checks one net line and appends its segment (and its net when new).
std::string addNetLine(const NetLine& fields, const std::string& path, uint64_t lineNumber,
                       const ReadLimits& limits, NetLoopState& state, ExposureEngine& engine) {
  const size_t colon = fields.layerField.find(':');
  if (colon == std::string_view::npos)
    return "Incompatible layer format" + std::string(fields.layerField);
  if (!fields.hasFlag)
    return lineError("Net file", path, lineNumber, "the line ends before the asset flag (field 9)");
  const int32_t layer = layerFor(fields.layerField.substr(colon + 1), state, engine);
  if (layer < 0) return "Cannot find the corresponding layer in db: " + state.layerKey;
  const std::string problem =
      rectangleProblem(fields.xlo, fields.ylo, fields.xhi, fields.yhi, 4);
  if (!problem.empty()) return lineError("Net file", path, lineNumber, problem);
  // Every net has a segment, so checking segments bounds the nets too.
  if (static_cast<int64_t>(engine.segments.size()) >= limits.maxRecords)
    return tooMany("Net file", path, lineNumber, limits, "segments");
  const int32_t netId = netIdFor(fields.netName, fields.flag == 1, state, engine.nets);
  const int32_t id = static_cast<int32_t>(engine.segments.size());
  Shape& segment = engine.segments.emplace_back(std::string(fields.segmentName), id, netId);
  segment.xlo = fields.xlo;
  segment.ylo = fields.ylo;
  segment.xhi = fields.xhi;
  segment.yhi = fields.yhi;
  segment.layer = layer;
  ++state.segmentsPerNet[netId];
  ++state.segmentsPerLayer[layer];
  return std::string();
}

std::string readNets(utils::LineReader& file, const std::string& path, const ReadLimits& limits,
                     NetLoopState& state, ExposureEngine& engine) {
  reserveForFile(file, limits, engine.segments);
  std::string_view line;
  for (uint64_t lineNumber = 1; file.next(line); ++lineNumber) {
    NetLine fields;
    parseNetLine(line, fields);
    std::string error = addNetLine(fields, path, lineNumber, limits, state, engine);
    if (!error.empty()) return error;
  }
  return readFailure("net file", path, file);
}

// Fills every net's segmentIds, segmentsPerLayer and assetNetIds, all in ascending id order.
void groupSegments(const NetLoopState& state, ExposureEngine& engine) {
  for (size_t layer = 0; layer < engine.segmentsPerLayer.size(); ++layer)
    engine.segmentsPerLayer[layer].reserve(state.segmentsPerLayer[layer]);
  for (Net& net : engine.nets) net.segmentIds.reserve(state.segmentsPerNet[net.id]);
  for (const Shape& segment : engine.segments) {
    engine.nets[segment.netId].segmentIds.push_back(segment.id);
    engine.segmentsPerLayer[segment.layer].push_back(segment.id);
  }
  for (const Net& net : engine.nets)
    if (net.isAsset) engine.assetNetIds.push_back(net.id);
}

void clearDesign(ExposureEngine& engine) {
  engine.cells.clear();
  engine.nets.clear();
  engine.segments.clear();
  engine.assetNetIds.clear();
  engine.segmentsPerLayer.assign(engine.layerNames.size(), std::vector<int32_t>());
}

}  // namespace

std::string readDesign(ExposureEngine& engine, const ReadLimits& limits) {
  const RunConfig& config = *engine.config;
  utils::LineReader cellFile(limits.blockBytes);
  utils::LineReader netFile(limits.blockBytes);
  const bool cellOpen = cellFile.open(config.cell_file);
  const bool netOpen = netFile.open(config.net_file);
  if (!cellOpen) return "Fail to open cell asset file at " + config.cell_file;
  if (!netOpen) return "Fail to open net file at " + config.net_file;
  clearDesign(engine);

  std::string error = readCells(cellFile, config.cell_file, limits, engine.cells);
  if (!error.empty()) return error;
  utils::logInfo(std::cout) << "Finish parsing cells." << std::endl;

  NetLoopState state;
  state.segmentsPerLayer.assign(engine.layerNames.size(), 0);
  error = readNets(netFile, config.net_file, limits, state, engine);
  if (!error.empty()) return error;
  utils::logInfo(std::cout) << "Finish parsing nets." << std::endl;
  groupSegments(state, engine);
  return std::string();
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
