// Seeded random designs that both engines must read alike: every coordinate a multiple of a
// power-of-two unit within a range that single precision holds exactly, every rectangle at
// least one unit wide and high, and every line of an asset net flagged 1.
#pragma once

#include <cstdint>
#include <string>

struct ExactDesignOptions {
  uint64_t seed = 1;
  double unit = 0.125;      // a power of two; every coordinate is a multiple of it
  int64_t span = 256;       // coordinates lie in 0 .. span * unit. REQUIRES: 16 <= span <= 2^24
  int32_t layers = 10;      // layer fields M1:metal1 .. M<layers>:metal<layers>
  int32_t cells = 24;
  int32_t nets = 40;        // every other net, the first included, is an asset net
  int32_t maxSegments = 6;  // each net has 1 to this many lines
};

// Writes the cell asset file and the net file: full-length lines (7 and 10 fields), unique cell
// and segment names, the lines of all nets shuffled together, plain net lines flagged 0.
void writeExactDesign(const ExactDesignOptions& options, const std::string& cellPath,
                      const std::string& netPath);
