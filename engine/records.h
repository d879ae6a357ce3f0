// The grid engine's records: rectangles in layout units (Box), boxes of bins (BinBox), input
// rectangles (Shape) and nets (Net).
//
// A BinBox covers the bins (x, y) with xlo <= x < xhi and ylo <= y < yhi; upper bounds are
// exclusive, so a box with xhi <= xlo or yhi <= ylo covers no bin.
#pragma once

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

// A rectangle in layout units with a layer index. Built without values it is inverted
// (lower edges above upper edges) on layer 0.
struct Box {
  double xlo = std::numeric_limits<double>::infinity();
  double xhi = -std::numeric_limits<double>::infinity();
  double ylo = std::numeric_limits<double>::infinity();
  double yhi = -std::numeric_limits<double>::infinity();
  int32_t layer = 0;
};

// A box of bins: positions in the x and y edge lists, upper bounds exclusive. Built without
// values it covers no bin.
struct BinBox {
  int32_t xlo = std::numeric_limits<int32_t>::max();
  int32_t xhi = std::numeric_limits<int32_t>::min();
  int32_t ylo = std::numeric_limits<int32_t>::max();
  int32_t yhi = std::numeric_limits<int32_t>::min();
  int32_t layer = 0;
};

// Whether `box` covers at least one bin.
inline bool coversBins(const BinBox& box) { return box.xhi > box.xlo && box.yhi > box.ylo; }

// The number of bins between `edges`: one less than the number of edges (-1 for none).
inline int32_t binCount(const std::vector<double>& edges) {
  return static_cast<int32_t>(edges.size()) - 1;
}

// Writes "[x: (xlo, xhi), y: (ylo, yhi)]"; the layer is not written.
std::ostream& printBinBox(std::ostream& out, const BinBox& box);
inline std::ostream& operator<<(std::ostream& out, const BinBox& box) {
  return printBinBox(out, box);
}

// One input rectangle: a cell asset (layer -1, no net) or a metal segment (its layer index and
// the id of its net). Edges are stored as read, never reordered.
struct Shape {
  Shape(std::string name, int32_t id) : name(std::move(name)), id(id) {}
  Shape(std::string name, int32_t id, int32_t netId)
      : name(std::move(name)), id(id), netId(netId) {}

  std::string name;
  int32_t id;
  int32_t netId = -1;  // segments only
  double xlo = Box().xlo;
  double xhi = Box().xhi;
  double ylo = Box().ylo;
  double yhi = Box().yhi;
  int32_t layer = 0;
  BinBox binBox;  // written by discretization
};

// One net of the net file with its segments in file order.
struct Net {
  Net(std::string name, int32_t id, bool isAsset)
      : name(std::move(name)), id(id), isAsset(isAsset) {}

  std::string name;
  int32_t id;
  bool isAsset;
  std::vector<int32_t> segmentIds;
};
