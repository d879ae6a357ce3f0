// discretize and the bin/coordinate helpers: the distinct x and y edges of every cell and
// segment cut the plane into bins; every shape becomes the box of bins it covers.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <optional>
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

// A set of at most `capacity` doubles kept by their bit patterns in a hash table (open
// addressing, at most half full), with its values in the order they first came. Add values +
// 0.0, so that -0.0 and 0.0 are one; no value may be the NaN that marks an empty slot.
class DistinctValues {
 public:
  // A set for a slice of coordinates holds this many values, or a sixteenth of the slice when
  // that is more: a slice of more distinct values is sorted in place instead.
  static constexpr size_t kSliceSetValues = size_t{1} << 16;
  static constexpr size_t kSliceShare = 16;

  // The most a set of `capacity` values takes: the room for its values, its last table and,
  // while that is made, the table of half the size before it.
  static uint64_t maxBytes(size_t capacity) {
    size_t slots = kFirstSlots;
    while (slots < 2 * capacity) slots *= 2;
    return (capacity + slots + slots / 2) * sizeof(double);
  }

  // REQUIRES: capacity > 0; the room for the values is taken at once.
  explicit DistinctValues(size_t capacity) : capacity_(capacity) { values_.reserve(capacity); }

  // Adds `value`; false, leaving the set as it was, when it is new and the set is full.
  bool add(double value) {
    const uint64_t bits = bitsOf(value);
    const size_t slot = find(bits);
    if (table_[slot] != kEmpty) return true;
    if (values_.size() == capacity_) return false;
    table_[slot] = bits;
    values_.push_back(value);
    if (2 * values_.size() > table_.size()) grow();
    return true;
  }
  std::vector<double>& values() { return values_; }

 private:
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  static constexpr size_t kFirstSlots = size_t{1} << 12;

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

  size_t capacity_;
  int shift_ = 64 - 12;
  std::vector<uint64_t> table_ = std::vector<uint64_t>(kFirstSlots, kEmpty);
  std::vector<double> values_;
};

// Replaces the front of [begin, end) with its distinct values in ascending order, zero as 0.0,
// and returns their number. Layouts repeat their coordinates many times, so the distinct ones
// are gathered in a hash set of `setCapacity` values and only they are sorted; a slice of more
// distinct values than that, or one given no set, is sorted in place instead.
size_t sortDistinctInPlace(double* begin, double* end, size_t setCapacity) {
  if (setCapacity > 0) {
    DistinctValues distinct(setCapacity);
    const double* value = begin;
    while (value != end && distinct.add(*value + 0.0)) ++value;
    if (value == end) {
      std::vector<double>& values = distinct.values();
      std::sort(values.begin(), values.end());
      std::copy(values.begin(), values.end(), begin);
      return values.size();
    }
  }
  for (double* v = begin; v != end; ++v) *v += 0.0;
  std::sort(begin, end);
  return static_cast<size_t>(std::unique(begin, end) - begin);
}

// The capacity of the hash set of each of `slices` slices of `sliceValues` values: as many
// values as a slice holds, up to kSliceSetValues or a sixteenth of the slice, halved until the
// sets of all slices fit in what `memoryProbe` says is left, 0 when not even small ones do.
size_t setCapacity(size_t sliceValues, int32_t slices, const utils::MemoryProbe& memoryProbe) {
  size_t capacity = std::min(sliceValues, std::max(DistinctValues::kSliceSetValues,
                                                   sliceValues / DistinctValues::kSliceShare));
  const std::optional<utils::AvailableMemory> available =
      utils::shortOf(slices * DistinctValues::maxBytes(capacity), memoryProbe);
  if (!available) return capacity;
  while (capacity > 0 && slices * DistinctValues::maxBytes(capacity) > available->bytes)
    capacity /= 2;
  return capacity;
}

// An ascending run of distinct values in a buffer.
struct Run {
  size_t begin = 0;
  size_t size = 0;
};

// Merges the runs of `from` in pairs, the first with the second and so on, into runs of `to`
// that keep each value once, each starting where the one before it ends in `to`.
std::vector<Run> mergePairs(const double* from, const std::vector<Run>& runs, double* to) {
  std::vector<Run> merged((runs.size() + 1) / 2);
  size_t begin = 0;
  for (size_t p = 0; p < merged.size(); ++p) {
    merged[p].begin = begin;
    for (size_t r = 2 * p; r < std::min(2 * p + 2, runs.size()); ++r) begin += runs[r].size;
  }
  parallelFor(static_cast<int32_t>(merged.size()), [&](int32_t p) {
    const Run& a = runs[2 * p];
    const Run b = 2 * p + 1 < static_cast<int32_t>(runs.size()) ? runs[2 * p + 1] : Run{};
    double* out = to + merged[p].begin;
    const double* end = std::set_union(from + a.begin, from + a.begin + a.size, from + b.begin,
                                       from + b.begin + b.size, out);
    merged[p].size = static_cast<size_t>(end - out);
  });
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

constexpr char kDiscretizationMemory[] = "Cannot allocate memory for the discretization";

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
  return utils::shortfallError(kDiscretizationMemory, bytes, available);
}

void ExposureEngine::discretize() {
  utils::logInfo(std::cout) << "Start discret mapping" << std::endl;
  // One axis at a time: each scratch list of coordinates dies with its statement.
  requireCoordinateMemory();
  utils::logInfo(std::cout) << "Handling X-coords" << std::endl;
  sortUnique(xEdges, collectEdges(cells, segments, &Shape::xlo, &Shape::xhi), memoryProbe);
  failOnError(edgeCountError('x', xEdges.size()));
  requireCoordinateMemory();
  utils::logInfo(std::cout) << "Handling Y-coords" << std::endl;
  sortUnique(yEdges, collectEdges(cells, segments, &Shape::ylo, &Shape::yhi), memoryProbe);
  failOnError(edgeCountError('y', yEdges.size()));
  mapShapes(xEdges, yEdges, false, cells);
  mapShapes(xEdges, yEdges, true, segments);
  discretized = true;
  utils::logInfo(std::cout) << "Finish discretization" << std::endl;
}

void ExposureEngine::requireCoordinateMemory() const {
  const int64_t shapes = static_cast<int64_t>(cells.size() + segments.size());
  if (const std::optional<utils::AvailableMemory> available =
          utils::shortOf(coordinateBytes(shapes), memoryProbe))
    throw utils::MemoryShortfallError(discretizationMemoryError(shapes, *available));
}

// Each thread takes the distinct values of a slice of the coordinates into the slice's front;
// the runs are then merged in pairs, round by round, between a buffer and the coordinates.
// Since layouts repeat their coordinates many times, the runs are short.
void ExposureEngine::sortUnique(std::vector<double>& edges, std::vector<double> coords,
                                const utils::MemoryProbe& memoryProbe) {
  const int32_t slices = static_cast<int32_t>(
      std::clamp<size_t>(coords.size() / kSliceValues, 1, omp_get_max_threads()));
  const auto sliceBegin = [&](int32_t s) { return coords.size() * s / slices; };
  const size_t capacity = setCapacity((coords.size() + slices - 1) / slices, slices, memoryProbe);
  std::vector<Run> runs(slices);
  parallelFor(slices, [&](int32_t s) {
    runs[s].begin = sliceBegin(s);
    runs[s].size = sortDistinctInPlace(coords.data() + sliceBegin(s),
                                       coords.data() + sliceBegin(s + 1), capacity);
  });
  size_t total = 0;
  for (const Run& run : runs) total += run.size;
  utils::requireMemory(kDiscretizationMemory, total * sizeof(double), memoryProbe);
  std::vector<double> buffer(total);
  double* from = coords.data();
  double* to = buffer.data();
  while (runs.size() > 1) {
    runs = mergePairs(from, runs, to);
    std::swap(from, to);
  }
  const size_t distinct = runs[0].size;
  if (from != buffer.data()) std::copy(from, from + distinct, buffer.data());
  buffer.resize(distinct);
  coords = std::vector<double>();
  buffer.shrink_to_fit();
  edges = std::move(buffer);
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
