#include "rtree_engine/grid_split.h"

#include <algorithm>
#include <iterator>

namespace {

// Appends `value` to `cuts` unless an equal value is there already or `inside` is false.
void addCut(std::vector<double>& cuts, double value, bool inside) {
  if (inside && std::find(cuts.begin(), cuts.end(), value) == cuts.end()) cuts.push_back(value);
}

// The x and y cut lines of `rect`: its own edges, then the hit edges the test admits, sorted.
void collectCuts(const RtreeBox& rect, const std::vector<NamedBox>& hits, EdgeTest edgeTest,
                 std::vector<double>& xs, std::vector<double>& ys) {
  xs = {minX(rect), maxX(rect)};
  ys = {minY(rect), maxY(rect)};
  const bool strict = edgeTest == EdgeTest::kStrict;
  for (const NamedBox& hit : hits) {
    const RtreeBox& box = hit.first;
    addCut(xs, minX(box), strict ? minX(box) > minX(rect) : minX(box) >= minX(rect));
    addCut(xs, maxX(box), strict ? maxX(box) < maxX(rect) : maxX(box) <= maxX(rect));
    addCut(ys, minY(box), strict ? minY(box) > minY(rect) : minY(box) >= minY(rect));
    addCut(ys, maxY(box), strict ? maxY(box) < maxY(rect) : maxY(box) <= maxY(rect));
  }
  std::sort(xs.begin(), xs.end());
  std::sort(ys.begin(), ys.end());
}

bool isCovered(const NamedBoxTree& coverage, const RtreeBox& queryBox) {
  if (coverage.empty()) return false;
  return coverage.qbegin(boost::geometry::index::intersects(queryBox)) != coverage.qend();
}

}  // namespace

void gridSplit(const RtreeBox& rect, const std::vector<NamedBox>& hits, double eps,
               EdgeTest edgeTest, const NamedBoxTree& coverage, const UncoveredAction& action) {
  std::vector<double> xs;
  std::vector<double> ys;
  collectCuts(rect, hits, edgeTest, xs, ys);
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    for (size_t j = 0; j + 1 < ys.size(); ++j) {
      const RtreeBox subCell = makeBox(xs[i], ys[j], xs[i + 1], ys[j + 1]);
      const RtreeBox queryBox = shrunkBox(subCell, eps);
      if (!isCovered(coverage, queryBox)) action(subCell, queryBox);
    }
  }
}

double creditedArea(const RtreeBox& queryBox, double eps) {
  const double twoEps = eps + eps;
  return ((maxX(queryBox) - minX(queryBox)) + twoEps) *
         ((maxY(queryBox) - minY(queryBox)) + twoEps);
}

void addUncoveredArea(const RtreeBox& rect, const std::vector<NamedBox>& hits, double eps,
                      double& area) {
  NamedBoxTree coverage;
  for (const NamedBox& hit : hits) coverage.insert(hit);
  gridSplit(rect, hits, eps, EdgeTest::kInclusive, coverage,
            [&](const RtreeBox&, const RtreeBox& query) { area += creditedArea(query, eps); });
}

void appendHits(const NamedBoxTree& tree, const RtreeBox& box, std::vector<NamedBox>& hits) {
  if (tree.empty()) return;
  tree.query(boost::geometry::index::intersects(box), std::back_inserter(hits));
}
