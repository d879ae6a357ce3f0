#include "engine/top_layer_grid.h"

#include <algorithm>
#include <new>
#include <optional>

#include "engine/parallel_loop.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace {

uint64_t gridBytes(int32_t nx, int32_t ny) {
  return static_cast<uint64_t>(nx) * static_cast<uint64_t>(ny);
}

std::string gridName(int32_t nx, int32_t ny) {
  return "the top-layer grid of " + std::to_string(nx) + " x " + std::to_string(ny) + " bins";
}

std::string gridMessage(int32_t nx, int32_t ny) { return "Cannot allocate " + gridName(nx, ny); }

// For every chunk of `chunkColumns` columns, the segments that reach into it (a segment over
// several chunks is listed in each; columns beyond the last chunk are not filled), in segment
// order. The lists are sized exactly, once `memoryProbe` says that they fit (short, the Error
// text begins with `what`).
std::vector<std::vector<int32_t>> segmentsPerChunk(const std::vector<Shape>& segments,
                                                   int64_t chunkColumns, int64_t chunks,
                                                   const std::string& what,
                                                   const utils::MemoryProbe& memoryProbe) {
  const auto forEachChunk = [&](const BinBox& box, const auto& visit) {
    if (!coversBins(box)) return;
    const int64_t last = std::min<int64_t>((box.xhi - 1) / chunkColumns, chunks - 1);
    for (int64_t c = box.xlo / chunkColumns; c <= last; ++c) visit(static_cast<size_t>(c));
  };
  std::vector<size_t> counts(static_cast<size_t>(chunks));
  uint64_t listed = 0;
  for (const Shape& segment : segments)
    forEachChunk(segment.binBox, [&](size_t c) {
      ++counts[c];
      ++listed;
    });
  utils::requireMemory(what, listed * sizeof(int32_t), memoryProbe);
  std::vector<std::vector<int32_t>> perChunk(counts.size());
  for (size_t c = 0; c < counts.size(); ++c) perChunk[c].reserve(counts[c]);
  for (size_t i = 0; i < segments.size(); ++i)
    forEachChunk(segments[i].binBox,
                 [&](size_t c) { perChunk[c].push_back(static_cast<int32_t>(i)); });
  return perChunk;
}

}  // namespace

std::string gridMemoryError(int32_t nx, int32_t ny, const utils::AvailableMemory& available) {
  if (gridBytes(nx, ny) <= available.bytes) return std::string();
  return utils::shortfallError(gridMessage(nx, ny), gridBytes(nx, ny), available);
}

TopLayerGrid::TopLayerGrid(int32_t nx, int32_t ny, const std::vector<Shape>& segments,
                           int64_t stripeBytes, const utils::MemoryProbe& memoryProbe)
    : nx_(nx > 0 && ny > 0 ? nx : 0), ny_(nx > 0 && ny > 0 ? ny : 0) {
  if (nx_ == 0) return;
  const int64_t width = std::max<int64_t>(1, stripeBytes / ny_);
  const int64_t stripes = (nx_ + width - 1) / width;
  const int64_t chunkColumns = width * ((stripes + kMaxChunks - 1) / kMaxChunks);
  const int64_t chunks = (nx_ + chunkColumns - 1) / chunkColumns;
  std::vector<std::vector<int32_t>> perChunk =
      segmentsPerChunk(segments, chunkColumns, chunks,
                       "Cannot allocate the segment lists of " + gridName(nx_, ny_), memoryProbe);
  allocate(memoryProbe);
  // The chunks of whole stripes are spread over the threads. Chunks share no entry and an
  // entry's maximum does not depend on the order of the segments, so the grid does not depend
  // on the threads.
  parallelFor(static_cast<int32_t>(chunks), [&](int32_t c) {
    std::vector<int32_t>& ids = perChunk[c];
    std::sort(ids.begin(), ids.end(), [&](int32_t a, int32_t b) {
      return segments[a].binBox.xlo < segments[b].binBox.xlo;
    });
    const int64_t hi = std::min<int64_t>(nx_, (c + 1) * chunkColumns);
    fillChunk(segments, ids, c * chunkColumns, hi, width);
  });
}

// Takes the nx * ny entries, untouched: each stripe is filled when its turn comes.
void TopLayerGrid::allocate(const utils::MemoryProbe& memoryProbe) {
  if (const std::optional<utils::AvailableMemory> available =
          utils::shortOf(gridBytes(nx_, ny_), memoryProbe))
    throw utils::MemoryShortfallError(gridMemoryError(nx_, ny_, *available));
  try {
    entries_.reset(new int8_t[gridBytes(nx_, ny_)]);
  } catch (const std::bad_alloc&) {
    utils::fatalError(gridMessage(nx_, ny_) + ": " + std::to_string(gridBytes(nx_, ny_)) +
                      " bytes needed");
  }
}

// Fills the columns lo..hi-1 stripe by stripe, left to right, from `ids` (the chunk's segments by
// ascending first column); a segment takes part in every stripe its columns reach.
void TopLayerGrid::fillChunk(const std::vector<Shape>& segments, const std::vector<int32_t>& ids,
                             int64_t lo, int64_t hi, int64_t width) {
  std::vector<int32_t> active;
  size_t next = 0;
  for (; lo < hi; lo += width) {
    const int32_t xlo = static_cast<int32_t>(lo);
    const int32_t xhi = static_cast<int32_t>(std::min<int64_t>(hi, lo + width));
    std::fill(column(xlo), column(xhi), static_cast<int8_t>(-1));
    for (; next < ids.size() && segments[ids[next]].binBox.xlo < xhi; ++next)
      active.push_back(ids[next]);
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
