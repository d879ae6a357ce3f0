// Fuzz target: the grid engine's reader and discretization, on inputs as fuzz/grid_input.h
// reads them. A read either fails with an Error text or yields a design whose links hold, and
// a read on 3 threads in chunks of another size gives the same Error text or the same design;
// discretization must then place every edge of every shape on the grid.
#include <omp.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/exposure_engine.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/grid_input.h"

namespace {

using fuzz::require;

void checkDesign(const ExposureEngine& engine, int32_t layers) {
  require(engine.segmentsPerLayer.size() == static_cast<size_t>(layers));
  size_t inLayers = 0;
  for (const std::vector<int32_t>& ids : engine.segmentsPerLayer) inLayers += ids.size();
  require(inLayers == engine.segments.size());
  size_t inNets = 0;
  for (const Net& net : engine.nets) {
    require(!net.segmentIds.empty());
    inNets += net.segmentIds.size();
  }
  require(inNets == engine.segments.size());
  for (const Shape& segment : engine.segments) {
    require(segment.netId >= 0 && static_cast<size_t>(segment.netId) < engine.nets.size());
    require(segment.layer >= 0 && segment.layer < layers);
  }
}

bool sameShapes(const std::vector<Shape>& a, const std::vector<Shape>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const Shape &s = a[i], &t = b[i];
    if (s.name != t.name || s.id != t.id || s.netId != t.netId || s.layer != t.layer ||
        s.xlo != t.xlo || s.ylo != t.ylo || s.xhi != t.xhi || s.yhi != t.yhi)
      return false;
  }
  return true;
}

bool sameDesign(const ExposureEngine& a, const ExposureEngine& b) {
  if (a.nets.size() != b.nets.size()) return false;
  for (size_t i = 0; i < a.nets.size(); ++i) {
    const Net &n = a.nets[i], &m = b.nets[i];
    if (n.name != m.name || n.isAsset != m.isAsset || n.segmentIds != m.segmentIds) return false;
  }
  return sameShapes(a.cells, b.cells) && sameShapes(a.segments, b.segments) &&
         a.assetNetIds == b.assetNetIds && a.segmentsPerLayer == b.segmentsPerLayer;
}

void checkEdges(const std::vector<double>& edges) {
  for (size_t i = 1; i < edges.size(); ++i) require(edges[i - 1] < edges[i]);
}

// The edge at `index` must be the coordinate itself.
void checkIndex(const std::vector<double>& edges, int32_t index, double coord) {
  require(index >= 0 && static_cast<size_t>(index) < edges.size());
  require(edges[index] == coord);
}

// Corners in order, every edge on the grid.
void checkShapes(const ExposureEngine& engine, const std::vector<Shape>& shapes) {
  for (const Shape& shape : shapes) {
    require(shape.xlo <= shape.xhi && shape.ylo <= shape.yhi);
    checkIndex(engine.xEdges, shape.binBox.xlo, shape.xlo);
    checkIndex(engine.xEdges, shape.binBox.xhi, shape.xhi);
    checkIndex(engine.yEdges, shape.binBox.ylo, shape.ylo);
    checkIndex(engine.yEdges, shape.binBox.yhi, shape.yhi);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInputBytes) return -1;
  const fuzz::SplitInput input = fuzz::splitInput(data, size);
  fuzz::SplitInput otherChunks = input;
  otherChunks.selector ^= 0x50;
  RunConfig config, otherConfig;
  std::unique_ptr<ExposureEngine> design, other;
  omp_set_num_threads(1);
  const std::string error = fuzz::readGridInput(input, config, design);
  omp_set_num_threads(3);
  require(fuzz::readGridInput(otherChunks, otherConfig, other) == error);
  if (!error.empty()) return 0;
  ExposureEngine& engine = *design;
  require(sameDesign(engine, *other));
  checkDesign(engine, config.avail_layer);
  engine.discretize();
  checkEdges(engine.xEdges);
  checkEdges(engine.yEdges);
  checkShapes(engine, engine.cells);
  checkShapes(engine, engine.segments);
  return 0;
}
