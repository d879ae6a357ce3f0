// Helpers of the R-tree engine tests: scratch files in a per-test directory, and boxes as
// plain arrays that GoogleTest can compare and print.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "rtree_engine/rtree_types.h"

// min x, min y, max x, max y.
using Rect = std::array<double, 4>;

inline Rect rectOf(const RtreeBox& box) { return {minX(box), minY(box), maxX(box), maxY(box)}; }

inline std::vector<Rect> rectsOf(const std::vector<NamedBox>& values) {
  std::vector<Rect> rects;
  for (const NamedBox& value : values) rects.push_back(rectOf(value.first));
  return rects;
}

inline NamedBox namedBox(const std::string& name, const Rect& r) {
  return NamedBox(makeBox(r[0], r[1], r[2], r[3]), name);
}

// A path unique to the running test, in GoogleTest's scratch directory.
inline std::string scratchPath(const std::string& suffix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  return testing::TempDir() + test->test_suite_name() + "_" + test->name() + "_" + suffix;
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
