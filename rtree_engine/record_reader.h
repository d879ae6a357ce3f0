// The records of one input file of the R-tree engine: groups of a fixed number of tokens,
// numbered from 1, and the conversions of their tokens. Every error is an RtreeInputError whose
// message names the file, the record and what is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtree_engine/rtree_engine.h"
#include "rtree_engine/rtree_types.h"
#include "rtree_engine/token_reader.h"

class RecordReader {
 public:
  // `kind` names the file in messages ("Net file", "Cell asset file").
  RecordReader(std::string kind, std::string path, size_t tokensPerRecord);

  // Throws when the file could not be opened for reading.
  void requireOpen() const;
  // Reads the next record; false when no token is left. Throws when the file ends inside a
  // record or cannot be read.
  bool next();

  // REQUIRES: 1 <= n <= tokensPerRecord, and next() returned true.
  const std::string& token(size_t n) const { return tokens_[n - 1]; }
  // Token n through single precision.
  double number(size_t n) const;
  // The layer number of token n. Throws unless it lies in 1 to maxLayer.
  int32_t layer(size_t n, int32_t maxLayer) const;
  // Token n through single precision; throws unless it is finite.
  double coordinate(size_t n) const;
  // Tokens first to first + 3 as coordinates min x, min y, max x, max y. Throws when a min
  // exceeds its max.
  RtreeBox box(size_t first) const;

  RtreeInputError error(const std::string& what) const;

 private:
  std::string kind_;
  std::string path_;
  TokenReader reader_;
  std::vector<std::string> tokens_;
  size_t record_ = 0;
};
