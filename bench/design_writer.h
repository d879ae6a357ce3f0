// Writes the two files of a generated design through large buffers: the cell asset file
// ("cell <name> x1 y1 x2 y2 N") and the net file ("seg <segment> <net> x1 y1 x2 y2 M<k>:metal<k>
// <flag> x"), coordinates in um with three decimals or, on request, as integer nm. Counts what it
// wrote, and on request the distinct x and y edges (what the program's discretization will find).
// Single-threaded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/layout_rules.h"

namespace bench {

struct DesignCounts {
  int64_t cells = 0;
  int64_t nets = 0;
  int64_t assetNets = 0;
  int64_t segments = 0;
  std::vector<int64_t> segmentsPerLayer;  // index k - 1 for metal<k>
  int64_t distinctX = -1;                 // -1 unless edges were collected
  int64_t distinctY = -1;
};

class DesignWriter {
 public:
  // REQUIRES: layers >= 1. Check ok() before writing.
  DesignWriter(const std::string& cellPath, const std::string& netPath, int layers,
               bool collectEdges);
  ~DesignWriter();
  DesignWriter(const DesignWriter&) = delete;
  DesignWriter& operator=(const DesignWriter&) = delete;

  bool ok() const { return cellFile_ != nullptr && netFile_ != nullptr && !failed_; }
  // Writes the coordinates as integer nm ("12345") instead of um ("12.345").
  // REQUIRES: nothing written yet.
  void useNanometres() { nanometres_ = true; }
  // REQUIRES: r has positive width and height; names hold no white space.
  void addCell(std::string_view name, const Rect& r);
  // Starts a net; the segments added after it belong to it. Every line of an asset net has flag 1.
  void beginNet(std::string_view name, bool asset);
  // REQUIRES: a net was begun; 1 <= r.layer <= layers; positive width and height.
  void addSegment(const Rect& r);
  // Flushes and closes both files and computes the edge counts; false when a write failed.
  bool finish();
  const DesignCounts& counts() const { return counts_; }

 private:
  void putCoords(std::vector<char>& out, const Rect& r);
  void flush(std::vector<char>& out, std::FILE* file, size_t threshold);
  void noteEdges(const Rect& r);

  std::FILE* cellFile_ = nullptr;
  std::FILE* netFile_ = nullptr;
  std::vector<char> cellBuf_;
  std::vector<char> netBuf_;
  std::string netName_;
  char flag_ = '0';
  bool failed_ = false;
  bool collectEdges_ = false;
  bool nanometres_ = false;
  std::vector<int64_t> xs_;
  std::vector<int64_t> ys_;
  DesignCounts counts_;
};

}  // namespace bench
