// discretize and the bin/coordinate helpers: the distinct x and y edges of every cell and
// segment cut the plane into bins; every shape becomes the box of bins it covers.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"
#include "utils/log.h"

namespace {

// The low and the high edge of every cell, then of every segment, on one axis.
std::vector<double> collectEdges(const std::vector<Shape>& cells,
                                 const std::vector<Shape>& segments, double Shape::*low,
                                 double Shape::*high) {
  std::vector<double> coords;
  coords.reserve(2 * (cells.size() + segments.size()));
  for (const std::vector<Shape>* shapes : {&cells, &segments}) {
    for (const Shape& shape : *shapes) {
      coords.push_back(shape.*low);
      coords.push_back(shape.*high);
    }
  }
  return coords;
}

// Sets the bin indices of every shape's binBox (and, for segments, its layer); one Warning line
// per shape that is flat in x or in y.
void mapShapes(const std::vector<double>& xEdges, const std::vector<double>& yEdges,
               bool isSegment, std::vector<Shape>& shapes) {
  for (Shape& shape : shapes) {
    BinBox& box = shape.binBox;
    box.xlo = ExposureEngine::coordIndex(xEdges, shape.xlo);
    box.xhi = ExposureEngine::coordIndex(xEdges, shape.xhi);
    box.ylo = ExposureEngine::coordIndex(yEdges, shape.ylo);
    box.yhi = ExposureEngine::coordIndex(yEdges, shape.yhi);
    if (isSegment) box.layer = shape.layer;
    if (box.xhi == box.xlo || box.yhi == box.ylo)
      utils::logAt(4, std::cout) << "Having object with zero width! Please check " << shape.name
                                 << std::endl;
  }
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

void ExposureEngine::sortUnique(std::vector<double>& edges, const std::vector<double>& coords) {
  edges = coords;
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
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
