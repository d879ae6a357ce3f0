// A tiny layout built in the engine's fields directly: add cells and segments in layout units, then
// discretize and measure them with the engine's own steps, their log captured.
#pragma once

#include <gtest/gtest.h>
#include <omp.h>

#include <string>
#include <tuple>

#include "engine/exposure_engine.h"

class ExposureFixture : public testing::Test {
 protected:
  static constexpr int32_t kLayers = 8;

  ExposureFixture() : config(quietConfig()), engine(&config) {
    testing::internal::GetCapturedStdout();  // the layer table lines of the engine
  }

  int32_t addCell(const std::string& name, double xlo, double ylo, double xhi, double yhi) {
    const int32_t id = static_cast<int32_t>(engine.cells.size());
    Shape& cell = engine.cells.emplace_back(name, id);
    std::tie(cell.xlo, cell.ylo, cell.xhi, cell.yhi) = std::tie(xlo, ylo, xhi, yhi);
    cell.layer = -1;  // as the reader leaves a cell
    return id;
  }

  int32_t addNet(const std::string& name, bool isAsset) {
    const int32_t id = static_cast<int32_t>(engine.nets.size());
    engine.nets.emplace_back(name, id, isAsset);
    if (isAsset) engine.assetNetIds.push_back(id);
    return id;
  }

  int32_t addSegment(int32_t net, int32_t layer, double xlo, double ylo, double xhi, double yhi) {
    const int32_t id = static_cast<int32_t>(engine.segments.size());
    Shape& segment = engine.segments.emplace_back("s" + std::to_string(id), id, net);
    segment.layer = layer;
    std::tie(segment.xlo, segment.ylo, segment.xhi, segment.yhi) = std::tie(xlo, ylo, xhi, yhi);
    engine.nets[net].segmentIds.push_back(id);
    return id;
  }

  // Metal of a net of its own that is not an asset net.
  int32_t addCover(int32_t layer, double xlo, double ylo, double xhi, double yhi) {
    const int32_t net = addNet("cover" + std::to_string(engine.nets.size()), false);
    return addSegment(net, layer, xlo, ylo, xhi, yhi);
  }

  void clearLayout() {
    engine.cells.clear();
    engine.segments.clear();
    engine.nets.clear();
    engine.assetNetIds.clear();
  }

  // Discretizes the layout and runs the exposure step on `threads` threads.
  void calcExposure(int threads) {
    omp_set_num_threads(threads);
    testing::internal::CaptureStdout();
    engine.discretize();
    engine.calcExposure();
    testing::internal::GetCapturedStdout();
  }

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
};

inline bool operator==(const BinBox& a, const BinBox& b) {
  return a.xlo == b.xlo && a.xhi == b.xhi && a.ylo == b.ylo && a.yhi == b.yhi && a.layer == b.layer;
}
