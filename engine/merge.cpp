// The region merge: marks the exposed bins of cells and asset nets in one byte map, then covers
// them with disjoint rectangles grown greedily from a column-major bin scan.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/exposure_totals.h"
#include "utils/assert.h"
#include "utils/log.h"

namespace {

using ExposureMap = std::vector<std::vector<uint8_t>>;
using BinLists = std::vector<std::vector<BinBox>>;

constexpr uint8_t kNotExposed = 255;
constexpr int32_t kNoRegion = -1;

// Marks bin (x, y) with the low byte of `layer`; a bin marked before ends the run.
void markBin(ExposureMap& map, int32_t x, int32_t y, int32_t layer) {
  uint8_t& mark = map[x][y];
  if (mark != kNotExposed) {
    utils::fatalError("A bin cannot be exposed twice: ( " + std::to_string(x) + " , " +
                      std::to_string(y) + " )");
  }
  mark = static_cast<uint8_t>(layer);
}

// Marks every bin `box` covers, x outer and y inner. Given `availLayer`, a bin whose mark reads
// back as the top-most layer index (availLayer - 1) gets a Warning line.
void markBox(ExposureMap& map, const BinBox& box, std::optional<int32_t> availLayer) {
  const int32_t nx = static_cast<int32_t>(map.size());
  const int32_t ny = nx > 0 ? static_cast<int32_t>(map[0].size()) : 0;
  if (!coversBins(box)) return;
  utils::assertOrAbort(box.xlo >= 0 && box.xhi <= nx && box.ylo >= 0 && box.yhi <= ny,
                       "exposed box x [%d, %d) y [%d, %d) outside the %d x %d bin grid",
                       box.xlo, box.xhi, box.ylo, box.yhi, nx, ny);
  for (int32_t x = box.xlo; x < box.xhi; ++x) {
    for (int32_t y = box.ylo; y < box.yhi; ++y) {
      markBin(map, x, y, box.layer);
      if (availLayer && static_cast<int8_t>(map[x][y]) + 1 == *availLayer) {
        utils::logAt(4, std::cout) << "Exists exposed bin on the top-most routing layer"
                                   << std::endl;
      }
    }
  }
}

void markLists(ExposureMap& map, const BinLists& lists, std::optional<int32_t> availLayer) {
  for (const std::vector<BinBox>& boxes : lists)
    for (const BinBox& box : boxes) markBox(map, box, availLayer);
}

// The exposure map with the region that holds each bin, filled while the scan goes on.
class RegionGrid {
 public:
  explicit RegionGrid(const ExposureMap& map)
      : map_(map),
        nx_(static_cast<int32_t>(map.size())),
        ny_(nx_ > 0 ? static_cast<int32_t>(map[0].size()) : 0),
        ids_(static_cast<size_t>(nx_) * static_cast<size_t>(ny_), kNoRegion) {}

  int32_t nx() const { return nx_; }
  int32_t ny() const { return ny_; }
  bool exposed(int32_t x, int32_t y) const { return map_[x][y] != kNotExposed; }
  bool claimed(int32_t x, int32_t y) const { return ids_[at(x, y)] != kNoRegion; }
  // An exposed bin that no region holds yet.
  bool qualifies(int32_t x, int32_t y) const { return exposed(x, y) && !claimed(x, y); }

  // Gives every bin of `region` the id `id`; returns the largest of 0 and their signed marks.
  int32_t claim(const BinBox& region, int32_t id) {
    int32_t layer = 0;
    for (int32_t x = region.xlo; x < region.xhi; ++x) {
      for (int32_t y = region.ylo; y < region.yhi; ++y) {
        ids_[at(x, y)] = id;
        layer = std::max<int32_t>(layer, static_cast<int8_t>(map_[x][y]));
      }
    }
    return layer;
  }

 private:
  size_t at(int32_t x, int32_t y) const {
    return static_cast<size_t>(x) * static_cast<size_t>(ny_) + static_cast<size_t>(y);
  }

  const ExposureMap& map_;
  int32_t nx_;
  int32_t ny_;
  std::vector<int32_t> ids_;  // x-major, kNoRegion where no region holds the bin
};

// Bins (x0 .. xe, y) all qualify.
bool rowQualifies(const RegionGrid& grid, int32_t x0, int32_t xe, int32_t y) {
  for (int32_t x = x0; x <= xe; ++x)
    if (!grid.qualifies(x, y)) return false;
  return true;
}

// Bins (x, y0 .. ye) all qualify.
bool columnQualifies(const RegionGrid& grid, int32_t x, int32_t y0, int32_t ye) {
  for (int32_t y = y0; y <= ye; ++y)
    if (!grid.qualifies(x, y)) return false;
  return true;
}

// Grows a region from bin (x, y) in passes: one row up along y, then one column along x, until
// neither grows. REQUIRES: bin (x, y) qualifies.
BinBox growRegion(const RegionGrid& grid, int32_t x, int32_t y) {
  int32_t xe = x;
  int32_t ye = y;
  bool grew = true;
  while (grew) {
    grew = false;
    if (ye + 1 < grid.ny() && rowQualifies(grid, x, xe, ye + 1)) {
      ++ye;
      grew = true;
    }
    if (xe + 1 < grid.nx() && columnQualifies(grid, xe + 1, y, ye)) {
      ++xe;
      grew = true;
    }
  }
  return BinBox{x, xe + 1, y, ye + 1, 0};
}

struct ScanTotals {
  int64_t bins = 0;    // exposed bins (a layout may hold more than 2^31)
  double area = 0.0;   // sum of the exposed bins' areas
};

// Scans the bins x outer, y inner, counting every exposed bin and starting a region at each one
// that no earlier region holds. Appends the regions to `regions` in the order found.
ScanTotals scanRegions(RegionGrid& grid, const std::vector<double>& xEdges,
                       const std::vector<double>& yEdges, std::vector<BinBox>& regions) {
  ScanTotals totals;
  for (int32_t x = 0; x < grid.nx(); ++x) {
    for (int32_t y = 0; y < grid.ny(); ++y) {
      if (!grid.exposed(x, y)) continue;
      ++totals.bins;
      totals.area += binBoxArea(BinBox{x, x + 1, y, y + 1, 0}, xEdges, yEdges);
      if (grid.claimed(x, y)) continue;
      BinBox region = growRegion(grid, x, y);
      region.layer = grid.claim(region, static_cast<int32_t>(regions.size()));
      regions.push_back(region);
    }
  }
  return totals;
}

}  // namespace

void ExposureEngine::mergeExposure() {
  utils::logInfo(std::cout) << "==============Merging Cell and Net Exposed Area..." << std::endl;
  // An empty edge list (a layout without shapes) gives no bins.
  const int32_t nx = std::max(binCount(xEdges), 0);
  const int32_t ny = std::max(binCount(yEdges), 0);
  exposureMap.assign(nx, std::vector<uint8_t>(ny, kNotExposed));
  markLists(exposureMap, cellExposedBins, std::nullopt);
  markLists(exposureMap, netExposedBins, config->avail_layer);

  mergedRegions.clear();
  RegionGrid grid(exposureMap);
  const ScanTotals totals = scanRegions(grid, xEdges, yEdges, mergedRegions);
  double mergedArea = 0.0;
  for (const BinBox& region : mergedRegions) mergedArea += binBoxArea(region, xEdges, yEdges);

  utils::logInfo(std::cout) << "Total Cell Exposed Area: " << cellTotalExposedArea << std::endl;
  utils::logInfo(std::cout) << "Total Net Exposed Area: " << netTotalExposedArea << std::endl;
  utils::logInfo(std::cout) << "Total Exposed Bin Area: " << totals.area << std::endl;
  utils::logInfo(std::cout) << "Total Exposed Area After Merge: " << mergedArea << std::endl;
  utils::logInfo(std::cout) << "Number of exposed bins: " << totals.bins << std::endl;
  utils::logInfo(std::cout) << "Number of exposed regions after merge: "
                            << static_cast<uint64_t>(mergedRegions.size()) << std::endl;
  utils::logInfo(std::cout) << "Finish Merging Cell and Net Exposed Area" << std::endl;
}
