// One asset net of the R-tree engine: its shapes per metal layer, cut into pieces that overlap
// one another, if at all, only in strips narrower than `eps`, and its projection and exposed
// areas in square layout units. The record owns its name and its trees (held by value).
// Single-threaded; writes no log line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtree_engine/rtree_types.h"

class RtreeNet {
 public:
  explicit RtreeNet(std::string name);

  // Stores the parts of `shape` that the net's pieces on `layer` do not yet cover as new
  // pieces (grid cells, not merged, named like the shape) and returns them in the order found.
  // Grows `layerTrees` up to `layer` even when nothing is stored.
  // REQUIRES: layer >= 1 (1 is the lowest metal layer); min <= max on both axes of `shape`.
  std::vector<NamedBox> addShape(NamedBox shape, int32_t layer);

  // Adds the area of the net's footprint over all layers to `projectionArea`: each piece
  // counts where no piece of a higher layer lies over it. Call once, after the last addShape.
  void calcProjectionArea();

  double eps = 1e-4;  // tolerance of the net's grid splits; never changed
  std::string name;
  std::vector<NamedBoxTree> layerTrees;  // index = layer number - 1
  double projectionArea = 0.0;
  double exposedArea = 0.0;  // accumulated by the engine's net exposure step
};
