// The highest metal layer over every bin: nx * ny signed bytes, flat and x-major
// (entry (x, y) at x * ny + y), -1 where no segment covers the bin.
//
// Built from every segment's binBox by a parallel loop over chunks of columns, then only read,
// so any number of threads may read one grid at once. Layer indices must lie in 0..127.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/records.h"
#include "utils/memory.h"

// The head of the Error line for memory that the exposure steps cannot have.
inline constexpr char kExposureMemory[] = "Cannot allocate memory for the exposure calculation";

class TopLayerGrid {
 public:
  // Columns are filled a stripe of about this many bytes at a time, so that the writes of
  // every segment over a stripe stay in the cache.
  static constexpr int64_t kStripeBytes = int64_t{1} << 20;
  // The columns are split into at most this many chunks of whole stripes for the threads.
  static constexpr int64_t kMaxChunks = 64;

  // An nx-by-ny grid over `segments`; nx or ny below 1 (a layout without bins) gives an empty
  // grid. It first lists the segments of each chunk of columns (4 bytes a segment and chunk),
  // then takes nx * ny bytes: either short of what `memoryProbe` says is left throws
  // utils::MemoryShortfallError ("Cannot allocate the segment lists of the top-layer grid of
  // <nx> x <ny> bins: ...", then gridMemoryError's text); a grid that the allocator then
  // refuses ends the process with an Error line.
  TopLayerGrid(int32_t nx, int32_t ny, const std::vector<Shape>& segments,
               int64_t stripeBytes = kStripeBytes,
               const utils::MemoryProbe& memoryProbe = utils::memoryLeft);

  // REQUIRES: 0 <= x < nx, 0 <= y < ny.
  int32_t at(int32_t x, int32_t y) const { return column(x)[y]; }
  int32_t nx() const { return nx_; }
  int32_t ny() const { return ny_; }

 private:
  int8_t* column(int64_t x) const { return entries_.get() + x * ny_; }
  void allocate(const utils::MemoryProbe& memoryProbe);
  void fillChunk(const std::vector<Shape>& segments, const std::vector<int32_t>& ids, int64_t lo,
                 int64_t hi, int64_t width);
  void raise(const BinBox& box, int32_t xlo, int32_t xhi);

  int32_t nx_;
  int32_t ny_;
  std::unique_ptr<int8_t[]> entries_;  // left untouched until its stripe is filled
};

// The Error text for a grid of nx * ny bytes when only `available` can be had, naming a control
// group's limit when that is what bounds it; empty when the grid fits.
std::string gridMemoryError(int32_t nx, int32_t ny, const utils::AvailableMemory& available);

