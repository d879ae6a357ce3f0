#include "engine/chunk_input.h"

#include "engine/input_lines.h"

namespace engine {

std::string ChunkInput::lineError(uint64_t lineNumber, const std::string& problem) const {
  return engine::lineError(lineKind, *path, lineNumber, problem);
}

std::string ChunkInput::limitError(uint64_t lineNumber, int64_t slot, const char* records) const {
  if (slot < maxRecords) return std::string();
  return lineError(lineNumber, "more than " + std::to_string(maxRecords) + " " + records);
}

std::string ChunkInput::changedError() const { return fileChangedError(lineKind, *path); }

std::string fileChangedError(const char* lineKind, const std::string& path) {
  return std::string(lineKind) + " " + path + " changed while it was read";
}

uint64_t nameHeapBytes(size_t length) {
  constexpr size_t kInPlace = 15;  // characters a std::string holds without the heap
  return length <= kInPlace ? 0 : (length + 1 + 8 + 15) / 16 * 16;
}

ChunkCost& ChunkCost::operator+=(const ChunkCost& other) {
  lines += other.lines;
  records += other.records;
  nameBytes += other.nameBytes;
  netEntries += other.netEntries;
  return *this;
}

}  // namespace engine
