// The sums of the exposure steps: the area of an asset's exposed bins, and the totals of one
// kind of asset. Everything is summed serially in list order, so no value depends on how the
// assets were spread over threads.
#pragma once

#include <vector>

#include "engine/records.h"

// The sum of the exposed areas and the largest and the mean exposure ratio (fractions).
struct ExposureTotals {
  double exposedArea = 0.0;
  double maxRatio = 0.0;  // the first ratio, replaced only by a strictly greater one
  double meanRatio = 0.0;
};

// No assets give three zeros. REQUIRES: areas.size() == ratios.size().
ExposureTotals sumExposure(const std::vector<double>& areas, const std::vector<double>& ratios);

// The area of the bins `box` covers: (y extent) * (x extent).
// REQUIRES: its indices lie inside the edge lists.
inline double binBoxArea(const BinBox& box, const std::vector<double>& xEdges,
                         const std::vector<double>& yEdges) {
  return (yEdges[box.yhi] - yEdges[box.ylo]) * (xEdges[box.xhi] - xEdges[box.xlo]);
}

// The summed area of one-bin boxes, in list order: binBoxArea of each.
// REQUIRES: every index lies inside its edge list.
double binBoxesArea(const std::vector<BinBox>& bins, const std::vector<double>& xEdges,
                    const std::vector<double>& yEdges);
