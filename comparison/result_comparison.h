// The two engines' results side by side: cells matched by name and occurrence, asset nets by
// name, each quantity compared by its relative difference, and the items beyond a tolerance.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "comparison/engine_results.h"

// |a - b| / max(|a|, |b|); 0 when a equals b (the same infinity too) or both are NaN; infinity
// when only one is NaN or an infinity meets anything else.
double relativeDifference(double a, double b);

// What differs: one of the three numbers of an item matched in both, or an item that only one
// engine has.
enum class Quantity { kExposedArea, kArea, kPercent, kOnlyInGrid, kOnlyInRtree };

// Words for `quantity` in the printed comparison ("exposed area", "only in the grid engine").
const char* quantityName(Quantity quantity);

struct Difference {
  std::string item;  // "cell U1", "net key0"; the k-th cell of a repeated name gets " #k"
  Quantity quantity = Quantity::kExposedArea;
  double grid = 0.0;      // the grid engine's value; 0 for an item that one engine lacks
  double rtree = 0.0;     // the R-tree engine's value; 0 for an item that one engine lacks
  double relative = 0.0;  // infinity for an item that only one engine has
};

struct Comparison {
  size_t cellsCompared = 0;  // cells that both engines have
  size_t netsCompared = 0;   // asset nets that both engines have
  Difference largest;        // the largest relative difference of a matched item's number
  // Beyond the tolerance: the cells, then the nets; each list in the grid engine's order, then
  // the items that only the R-tree engine has.
  std::vector<Difference> differences;

  bool agrees() const { return differences.empty(); }
};

// Compares every cell's and every asset net's exposed area, area and percentage.
// REQUIRES: tolerance >= 0.
Comparison compareResults(const EngineResults& grid, const EngineResults& rtree, double tolerance);

// Writes what was compared, the largest relative difference, one line per difference beyond
// `tolerance` and a closing verdict line.
void printComparison(std::ostream& out, const Comparison& comparison, double tolerance);
