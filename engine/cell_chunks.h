// The cell asset file parsed in chunks of whole lines, one chunk per task on any thread: a
// first reading checks a chunk's lines and counts its records, a second stores them in their
// slots.
#pragma once

#include <string>
#include <vector>

#include "engine/chunk_input.h"
#include "engine/records.h"

namespace engine {

// Checks the lines of `input` as parseCellChunk reads them and adds what they cost to `cost`.
// Returns the Error text of the first bad line ("" when none).
std::string checkCellChunk(const ChunkInput& input, ChunkCost& cost);

// Parses the lines of `input` into cells[input.firstSlot..input.endSlot). Returns the Error
// text of the first bad line ("" when none), or changedError when the lines hold other records
// than checkCellChunk found. REQUIRES: `cells` holds the slots up to input.endSlot.
std::string parseCellChunk(const ChunkInput& input, std::vector<Shape>& cells);

}  // namespace engine
