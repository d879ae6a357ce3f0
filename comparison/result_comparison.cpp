#include "comparison/result_comparison.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int kValueDigits = 10;  // enough to show where two printed values part

// An item's name and how many items of that name stand before it in its list.
using ItemKey = std::pair<std::string, size_t>;

std::vector<ItemKey> keysOf(const std::vector<ItemResult>& items) {
  std::map<std::string, size_t> seen;
  std::vector<ItemKey> keys;
  for (const ItemResult& item : items) keys.emplace_back(item.name, seen[item.name]++);
  return keys;
}

std::string label(const char* kind, const ItemKey& key) {
  std::string text = std::string(kind) + " " + key.first;
  if (key.second > 0) text += " #" + std::to_string(key.second + 1);
  return text;
}

// Compares the items of one kind (cells or nets) and adds what it finds to a comparison.
class ListComparer {
 public:
  ListComparer(Comparison& comparison, double tolerance)
      : comparison_(comparison), tolerance_(tolerance) {}

  // Returns how many items both lists hold.
  size_t compare(const char* kind, const std::vector<ItemResult>& grid,
                 const std::vector<ItemResult>& rtree) {
    const std::vector<ItemKey> gridKeys = keysOf(grid);
    const std::vector<ItemKey> rtreeKeys = keysOf(rtree);
    std::map<ItemKey, size_t> rtreeIndex;
    for (size_t i = 0; i < rtree.size(); ++i) rtreeIndex.emplace(rtreeKeys[i], i);
    std::vector<bool> matched(rtree.size(), false);
    for (size_t i = 0; i < grid.size(); ++i) {
      const auto found = rtreeIndex.find(gridKeys[i]);
      if (found == rtreeIndex.end()) {
        addPresence(label(kind, gridKeys[i]), Quantity::kOnlyInGrid);
        continue;
      }
      matched[found->second] = true;
      compareItem(label(kind, gridKeys[i]), grid[i], rtree[found->second]);
    }
    for (size_t i = 0; i < rtree.size(); ++i)
      if (!matched[i]) addPresence(label(kind, rtreeKeys[i]), Quantity::kOnlyInRtree);
    return static_cast<size_t>(std::count(matched.begin(), matched.end(), true));
  }

 private:
  void compareItem(const std::string& item, const ItemResult& grid, const ItemResult& rtree) {
    compareNumber(item, Quantity::kExposedArea, grid.exposedArea, rtree.exposedArea);
    compareNumber(item, Quantity::kArea, grid.area, rtree.area);
    compareNumber(item, Quantity::kPercent, grid.percent, rtree.percent);
  }

  void compareNumber(const std::string& item, Quantity quantity, double grid, double rtree) {
    const Difference difference{item, quantity, grid, rtree, relativeDifference(grid, rtree)};
    if (difference.relative > comparison_.largest.relative) comparison_.largest = difference;
    if (difference.relative > tolerance_) comparison_.differences.push_back(difference);
  }

  void addPresence(const std::string& item, Quantity quantity) {
    comparison_.differences.push_back({item, quantity, 0.0, 0.0, kInfinity});
  }

  Comparison& comparison_;
  double tolerance_;
};

void printDifference(std::ostream& out, const Difference& difference) {
  if (difference.quantity == Quantity::kOnlyInGrid ||
      difference.quantity == Quantity::kOnlyInRtree) {
    out << difference.item << ": " << quantityName(difference.quantity) << '\n';
    return;
  }
  const std::streamsize precision = out.precision(kValueDigits);
  out << difference.item << ", " << quantityName(difference.quantity) << ": grid engine "
      << difference.grid << ", R-tree engine " << difference.rtree;
  out.precision(precision);
  out << ", relative difference " << difference.relative << '\n';
}

}  // namespace

double relativeDifference(double a, double b) {
  if (a == b || (std::isnan(a) && std::isnan(b))) return 0.0;
  if (std::isnan(a) || std::isnan(b) || std::isinf(a) || std::isinf(b)) return kInfinity;
  return std::fabs(a - b) / std::fmax(std::fabs(a), std::fabs(b));
}

const char* quantityName(Quantity quantity) {
  switch (quantity) {
    case Quantity::kExposedArea: return "exposed area";
    case Quantity::kArea: return "area";
    case Quantity::kPercent: return "percentage";
    case Quantity::kOnlyInGrid: return "only in the grid engine";
    case Quantity::kOnlyInRtree: return "only in the R-tree engine";
  }
  return "";
}

Comparison compareResults(const EngineResults& grid, const EngineResults& rtree,
                          double tolerance) {
  Comparison comparison;
  ListComparer comparer(comparison, tolerance);
  comparison.cellsCompared = comparer.compare("cell", grid.cells, rtree.cells);
  comparison.netsCompared = comparer.compare("net", grid.nets, rtree.nets);
  return comparison;
}

void printComparison(std::ostream& out, const Comparison& comparison, double tolerance) {
  out << "Compared " << comparison.cellsCompared << " cells and " << comparison.netsCompared
      << " asset nets, tolerance " << tolerance << '\n';
  out << "Largest relative difference: " << comparison.largest.relative;
  if (comparison.largest.relative > 0)
    out << " (" << comparison.largest.item << ", "
        << quantityName(comparison.largest.quantity) << ")";
  out << '\n';
  for (const Difference& difference : comparison.differences) printDifference(out, difference);
  if (comparison.agrees())
    out << "The engines agree within the tolerance\n";
  else
    out << "Differences beyond the tolerance: " << comparison.differences.size() << '\n';
}
