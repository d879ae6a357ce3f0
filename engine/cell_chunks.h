// The cell asset file parsed in chunks of whole lines, one chunk per task on any thread: a
// first reading counts a chunk's lines and the lines that can hold a cell (checking some of
// them), a second parses them into their slots.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/chunk_input.h"
#include "engine/records.h"

namespace engine {

// Adds to `cost` the lines of `text`, those that can hold a cell (long enough and not blank:
// up to the first bad line, the cells) and the heap bytes of their names.
void countCellChunk(std::string_view text, ChunkCost& cost);

// Checks the lines of `input` as parseCellChunk reads them, storing nothing. Returns the Error
// text of the first bad line ("" when none).
std::string checkCellChunk(const ChunkInput& input);

// Parses the lines of `input` into cells[input.firstSlot..input.endSlot). Returns the Error
// text of the first bad line ("" when none), or changedError when the lines hold other records
// than checkCellChunk found. REQUIRES: `cells` holds the slots up to input.endSlot.
std::string parseCellChunk(const ChunkInput& input, std::vector<Shape>& cells);

}  // namespace engine
