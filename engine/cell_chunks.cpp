#include "engine/cell_chunks.h"

#include "engine/input_lines.h"

namespace engine {
namespace {

// Calls add(slot, fields) for every cell line of the chunk while add returns ""; returns the
// Error text that ended the walk ("" when none did) and counts the lines walked in `lines`.
template <typename Add>
std::string forEachCell(const ChunkInput& input, uint64_t& lines, Add&& add) {
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
  lines = lineNumber - input.firstLine;
  return error;
}

}  // namespace

std::string checkCellChunk(const ChunkInput& input, ChunkCost& cost) {
  return forEachCell(input, cost.lines, [&](int64_t, const CellLine& fields) {
    ++cost.records;
    cost.nameBytes += nameHeapBytes(fields.name.size());
    return std::string();
  });
}

std::string parseCellChunk(const ChunkInput& input, std::vector<Shape>& cells) {
  int64_t end = input.firstSlot;
  uint64_t lines = 0;
  const std::string error = forEachCell(input, lines, [&](int64_t slot, const CellLine& fields) {
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
