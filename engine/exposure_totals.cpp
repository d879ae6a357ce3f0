#include "engine/exposure_totals.h"

ExposureTotals sumExposure(const std::vector<double>& areas, const std::vector<double>& ratios) {
  ExposureTotals totals;
  for (double area : areas) totals.exposedArea += area;
  if (ratios.empty()) return totals;
  double ratioSum = 0.0;
  totals.maxRatio = ratios.front();
  for (double ratio : ratios) {
    if (ratio > totals.maxRatio) totals.maxRatio = ratio;
    ratioSum += ratio;
  }
  totals.meanRatio = ratioSum / static_cast<double>(ratios.size());
  return totals;
}

double binBoxesArea(const std::vector<BinBox>& bins, const std::vector<double>& xEdges,
                    const std::vector<double>& yEdges) {
  double area = 0.0;
  for (const BinBox& bin : bins) area += binBoxArea(bin, xEdges, yEdges);
  return area;
}
