// Where the walk over one asset's bins puts each exposed bin it finds: appended to a list when
// the engine keeps its exposed bins, else only its area added to a running sum. The
// sum takes the bins in the walk's order, the order the list would hold them in, so it equals
// binBoxesArea of that list bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/exposure_totals.h"

class ExposedBinSink {
 public:
  // Appends to `bins` when engine.keepExposedBins, else sums over the engine's edges (`bins`
  // may then be null). Holds references to both; they must outlive the sink.
  ExposedBinSink(const ExposureEngine& engine, std::vector<BinBox>* bins)
      : bins_(engine.keepExposedBins ? bins : nullptr),
        xEdges_(engine.xEdges),
        yEdges_(engine.yEdges) {}

  // Takes bin (x, y) as the one-bin box {x, x + 1, y, y + 1, layer 0}.
  // REQUIRES: the bin lies inside the edge lists.
  void add(int32_t x, int32_t y) {
    const BinBox bin{x, x + 1, y, y + 1, 0};
    if (bins_ != nullptr) {
      bins_->push_back(bin);
    } else {
      area_ += binBoxArea(bin, xEdges_, yEdges_);
    }
  }

  // The summed area of the bins taken so far; 0 while appending.
  double area() const { return area_; }

 private:
  std::vector<BinBox>* bins_;  // null while summing
  const std::vector<double>& xEdges_;
  const std::vector<double>& yEdges_;
  double area_ = 0.0;
};
