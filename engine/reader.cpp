// parseInputs: reads the cell asset file and the net file (formats in engine/input_lines.h)
// into the engine, in two passes over each file (see engine/reader.h).
#include "engine/reader.h"

#include <omp.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/cell_chunks.h"
#include "engine/exposure_engine.h"
#include "engine/net_chunks.h"
#include "engine/parallel_loop.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace engine {
namespace {

// Chunks of a full round for each thread: enough to keep them all busy to the round's end. A
// round holds at most kMaxRoundChunks, so that a pipe's blocks stay small however many threads
// there are.
constexpr size_t kRoundChunksPerThread = 4;
constexpr size_t kMaxRoundChunks = 64;

size_t roundChunks() {
  return std::min(kMaxRoundChunks, kRoundChunksPerThread * omp_get_max_threads());
}

// One input file: its text and the names it goes by in messages.
struct InputFile {
  InputFile(const std::string& path, const char* kind, const char* lineKind,
            const ReadLimits& limits)
      : path(path),
        kind(kind),
        lineKind(lineKind),
        text(limits.chunkBytes, roundChunks(), limits.availableMemory) {}

  const std::string& path;
  const char* kind;      // "cell asset file"
  const char* lineKind;  // "Cell asset file", the head of its line errors
  utils::ChunkedFile text;
};

std::string noMemory(const std::string& what) { return "Cannot allocate memory for " + what; }

// Where each chunk of a file begins, in lines and in records, as the first pass found.
struct ChunkPlan {
  std::vector<uint64_t> firstLine{1};  // of each chunk, from 1; last, one past the file's last
  std::vector<int64_t> firstSlot{0};   // of each chunk's first record; last, the record count

  size_t chunks() const { return firstSlot.size() - 1; }
  int64_t slots() const { return firstSlot.back(); }

  void add(uint64_t lines, int64_t records) {
    firstLine.push_back(firstLine.back() + lines);
    firstSlot.push_back(firstSlot.back() + records);
  }
  // The chunk after the planned ones, with `text`.
  ChunkInput next(const InputFile& file, std::string_view text, int64_t maxRecords) const {
    return ChunkInput{text,       firstLine.back(), slots(),  std::numeric_limits<int64_t>::max(),
                      maxRecords, file.lineKind,    &file.path};
  }
  ChunkInput chunk(const InputFile& file, size_t k, std::string_view text,
                   int64_t maxRecords) const {
    return ChunkInput{text,       firstLine[k],  firstSlot[k], firstSlot[k + 1],
                      maxRecords, file.lineKind, &file.path};
  }
};

// Runs parse(k) for the chunks 0..count-1 on all threads. Returns the first chunk in file order
// whose parse gave an Error text, with the text; count and "" when none did.
template <typename Parse>
std::pair<size_t, std::string> firstError(const InputFile& file, size_t count, Parse&& parse) {
  std::vector<std::string> errors(count);
  parallelFor(static_cast<int32_t>(count), [&](int32_t k) {
    try {  // here, so that a bad line in an earlier chunk still comes first
      errors[k] = parse(k);
    } catch (const std::bad_alloc&) {
      errors[k] = noMemory(std::string("the records of ") + file.kind + " " + file.path);
    }
  });
  for (size_t k = 0; k < count; ++k)
    if (!errors[k].empty()) return {k, std::move(errors[k])};
  return {count, std::string()};
}

// The Error text when the file's text could not be read to its end, or changed while it was
// read ("" when neither).
std::string textError(const InputFile& file) {
  if (file.text.failed())
    return std::string("Cannot read ") + file.kind + " " + file.path + ": " +
           std::strerror(file.text.readError());
  if (file.text.changed()) return fileChangedError(file.lineKind, file.path);
  const std::optional<utils::MemoryShortfall>& shortfall = file.text.shortfall();
  if (!shortfall) return std::string();
  const std::string what = noMemory(std::string("the text of ") + file.kind + " " + file.path);
  if (!shortfall->available) return what;
  return utils::shortfallError(what, shortfall->bytes, *shortfall->available);
}

// The first line of `text`, with its line feed.
std::string_view firstLineOf(std::string_view text) {
  return text.substr(0, std::min(text.find('\n'), text.size() - 1) + 1);
}

// The first pass: reads the file round by round and counts on all threads the lines of every
// chunk, those that can hold a record and what the records will cost, planning where they lie.
// The file's first chunk is checked in full and every other chunk's first line (as if it began
// the file), so that a wrong file is found early. Returns the Error text of the first chunk,
// when it has a bad line, or of the text's reading. Otherwise `whole` says whether the plan
// covers the file; if not, it ends with a chunk whose first line is bad, and the second pass
// over the plan finds the file's first bad line. A file found changed by a round's reads is
// refused before that round's lines are looked at, as they may be neither version's.
template <typename Count, typename Check>
std::string planFile(InputFile& file, int64_t maxRecords, ChunkPlan& plan, ChunkCost& cost,
                     bool& whole, Count&& count, Check&& check) {
  constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
  whole = true;
  while (file.text.nextRound()) {
    if (file.text.changed()) return fileChangedError(file.lineKind, file.path);
    const std::vector<std::string_view>& chunks = file.text.chunks();
    const bool fileStart = plan.chunks() == 0;
    std::vector<ChunkCost> costs(chunks.size());
    auto [bad, error] = firstError(file, chunks.size(), [&](int32_t k) {
      ChunkCost chunkCost;  // added up here: neighbouring entries share a cache line
      count(chunks[k], chunkCost);
      costs[k] = chunkCost;
      if (k == 0 && fileStart) return check(plan.next(file, chunks[0], maxRecords));
      return check(ChunkPlan().next(file, firstLineOf(chunks[k]), kNoLimit));
    });
    if (bad == 0 && fileStart) return error;
    for (size_t k = 0; k < chunks.size() && k <= bad; ++k) {
      plan.add(costs[k].lines, costs[k].records);
      cost += costs[k];
    }
    if (bad < chunks.size()) {
      whole = false;
      return std::string();
    }
  }
  return textError(file);
}

// The second pass: reads the file again and runs store(input, k) on every chunk k of the plan.
// A plan of the `whole` file must take the file to its end; the error is the first in file
// order, and when the file no longer holds the chunks the plan found or changed while it was
// read, changedError's.
std::string storeFile(InputFile& file, const ChunkPlan& plan, bool whole, int64_t maxRecords,
                      const std::function<std::string(const ChunkInput&, size_t)>& store) {
  const std::string changed = fileChangedError(file.lineKind, file.path);
  file.text.rewind();
  size_t next = 0;
  while (next < plan.chunks() && file.text.nextRound()) {
    if (file.text.changed()) return changed;
    const std::vector<std::string_view>& chunks = file.text.chunks();
    const size_t count = std::min(chunks.size(), plan.chunks() - next);
    if (whole && count < chunks.size()) return changed;
    std::string error = firstError(file, count, [&](int32_t k) {
                          return store(plan.chunk(file, next + k, chunks[k], maxRecords), next + k);
                        }).second;
    if (!error.empty()) return error;
    next += count;
  }
  const bool beyondPlan = whole && next == plan.chunks() && file.text.nextRound();
  const std::string error = textError(file);
  if (!error.empty()) return error;
  if (next < plan.chunks() || !whole || beyondPlan) return changed;
  return std::string();
}

// Sizes `records` for `count` records, which with what they hold take `bytes`; the Error text
// when that memory cannot be had.
std::string allocateRecords(const InputFile& file, int64_t count, uint64_t bytes,
                            const ReadLimits& limits, const char* recordKind,
                            std::vector<Shape>& records) {
  const std::string what = noMemory(std::to_string(count) + " " + recordKind + " of " +
                                    file.kind + " " + file.path);
  if (const std::optional<utils::AvailableMemory> available =
          utils::shortOf(bytes, limits.availableMemory))
    return utils::shortfallError(what, bytes, *available);
  try {
    utils::reserveTouched(records, static_cast<size_t>(count));
    records.assign(static_cast<size_t>(count), Shape(std::string(), 0));
  } catch (const std::bad_alloc&) {
    records = std::vector<Shape>();
    return what;
  }
  return std::string();
}

std::string readCells(InputFile& file, const ReadLimits& limits, std::vector<Shape>& cells) {
  ChunkPlan plan;
  ChunkCost cost;
  bool whole = true;
  std::string error =
      planFile(file, limits.maxRecords, plan, cost, whole, countCellChunk, checkCellChunk);
  if (!error.empty()) return error;
  // Records beyond the limit are refused by the second pass before they need a slot.
  const int64_t count = std::min(plan.slots(), limits.maxRecords);
  const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(Shape) + cost.nameBytes;
  error = allocateRecords(file, count, bytes, limits, "cells", cells);
  if (!error.empty()) return error;
  return storeFile(file, plan, whole, limits.maxRecords, [&](const ChunkInput& input, size_t) {
    return parseCellChunk(input, cells);
  });
}

std::string readNets(InputFile& file, const ReadLimits& limits, ExposureEngine& engine) {
  ChunkPlan plan;
  ChunkCost cost;
  bool whole = true;
  std::string error = planFile(file, limits.maxRecords, plan, cost, whole, countNetChunk,
                               [&](const ChunkInput& input) { return checkNetChunk(input, engine); });
  if (!error.empty()) return error;
  const int64_t count = std::min(plan.slots(), limits.maxRecords);
  error = allocateRecords(file, count, netFileBytes(count, cost), limits, "segments",
                          engine.segments);
  if (!error.empty()) return error;
  std::vector<NetChunk> chunks(plan.chunks());
  error = storeFile(file, plan, whole, limits.maxRecords, [&](const ChunkInput& input, size_t k) {
    return parseNetChunk(input, chunks[k], engine);
  });
  if (!error.empty()) return error;
  file.text.release();  // the records hold all the join needs
  const std::string what = noMemory("the nets of net file " + file.path);
  const uint64_t joinBytes = netJoinBytes(chunks, count);
  if (const std::optional<utils::AvailableMemory> available =
          utils::shortOf(joinBytes, limits.availableMemory))
    return utils::shortfallError(what, joinBytes, *available);
  try {
    joinNetChunks(chunks, plan.firstSlot, engine);
  } catch (const std::bad_alloc&) {
    return what;
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
  utils::logInfo(std::cout) << "Finish parsing nets." << std::endl;
  return std::string();
}

}  // namespace

std::string readDesign(ExposureEngine& engine, const ReadLimits& limits) {
  const RunConfig& config = *engine.config;
  InputFile cellFile(config.cell_file, "cell asset file", "Cell asset file", limits);
  InputFile netFile(config.net_file, "net file", "Net file", limits);
  // Neither open waits for a FIFO's writer, who may write the cells before the nets.
  if (!cellFile.text.open(config.cell_file))
    return "Fail to open cell asset file at " + config.cell_file;
  if (!netFile.text.open(config.net_file)) return "Fail to open net file at " + config.net_file;
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
  engine::ReadLimits limits;
  limits.availableMemory = memoryProbe;
  const std::string error = engine::readDesign(*this, limits);
  if (!error.empty()) utils::fatalError(error);
  logSummary(*this);
}
