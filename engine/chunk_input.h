// One chunk of an input file as the reader hands it to a parse, in either of the two readings
// of the file: where it lies, how its errors name the file, and what the first reading learns
// of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/input_lines.h"
#include "engine/line_fields.h"

namespace engine {

// Where one chunk of an input file lies and how its line errors name the file.
struct ChunkInput {
  std::string_view text;
  uint64_t firstLine;    // number of the chunk's first line in the file, from 1
  int64_t firstSlot;     // position of the chunk's first record in the record list
  int64_t endSlot;       // position after the chunk's last record, as the first pass found
  int64_t maxRecords;    // records the list may hold
  const char* lineKind;  // "Net file", the head of a line error
  const std::string* path;

  // The Error text for line `lineNumber` of the chunk's file.
  std::string lineError(uint64_t lineNumber, const std::string& problem) const;
  // The Error text when the record of line `lineNumber` would go in `slot`: a record beyond
  // maxRecords (`records` names them, e.g. "segments"); "" when the slot is within it.
  std::string limitError(uint64_t lineNumber, int64_t slot, const char* records) const;
  // The Error text when the second reading of the chunk does not hold the records of the first.
  std::string changedError() const;
};

// The Error text when a file did not hold the same lines when it was read again.
std::string fileChangedError(const char* lineKind, const std::string& path);

// What the first reading of a chunk counts: its lines, those that can hold a record (up to its
// first bad line, its records) and the memory the records will take.
struct ChunkCost {
  uint64_t lines = 0;
  int64_t records = 0;
  uint64_t nameBytes = 0;  // taken on the heap by the names of its records and nets
  int64_t netEntries = 0;  // net files: at most this many nets are named in the chunk

  ChunkCost& operator+=(const ChunkCost& other);
};

// The heap bytes a std::string of `length` characters takes (0 for a short one).
uint64_t nameHeapBytes(size_t length);

// Adds to cost.lines every line of `text` and to cost.records those that can hold a record (at
// least minLineBytes long and not blank), calling onRecord(fields) for each with the fields
// after the first still to read.
template <typename OnRecord>
void countRecordLines(std::string_view text, size_t minLineBytes, ChunkCost& cost,
                      OnRecord&& onRecord) {
  forEachLine(text, [&](std::string_view line) {
    ++cost.lines;
    LineFields fields(line);
    std::string_view ignored;
    if (line.size() < minLineBytes || fields.text(ignored) != FieldStatus::kOk) return true;
    ++cost.records;
    onRecord(fields);
    return true;
  });
}

}  // namespace engine
