// parseInputs: reads the cell asset file and the net file (formats in engine/input_lines.h)
// into the engine. Each file is read whole, counted and parsed chunk by chunk on all threads
// straight into its final record list, and joined in file order.
#include "engine/reader.h"


#include <algorithm>
#include <cstring>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/input_lines.h"
#include "engine/line_fields.h"
#include "engine/net_chunks.h"
#include "engine/parallel_loop.h"
#include "utils/assert.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace engine {
namespace {

// A line shorter than this cannot hold a record: a cell line's six fields take at least 11
// bytes ("a b 0-0-0-0": a sign may start a number right after the one before), a net line's
// nine at least 17.
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

// Whether `line` can hold a record: long enough and not white space alone.
bool canHoldRecord(std::string_view line, size_t minLineBytes) {
  std::string_view first;
  return line.size() >= minLineBytes && LineFields(line).text(first) == FieldStatus::kOk;
}

// Where each chunk's lines and records begin in its file.
struct ChunkPlan {
  std::vector<uint64_t> firstLine;  // number of the chunk's first line, from 1
  std::vector<int64_t> firstSlot;   // position of the chunk's first record in the record list,
                                    // and last the number of lines that can hold a record
  int64_t slots() const { return firstSlot.back(); }

  ChunkInput chunk(const InputFile& file, size_t k, int64_t maxRecords) const {
    return ChunkInput{file.text.chunks()[k], firstLine[k], firstSlot[k], maxRecords,
                      file.lineKind, &file.path};
  }
};

ChunkPlan planChunks(const std::vector<std::string_view>& chunks, size_t minLineBytes) {
  const int32_t count = static_cast<int32_t>(chunks.size());
  std::vector<uint64_t> lines(count);
  std::vector<int64_t> slots(count);
  parallelFor(count, [&](int32_t k) {
    uint64_t chunkLines = 0;
    int64_t chunkSlots = 0;
    forEachLine(chunks[k], [&](std::string_view line) {
      ++chunkLines;
      chunkSlots += canHoldRecord(line, minLineBytes) ? 1 : 0;
      return true;
    });
    lines[k] = chunkLines;
    slots[k] = chunkSlots;
  });
  ChunkPlan plan;
  uint64_t nextLine = 1;
  int64_t nextSlot = 0;
  for (int32_t k = 0; k < count; ++k) {
    plan.firstLine.push_back(nextLine);
    plan.firstSlot.push_back(nextSlot);
    nextLine += lines[k];
    nextSlot += slots[k];
  }
  plan.firstSlot.push_back(nextSlot);
  return plan;
}

// Runs parseChunk(k) for every chunk on all threads. Returns the error of the first chunk in
// file order that has one, "" when none has.
template <typename ParseChunk>
std::string parseChunks(const InputFile& file, ParseChunk&& parseChunk) {
  const int32_t count = static_cast<int32_t>(file.text.chunks().size());
  std::vector<std::string> errors(count);
  parallelFor(count, [&](int32_t k) {
    try {  // here, so that a bad line in an earlier chunk still comes first
      errors[k] = parseChunk(k);
    } catch (const std::bad_alloc&) {
      errors[k] = noMemory(std::string("the records of ") + file.kind + " " + file.path);
    }
  });
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
  const int64_t count = std::min(plan.slots(), limits.maxRecords);
  try {
    utils::reserveTouched(records, static_cast<size_t>(count));
    records.assign(static_cast<size_t>(count), Shape(std::string(), 0));
  } catch (const std::bad_alloc&) {
    records = std::vector<Shape>();
    return noMemory(std::to_string(count) + " " + recordKind + " of " + file.kind + " " +
                    file.path);
  }
  return std::string();
}

// Fills the cell slots of one chunk.
std::string parseCellChunk(const ChunkInput& input, std::vector<Shape>& cells) {
  std::string error;
  std::string problem;
  uint64_t lineNumber = input.firstLine;
  int64_t slot = input.firstSlot;
  forEachLine(input.text, [&](std::string_view line) {
    CellLine fields;
    const CellLineKind kind = parseCellLine(line, fields, problem);
    const uint64_t number = lineNumber++;
    if (kind == CellLineKind::kBlank) return true;
    error = kind == CellLineKind::kBad ? input.lineError(number, problem)
                                       : input.limitError(number, slot, "cells");
    if (!error.empty()) return false;
    utils::assertOrAbort(slot < static_cast<int64_t>(cells.size()),
                         "cell slot %lld beyond the list", static_cast<long long>(slot));
    Shape& cell = cells[slot];
    cell.name.assign(fields.name);
    cell.id = static_cast<int32_t>(slot++);
    cell.xlo = fields.xlo;
    cell.ylo = fields.ylo;
    cell.xhi = fields.xhi;
    cell.yhi = fields.yhi;
    cell.layer = -1;
    return true;
  });
  return error;
}

std::string readCells(InputFile& file, const ReadLimits& limits, std::vector<Shape>& cells) {
  std::string error = readText(file);
  if (!error.empty()) return error;
  const ChunkPlan plan = planChunks(file.text.chunks(), kMinCellLineBytes);
  error = allocateRecords(file, plan, limits, "cells", cells);
  if (!error.empty()) return error;
  error = parseChunks(file, [&](int32_t k) {
    return parseCellChunk(plan.chunk(file, k, limits.maxRecords), cells);
  });
  if (!error.empty()) return error;
  return readFailure(file);
}

std::string readNets(InputFile& file, const ReadLimits& limits, ExposureEngine& engine) {
  std::string error = readText(file);
  if (!error.empty()) return error;
  const ChunkPlan plan = planChunks(file.text.chunks(), kMinNetLineBytes);
  error = allocateRecords(file, plan, limits, "segments", engine.segments);
  if (!error.empty()) return error;
  std::vector<NetChunk> chunks(file.text.chunks().size());
  error = parseChunks(file, [&](int32_t k) {
    return parseNetChunk(plan.chunk(file, k, limits.maxRecords), chunks[k], engine);
  });
  if (!error.empty()) return error;
  error = readFailure(file);
  if (!error.empty()) return error;
  try {
    joinNetChunks(chunks, plan.firstSlot, engine);
  } catch (const std::bad_alloc&) {
    return noMemory("the nets of net file " + file.path);
  }
  return std::string();
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
