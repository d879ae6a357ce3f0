// Geometric records of the R-tree engine: points and boxes of doubles in layout units, boxes
// that carry a shape name, and the R-tree that holds them.
//
// Boxes are closed: two boxes that share only an edge or a corner intersect. Nothing
// normalises a box; every operation assumes min <= max on both axes unless it says otherwise.
#pragma once

#include <string>
#include <utility>

#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>

using RtreePoint = boost::geometry::model::point<double, 2, boost::geometry::cs::cartesian>;
using RtreeBox = boost::geometry::model::box<RtreePoint>;
// A rectangle and the name of the shape it came from.
using NamedBox = std::pair<RtreeBox, std::string>;
// Indexes each value by its box; quadratic balancing, 16 to 4 entries per node.
using NamedBoxTree =
    boost::geometry::index::rtree<NamedBox, boost::geometry::index::quadratic<16, 4>>;

inline RtreeBox makeBox(double minX, double minY, double maxX, double maxY) {
  return RtreeBox(RtreePoint(minX, minY), RtreePoint(maxX, maxY));
}

inline double minX(const RtreeBox& box) { return box.min_corner().get<0>(); }
inline double minY(const RtreeBox& box) { return box.min_corner().get<1>(); }
inline double maxX(const RtreeBox& box) { return box.max_corner().get<0>(); }
inline double maxY(const RtreeBox& box) { return box.max_corner().get<1>(); }

// `box` moved inwards by `eps` on all four sides; inverted on an axis narrower than 2 * eps.
inline RtreeBox shrunkBox(const RtreeBox& box, double eps) {
  return makeBox(minX(box) + eps, minY(box) + eps, maxX(box) - eps, maxY(box) - eps);
}
