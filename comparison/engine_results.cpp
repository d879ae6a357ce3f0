#include "comparison/engine_results.h"

#include "engine/exposure_engine.h"
#include "rtree_engine/rtree_engine.h"

EngineResults gridEngineResults(const ExposureEngine& engine) {
  EngineResults results;
  for (size_t i = 0; i < engine.cells.size(); ++i) {
    const Shape& cell = engine.cells[i];
    const double area = (cell.xhi - cell.xlo) * (cell.yhi - cell.ylo);
    results.cells.push_back(
        {cell.name, engine.cellExposedArea[i], area, 100.0 * engine.cellExposedRatio[i]});
  }
  for (size_t i = 0; i < engine.assetNetIds.size(); ++i)
    results.nets.push_back({engine.nets[engine.assetNetIds[i]].name, engine.netExposedArea[i],
                            engine.netTotalArea[i], 100.0 * engine.netExposedRatio[i]});
  return results;
}

EngineResults rtreeEngineResults(const RtreeExposureEngine& engine) {
  EngineResults results;
  for (const auto& cell : engine.cells)
    results.cells.push_back(
        {cell->name, cell->exposedArea, cell->area, cell->exposedArea * 100 / cell->area});
  for (const auto& net : engine.nets)
    results.nets.push_back({net->name, net->exposedArea, net->projectionArea,
                            net->exposedArea * 100 / net->projectionArea});
  return results;
}
