#include "tests/comparison/exact_design.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/rtree_engine/test_files.h"

namespace {

// Expects every rectangle of `path` (the four fields from `first`) to be made of exact
// single-precision multiples of `unit` inside 0 .. span * unit, at least one unit wide and high.
void expectExactRects(const std::string& path, size_t first, size_t fields,
                      const ExactDesignOptions& options) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream text(line);
    std::vector<std::string> f;
    for (std::string field; text >> field;) f.push_back(field);
    ASSERT_EQ(f.size(), fields) << line;
    double v[4];
    for (size_t i = 0; i < 4; ++i) {
      v[i] = std::stod(f[first + i]);
      const double units = v[i] / options.unit;
      EXPECT_EQ(static_cast<double>(static_cast<float>(v[i])), v[i]) << line;
      EXPECT_EQ(units, static_cast<double>(static_cast<int64_t>(units))) << line;
      EXPECT_TRUE(v[i] >= 0 && v[i] <= options.span * options.unit) << line;
    }
    EXPECT_TRUE(v[2] - v[0] >= options.unit && v[3] - v[1] >= options.unit) << line;
  }
}

// What makes the cross-check fair to both engines; the same seed gives the same design.
// (The cross-check itself counts the cells and asset nets of each design.)
TEST(ExactDesignTest, SameSeedSameDesignOfFullRecordsExactInSinglePrecision) {
  const std::string cellPath = scratchPath("cells.txt");
  const std::string netPath = scratchPath("nets.txt");
  ExactDesignOptions options;
  for (const double unit : {0.125, 1024.0}) {
    options.unit = unit;
    options.span = unit < 1 ? 256 : 8192;
    writeExactDesign(options, cellPath, netPath);
    const std::string first = readFile(netPath) + readFile(cellPath);
    writeExactDesign(options, cellPath, netPath);
    EXPECT_EQ(readFile(netPath) + readFile(cellPath), first);
    expectExactRects(cellPath, 2, 7, options);
    expectExactRects(netPath, 3, 10, options);
  }
}

}  // namespace
