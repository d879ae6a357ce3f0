// Cell asset exposure: a bin of a cell is exposed when no metal segment of any layer covers it.

#include <iostream>
#include <optional>

#include "engine/exposed_bin_sink.h"
#include "engine/exposure_engine.h"
#include "engine/exposure_totals.h"
#include "engine/parallel_loop.h"
#include "engine/top_layer_grid.h"
#include "utils/log.h"

namespace {

// The number of bins of `box` that no segment covers. REQUIRES: box covers bins.
int64_t exposedBinCount(const TopLayerGrid& grid, const BinBox& box) {
  int64_t count = 0;
  for (int32_t x = box.xlo; x < box.xhi; ++x)
    for (int32_t y = box.ylo; y < box.yhi; ++y) count += grid.at(x, y) < 0;
  return count;
}

// Walks the cell's bins column by column, by ascending y within one, and gives each bin that no
// segment covers to the sink. A kept list is given exactly the room it needs, as the lists of
// all cells together can outgrow the grid itself; otherwise the walk sums the exposed area.
void cellExposedBinsBody(ExposureEngine& engine, const TopLayerGrid& grid, int32_t i) {
  const BinBox& box = engine.cells[i].binBox;
  if (!coversBins(box)) return;
  std::vector<BinBox>* exposed = nullptr;
  if (engine.keepExposedBins) {
    exposed = &engine.cellExposedBins[i];
    exposed->reserve(static_cast<size_t>(exposedBinCount(grid, box)));
  }
  ExposedBinSink sink(engine, exposed);
  for (int32_t x = box.xlo; x < box.xhi; ++x)
    for (int32_t y = box.ylo; y < box.yhi; ++y)
      if (grid.at(x, y) < 0) sink.add(x, y);
  engine.cellExposedArea[i] = sink.area();
}

// The exposed area (summed from the cell's list when the lists are kept, else already by the
// walk), and the ratio to the cell's own area (0/0 gives NaN for a flat cell).
void cellAreaBody(ExposureEngine& engine, int32_t i) {
  const Shape& cell = engine.cells[i];
  if (engine.keepExposedBins)
    engine.cellExposedArea[i] =
        binBoxesArea(engine.cellExposedBins[i], engine.xEdges, engine.yEdges);
  const double area = engine.cellExposedArea[i];
  engine.cellExposedRatio[i] = area / ((cell.xhi - cell.xlo) * (cell.yhi - cell.ylo));
}

}  // namespace

void ExposureEngine::calcCellExposure() { cellExposure(nullptr); }

void ExposureEngine::cellExposure(const TopLayerGrid* grid) {
  utils::logInfo(std::cout) << "==============Calculating Cell Asset Exposed Area..." << std::endl;
  const int32_t n = static_cast<int32_t>(cells.size());
  const uint64_t cellBytes =
      2 * sizeof(double) + (keepExposedBins ? sizeof(std::vector<BinBox>) : 0);
  utils::requireMemory(kExposureMemory, cellBytes * cells.size(), memoryProbe);
  cellExposedArea.assign(cells.size(), 0.0);
  cellExposedRatio.assign(cells.size(), 0.0);
  cellExposedBins = std::vector<std::vector<BinBox>>(keepExposedBins ? cells.size() : 0);
  std::optional<TopLayerGrid> ownGrid;
  if (grid == nullptr) grid = &ownGrid.emplace(topLayerGrid(n > 0));

  parallelFor(n, [&](int32_t i) { cellExposedBinsBody(*this, *grid, i); });
  parallelFor(n, [&](int32_t i) { cellAreaBody(*this, i); });

  const ExposureTotals totals = sumExposure(cellExposedArea, cellExposedRatio);
  cellTotalExposedArea = totals.exposedArea;
  cellMaxRatio = totals.maxRatio;
  cellMeanRatio = totals.meanRatio;
  utils::logInfo(std::cout) << "Finished Cell Asset Exposed Area Calculation" << std::endl;
}
