// A tiny layout built in the engine's fields directly, for the exposure and report tests:
// add cells and segments in layout units, then place() puts them on bins the way the
// discretization does (every distinct edge cuts the plane).
#pragma once

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"

class ExposureFixture : public testing::Test {
 protected:
  static constexpr int32_t kLayers = 8;
  // Layer indices by metal name.
  static constexpr int32_t kMetal1 = 0, kMetal2 = 1, kMetal3 = 2, kMetal6 = 5;

  ExposureFixture() : config(quietConfig()), engine(&config) {
    testing::internal::GetCapturedStdout();  // the layer table lines of the engine
  }

  int32_t addCell(const std::string& name, double xlo, double ylo, double xhi, double yhi) {
    const int32_t id = static_cast<int32_t>(engine.cells.size());
    setGeometry(engine.cells.emplace_back(name, id), -1, xlo, ylo, xhi, yhi);
    return id;
  }

  // A net that holds asset metal; its segments are added with addSegment.
  int32_t addAssetNet(const std::string& name) { return addNet(name, true); }
  int32_t addPlainNet(const std::string& name) { return addNet(name, false); }

  int32_t addSegment(int32_t net, int32_t layer, double xlo, double ylo, double xhi, double yhi) {
    const int32_t id = static_cast<int32_t>(engine.segments.size());
    Shape& segment = engine.segments.emplace_back("s" + std::to_string(id), id, net);
    setGeometry(segment, layer, xlo, ylo, xhi, yhi);
    engine.nets[net].segmentIds.push_back(id);
    return id;
  }

  // Metal of a net of its own that is not an asset net.
  int32_t addCover(int32_t layer, double xlo, double ylo, double xhi, double yhi) {
    const int32_t net = addPlainNet("cover" + std::to_string(engine.nets.size()));
    return addSegment(net, layer, xlo, ylo, xhi, yhi);
  }

  // Drops every shape and net, for the next layout of a table or a random run.
  void clearLayout() {
    engine.cells.clear();
    engine.segments.clear();
    engine.nets.clear();
    engine.assetNetIds.clear();
  }

  // Sets the bin edges and every binBox, then marks the engine discretized.
  void place() {
    std::vector<double> xs, ys;
    for (const std::vector<Shape>* shapes : {&engine.cells, &engine.segments})
      for (const Shape& shape : *shapes) {
        xs.insert(xs.end(), {shape.xlo, shape.xhi});
        ys.insert(ys.end(), {shape.ylo, shape.yhi});
      }
    engine.xEdges = distinct(xs);
    engine.yEdges = distinct(ys);
    for (Shape& cell : engine.cells) cell.binBox = binsOf(cell, 0);
    for (Shape& segment : engine.segments) segment.binBox = binsOf(segment, segment.layer);
    engine.discretized = true;
  }

  // Places the layout and runs the exposure step on `threads` threads; returns its log.
  std::string calcExposure(int threads = 1) {
    place();
    omp_set_num_threads(threads);
    testing::internal::CaptureStdout();
    engine.calcExposure();
    return testing::internal::GetCapturedStdout();
  }

  // The one-bin box of bin (x, y), as the exposure steps list it.
  static BinBox bin(int32_t x, int32_t y) { return BinBox{x, x + 1, y, y + 1, 0}; }

  RunConfig config;
  ExposureEngine engine;

 private:
  // The run's config; starts capturing standard output until the engine has been built.
  static RunConfig quietConfig() {
    testing::internal::CaptureStdout();
    RunConfig result;
    result.avail_layer = kLayers;
    return result;
  }

  int32_t addNet(const std::string& name, bool isAsset) {
    const int32_t id = static_cast<int32_t>(engine.nets.size());
    engine.nets.emplace_back(name, id, isAsset);
    if (isAsset) engine.assetNetIds.push_back(id);
    return id;
  }

  static void setGeometry(Shape& shape, int32_t layer, double xlo, double ylo, double xhi,
                          double yhi) {
    shape.layer = layer;
    shape.xlo = xlo;
    shape.ylo = ylo;
    shape.xhi = xhi;
    shape.yhi = yhi;
  }

  static std::vector<double> distinct(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
  }

  int32_t edgeIndex(const std::vector<double>& edges, double value) const {
    return static_cast<int32_t>(std::lower_bound(edges.begin(), edges.end(), value) -
                                edges.begin());
  }

  BinBox binsOf(const Shape& shape, int32_t layer) const {
    return BinBox{edgeIndex(engine.xEdges, shape.xlo), edgeIndex(engine.xEdges, shape.xhi),
                  edgeIndex(engine.yEdges, shape.ylo), edgeIndex(engine.yEdges, shape.yhi),
                  layer};
  }
};

inline bool operator==(const BinBox& a, const BinBox& b) {
  return a.xlo == b.xlo && a.xhi == b.xhi && a.ylo == b.ylo && a.yhi == b.yhi &&
         a.layer == b.layer;
}

inline void PrintTo(const BinBox& box, std::ostream* out) {
  *out << "{" << box.xlo << ", " << box.xhi << ", " << box.ylo << ", " << box.yhi << ", layer "
       << box.layer << "}";
}
