#include "engine/top_layer_grid.h"

#include <algorithm>
#include <new>

#include "utils/log.h"
#include "utils/memory.h"

namespace {

uint64_t gridBytes(int32_t nx, int32_t ny) {
  return static_cast<uint64_t>(nx) * static_cast<uint64_t>(ny);
}

std::string gridMessage(int32_t nx, int32_t ny) {
  return "Cannot allocate the top-layer grid of " + std::to_string(nx) + " x " +
         std::to_string(ny) + " bins: " + std::to_string(gridBytes(nx, ny)) + " bytes needed";
}

}  // namespace

std::string gridMemoryError(int32_t nx, int32_t ny, uint64_t availableBytes) {
  if (availableBytes == 0 || gridBytes(nx, ny) <= availableBytes) return std::string();
  return gridMessage(nx, ny) + ", " + std::to_string(availableBytes) + " available";
}

TopLayerGrid::TopLayerGrid(int32_t nx, int32_t ny, const std::vector<Shape>& segments)
    : nx_(std::max(nx, 0)), ny_(std::max(ny, 0)) {
  if (nx_ == 0 || ny_ == 0) {
    nx_ = ny_ = 0;
    return;
  }
  const std::string error = gridMemoryError(nx_, ny_, utils::availableMemoryBytes());
  if (!error.empty()) utils::fatalError(error);
  try {
    entries_.assign(gridBytes(nx_, ny_), static_cast<int8_t>(-1));
  } catch (const std::bad_alloc&) {
    utils::fatalError(gridMessage(nx_, ny_));
  }
  for (const Shape& segment : segments) raise(segment.binBox);
}

// Lifts every entry under `box` to the box's layer.
void TopLayerGrid::raise(const BinBox& box) {
  if (box.xhi <= box.xlo || box.yhi <= box.ylo) return;
  const int8_t layer = static_cast<int8_t>(box.layer);
  for (int32_t x = box.xlo; x < box.xhi; ++x) {
    int8_t* column = entries_.data() + static_cast<size_t>(x) * static_cast<size_t>(ny_);
    for (int32_t y = box.ylo; y < box.yhi; ++y) column[y] = std::max(column[y], layer);
  }
}
