#include "engine/cell_chunks.h"

#include "engine/input_lines.h"

namespace engine {
namespace {

// A line shorter than this cannot hold a cell: its six fields take at least 11 bytes
// ("a b 0-0-0-0": a sign may start a number right after the one before).
constexpr size_t kMinCellLineBytes = 11;

// Calls add(slot, fields) for every cell line of the chunk while add returns ""; returns the
// Error text that ended the walk ("" when none did).
template <typename Add>
std::string forEachCell(const ChunkInput& input, Add&& add) {
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
    if (error.empty()) error = add(slot++, fields);
    return error.empty();
  });
  return error;
}

}  // namespace

void countCellChunk(std::string_view text, ChunkCost& cost) {
  countRecordLines(text, kMinCellLineBytes, cost, [&](LineFields& fields) {
    std::string_view name;
    if (fields.text(name) == FieldStatus::kOk) cost.nameBytes += nameHeapBytes(name.size());
  });
}

std::string checkCellChunk(const ChunkInput& input) {
  return forEachCell(input, [](int64_t, const CellLine&) { return std::string(); });
}

std::string parseCellChunk(const ChunkInput& input, std::vector<Shape>& cells) {
  int64_t end = input.firstSlot;
  const std::string error = forEachCell(input, [&](int64_t slot, const CellLine& fields) {
    if (slot >= input.endSlot) return input.changedError();
    Shape& cell = cells[slot];
    cell.name.assign(fields.name);
    cell.id = static_cast<int32_t>(slot);
    cell.xlo = fields.xlo;
    cell.ylo = fields.ylo;
    cell.xhi = fields.xhi;
    cell.yhi = fields.yhi;
    cell.layer = -1;
    end = slot + 1;
    return std::string();
  });
  if (error.empty() && end != input.endSlot) return input.changedError();
  return error;
}

}  // namespace engine
