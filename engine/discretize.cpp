// discretize and the bin/coordinate helpers: the distinct x and y edges of every cell and
// segment cut the plane into bins; every shape becomes the box of bins it covers.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/parallel_loop.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace {

// Fewer shapes than this are handled on the calling thread: waking the others costs more.
constexpr int64_t kParallelShapes = int64_t{1} << 14;


// The low and the high edge of every cell, then of every segment, on one axis.
std::vector<double> collectEdges(const std::vector<Shape>& cells,
                                 const std::vector<Shape>& segments, double Shape::*low,
                                 double Shape::*high) {
  const int64_t cellCount = static_cast<int64_t>(cells.size());
  const int64_t count = cellCount + static_cast<int64_t>(segments.size());
  std::vector<double> coords;
  utils::reserveTouched(coords, 2 * count);
  coords.resize(2 * count);
#pragma omp parallel for schedule(static) if (count >= kParallelShapes)
  for (int64_t i = 0; i < count; ++i) {
    const Shape& shape = i < cellCount ? cells[i] : segments[i - cellCount];
    coords[2 * i] = shape.*low;
    coords[2 * i + 1] = shape.*high;
  }
  return coords;
}

// A set of doubles kept by their bit patterns in a hash table (open addressing, at most half
// full), with its values in the order they first came. Add values + 0.0, so that -0.0 and 0.0
// are one; no value may be the NaN that marks an empty slot.
class DistinctValues {
 public:
  void add(double value) {
    const uint64_t bits = bitsOf(value);
    const size_t slot = find(bits);
    if (table_[slot] != kEmpty) return;
    table_[slot] = bits;
    values_.push_back(value);
    if (2 * values_.size() > table_.size()) grow();
  }
  std::vector<double>& values() { return values_; }

 private:
  static constexpr uint64_t kEmpty = ~uint64_t{0};

  static uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }
  // The slot that holds `bits`, or the empty slot where they belong.
  size_t find(uint64_t bits) const {
    const size_t mask = table_.size() - 1;
    size_t slot = (bits * 0x9E3779B97F4A7C15u) >> shift_;
    while (table_[slot] != kEmpty && table_[slot] != bits) slot = (slot + 1) & mask;
    return slot;
  }
  void grow() {
    table_.assign(2 * table_.size(), kEmpty);
    --shift_;
    for (const double value : values_) table_[find(bitsOf(value))] = bitsOf(value);
  }

  int shift_ = 64 - 12;
  std::vector<uint64_t> table_ = std::vector<uint64_t>(size_t{1} << 12, kEmpty);
  std::vector<double> values_;
};

// The distinct values of [begin, end) in ascending order, zero as 0.0. Layouts repeat their
// coordinates many times, so only the distinct ones are sorted.
std::vector<double> sortedDistinct(const double* begin, const double* end) {
  DistinctValues distinct;
  for (const double* value = begin; value != end; ++value) distinct.add(*value + 0.0);
  std::sort(distinct.values().begin(), distinct.values().end());
  return std::move(distinct.values());
}

// The distinct values of two ascending lists of distinct values, ascending.
std::vector<double> mergeDistinct(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> merged(a.size() + b.size());
  merged.erase(std::set_union(a.begin(), a.end(), b.begin(), b.end(), merged.begin()),
               merged.end());
  return merged;
}

// Sets the bin indices of every shape's binBox (and, for segments, its layer); one Warning line
// per shape that is flat in x or in y, in shape order.
void mapShapes(const std::vector<double>& xEdges, const std::vector<double>& yEdges,
               bool isSegment, std::vector<Shape>& shapes) {
  const int64_t count = static_cast<int64_t>(shapes.size());
  std::vector<uint8_t> flat(count);
#pragma omp parallel for schedule(static) if (count >= kParallelShapes)
  for (int64_t i = 0; i < count; ++i) {
    Shape& shape = shapes[i];
    BinBox& box = shape.binBox;
    box.xlo = ExposureEngine::coordIndex(xEdges, shape.xlo);
    box.xhi = ExposureEngine::coordIndex(xEdges, shape.xhi);
    box.ylo = ExposureEngine::coordIndex(yEdges, shape.ylo);
    box.yhi = ExposureEngine::coordIndex(yEdges, shape.yhi);
    if (isSegment) box.layer = shape.layer;
    flat[i] = box.xhi == box.xlo || box.yhi == box.ylo;
  }
  for (int64_t i = 0; i < count; ++i)
    if (flat[i])
      utils::logAt(4, std::cout) << "Having object with zero width! Please check "
                                 << shapes[i].name << std::endl;
}

void failOnError(const std::string& error) {
  if (!error.empty()) utils::fatalError(error);
}

// The coordinates of one axis, two a shape, and a flag a shape for the warnings.
uint64_t coordinateBytes(int64_t shapes) {
  return static_cast<uint64_t>(shapes) * (2 * sizeof(double) + 1);
}

}  // namespace

std::string ExposureEngine::edgeCountError(char axis, size_t edges) {
  if (edges <= kMaxEdges) return std::string();
  return std::string("Too many distinct ") + axis + " coordinates: " + std::to_string(edges) +
         " (bin indices allow at most " + std::to_string(kMaxEdges) + ")";
}

std::string ExposureEngine::discretizationMemoryError(int64_t shapes,
                                                      const utils::AvailableMemory& available) {
  const uint64_t bytes = coordinateBytes(shapes);
  if (bytes <= available.bytes) return std::string();
  return utils::shortfallError("Cannot allocate memory for the discretization", bytes, available);
}

void ExposureEngine::discretize() {
  utils::logInfo(std::cout) << "Start discret mapping" << std::endl;
  const int64_t shapes = static_cast<int64_t>(cells.size() + segments.size());
  if (coordinateBytes(shapes) >= utils::kUncheckedBytes)
    failOnError(discretizationMemoryError(shapes, utils::availableMemory()));
  // One axis at a time: each scratch list of coordinates dies with its statement.
  utils::logInfo(std::cout) << "Handling X-coords" << std::endl;
  sortUnique(xEdges, collectEdges(cells, segments, &Shape::xlo, &Shape::xhi));
  failOnError(edgeCountError('x', xEdges.size()));
  utils::logInfo(std::cout) << "Handling Y-coords" << std::endl;
  sortUnique(yEdges, collectEdges(cells, segments, &Shape::ylo, &Shape::yhi));
  failOnError(edgeCountError('y', yEdges.size()));
  mapShapes(xEdges, yEdges, false, cells);
  mapShapes(xEdges, yEdges, true, segments);
  discretized = true;
  utils::logInfo(std::cout) << "Finish discretization" << std::endl;
}

// Each thread takes the distinct values of a slice in order; the slices are then merged. Since
// layouts repeat their coordinates many times, the merged lists are short.
void ExposureEngine::sortUnique(std::vector<double>& edges, const std::vector<double>& coords) {
  const int32_t slices = static_cast<int32_t>(
      std::clamp<size_t>(coords.size() / kSliceValues, 1, omp_get_max_threads()));
  std::vector<std::vector<double>> sorted(slices);
  parallelFor(slices, [&](int32_t s) {
    sorted[s] = sortedDistinct(coords.data() + coords.size() * s / slices,
                               coords.data() + coords.size() * (s + 1) / slices);
  });
  for (int32_t s = 1; s < slices; ++s) sorted[0] = mergeDistinct(sorted[0], sorted[s]);
  edges = std::move(sorted[0]);
  edges.shrink_to_fit();
  utils::logInfo(std::cout) << "After remove duplicates: " << edges.size() << " unique values"
                            << std::endl;
}

// A lower bound whose halving steps pick their half without a branch (a conditional move), as
// the comparisons of a search for scattered coordinates cannot be predicted.
int32_t ExposureEngine::coordIndex(const std::vector<double>& edges, double coord) {
  if (edges.empty()) return 0;
  const double* base = edges.data();
  for (size_t n = edges.size(); n > 1; n -= n / 2) base = base[n / 2] < coord ? base + n / 2 : base;
  return static_cast<int32_t>(base - edges.data()) + (*base < coord ? 1 : 0);
}

double ExposureEngine::coordAt(const std::vector<double>& edges, int32_t index) {
  return edges[index];
}

Box ExposureEngine::binBoxToBox(const BinBox& box) const {
  Box result;
  result.xlo = coordAt(xEdges, box.xlo);
  result.xhi = coordAt(xEdges, box.xhi);
  result.ylo = coordAt(yEdges, box.ylo);
  result.yhi = coordAt(yEdges, box.yhi);
  result.layer = box.layer;
  return result;
}

BinBox ExposureEngine::shrinkBinBox(const BinBox& box) {
  BinBox result = box;
  --result.xhi;
  --result.yhi;
  return result;
}

BinBox ExposureEngine::growBinBox(const BinBox& box) {
  BinBox result = box;
  ++result.xhi;
  ++result.yhi;
  return result;
}
