// discretize and the bin/coordinate helpers: the distinct x and y edges of every cell and
// segment cut the plane into bins; every shape becomes the box of bins it covers.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/parallel_loop.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace {

// The low and the high edge of every cell, then of every segment, on one axis.
std::vector<double> collectEdges(const std::vector<Shape>& cells,
                                 const std::vector<Shape>& segments, double Shape::*low,
                                 double Shape::*high) {
  const int64_t cellCount = static_cast<int64_t>(cells.size());
  const int64_t count = cellCount + static_cast<int64_t>(segments.size());
  std::vector<double> coords;
  utils::reserveTouched(coords, 2 * count);
  coords.resize(2 * count);
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < count; ++i) {
    const Shape& shape = i < cellCount ? cells[i] : segments[i - cellCount];
    coords[2 * i] = shape.*low;
    coords[2 * i + 1] = shape.*high;
  }
  return coords;
}

// Sorts `values` and drops repeats (values equal by ==, such as 0.0 and -0.0, are repeats).
void sortDistinct(std::vector<double>& values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
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
#pragma omp parallel for schedule(static)
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

}  // namespace

std::string ExposureEngine::edgeCountError(char axis, size_t edges) {
  if (edges <= kMaxEdges) return std::string();
  return std::string("Too many distinct ") + axis + " coordinates: " + std::to_string(edges) +
         " (bin indices allow at most " + std::to_string(kMaxEdges) + ")";
}

void ExposureEngine::discretize() {
  utils::logInfo(std::cout) << "Start discret mapping" << std::endl;
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

// Each thread sorts a slice and drops its repeats; the slices are then merged pairwise. Since
// layouts repeat their coordinates many times, the merged lists are short.
void ExposureEngine::sortUnique(std::vector<double>& edges, const std::vector<double>& coords) {
  const int32_t slices = static_cast<int32_t>(
      std::clamp<size_t>(coords.size() / kSliceValues, 1, omp_get_max_threads()));
  std::vector<std::vector<double>> sorted(slices);
  parallelFor(slices, [&](int32_t s) {
    sorted[s].assign(coords.begin() + coords.size() * s / slices,
                     coords.begin() + coords.size() * (s + 1) / slices);
    sortDistinct(sorted[s]);
  });
  for (int32_t width = 1; width < slices; width *= 2) {
    parallelFor((slices + 2 * width - 1) / (2 * width), [&](int32_t pair) {
      const int32_t first = 2 * width * pair, second = first + width;
      if (second < slices) sorted[first] = mergeDistinct(sorted[first], sorted[second]);
    });
  }
  edges = std::move(sorted[0]);
  for (double& edge : edges) edge += 0.0;  // -0.0 becomes 0.0, whichever slice kept it
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
