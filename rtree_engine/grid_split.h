// The grid split: the one way the R-tree engine finds the part of a rectangle that a set of
// other rectangles leaves uncovered. The rectangle is cut along the edges of its hits that lie
// strictly inside it; each sub-cell is tested, shrunk by a tolerance, against a coverage tree.
// Single-threaded; writes no log line.
#pragma once

#include <functional>
#include <vector>

#include "rtree_engine/rtree_types.h"

// How a hit edge is compared with the rectangle's edge of the same kind before it becomes a
// cut line: strictly inside (min > R.min, max < R.max) or inclusively (min >= R.min,
// max <= R.max). Since the rectangle's own edges open the cut lists and no value enters a list
// twice, both admit the same values for hits that intersect the rectangle.
enum class EdgeTest { kStrict, kInclusive };

// Called for an uncovered sub-cell with the sub-cell and its query box (the sub-cell shrunk by
// the tolerance, inverted on an axis narrower than twice the tolerance).
using UncoveredAction = std::function<void(const RtreeBox& subCell, const RtreeBox& queryBox)>;

// Cuts `rect` at the edges of `hits` that pass `edgeTest` and calls `action` for every sub-cell,
// x outer and y inner, whose query box intersects no value of `coverage` (every sub-cell when
// `coverage` is empty). `action` may insert into `coverage`; later sub-cells see what it added.
void gridSplit(const RtreeBox& rect, const std::vector<NamedBox>& hits, double eps,
               EdgeTest edgeTest, const NamedBoxTree& coverage, const UncoveredAction& action);

// The area credited for a sub-cell with `queryBox`: its width and height restored by 2 * eps,
// so it equals the sub-cell's area up to floating-point error, also for thin sub-cells.
double creditedArea(const RtreeBox& queryBox, double eps);

// Adds to `area` the credited area of every sub-cell of `rect` that no hit covers: the hits go
// one by one into a temporary tree that serves as coverage tree of an inclusive grid split.
void addUncoveredArea(const RtreeBox& rect, const std::vector<NamedBox>& hits, double eps,
                      double& area);

// Appends copies of the values of `tree` whose boxes intersect `box` (closed boxes, touching
// included), in the tree's query order. An empty tree is not searched.
void appendHits(const NamedBoxTree& tree, const RtreeBox& box, std::vector<NamedBox>& hits);
