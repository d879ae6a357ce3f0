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

bool coversBins(const BinBox& box) { return box.xhi > box.xlo && box.yhi > box.ylo; }

// The positions of the segments that cover bins, by ascending first bin column.
std::vector<int32_t> byFirstColumn(const std::vector<Shape>& segments) {
  std::vector<int32_t> ids;
  for (size_t i = 0; i < segments.size(); ++i)
    if (coversBins(segments[i].binBox)) ids.push_back(static_cast<int32_t>(i));
  std::sort(ids.begin(), ids.end(), [&](int32_t a, int32_t b) {
    return segments[a].binBox.xlo < segments[b].binBox.xlo;
  });
  return ids;
}

}  // namespace

std::string gridMemoryError(int32_t nx, int32_t ny, uint64_t availableBytes) {
  if (availableBytes == 0 || gridBytes(nx, ny) <= availableBytes) return std::string();
  return gridMessage(nx, ny) + ", " + std::to_string(availableBytes) + " available";
}

TopLayerGrid::TopLayerGrid(int32_t nx, int32_t ny, const std::vector<Shape>& segments,
                           int64_t stripeBytes)
    : nx_(nx > 0 && ny > 0 ? nx : 0), ny_(nx > 0 && ny > 0 ? ny : 0) {
  if (nx_ == 0) return;
  const std::string error = gridMemoryError(nx_, ny_, utils::availableMemoryBytes());
  if (!error.empty()) utils::fatalError(error);
  try {
    entries_.reset(new int8_t[gridBytes(nx_, ny_)]);
  } catch (const std::bad_alloc&) {
    utils::fatalError(gridMessage(nx_, ny_));
  }
  fillStripes(segments, stripeBytes);
}

// Fills the columns stripe by stripe, left to right; a segment takes part in every stripe its
// columns reach. Each entry ends as the highest layer over it whatever the order.
void TopLayerGrid::fillStripes(const std::vector<Shape>& segments, int64_t stripeBytes) {
  const int64_t width = std::max<int64_t>(1, stripeBytes / ny_);
  const std::vector<int32_t> pending = byFirstColumn(segments);
  std::vector<int32_t> active;
  size_t next = 0;
  for (int64_t lo = 0; lo < nx_; lo += width) {
    const int32_t xlo = static_cast<int32_t>(lo);
    const int32_t xhi = static_cast<int32_t>(std::min<int64_t>(nx_, lo + width));
    std::fill(column(xlo), column(xhi), static_cast<int8_t>(-1));
    for (; next < pending.size() && segments[pending[next]].binBox.xlo < xhi; ++next)
      active.push_back(pending[next]);
    for (int32_t id : active) raise(segments[id].binBox, xlo, xhi);
    active.erase(std::remove_if(active.begin(), active.end(),
                                [&](int32_t id) { return segments[id].binBox.xhi <= xhi; }),
                 active.end());
  }
}

// Lifts every entry under `box` in the columns xlo..xhi-1 to the box's layer.
void TopLayerGrid::raise(const BinBox& box, int32_t xlo, int32_t xhi) {
  const int8_t layer = static_cast<int8_t>(box.layer);
  for (int32_t x = std::max(box.xlo, xlo); x < std::min(box.xhi, xhi); ++x) {
    int8_t* entries = column(x);
    for (int32_t y = box.ylo; y < box.yhi; ++y) entries[y] = std::max(entries[y], layer);
  }
}
