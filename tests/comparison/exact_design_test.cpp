#include "tests/comparison/exact_design.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "tests/rtree_engine/test_files.h"

namespace {

using Fields = std::vector<std::string>;

std::vector<Fields> records(const std::string& path) {
  std::vector<Fields> result;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    result.emplace_back();
    for (std::string field; fields >> field;) result.back().push_back(field);
  }
  return result;
}

// Expects fields first .. first + 3 to be a rectangle of exact single-precision multiples of
// `unit`, at least one unit wide and high, inside 0 .. span * unit.
void expectExactRect(const Fields& f, size_t first, const ExactDesignOptions& options) {
  std::vector<double> v;
  for (size_t i = first; i < first + 4; ++i) {
    const double value = std::stod(f[i]);
    EXPECT_EQ(static_cast<double>(static_cast<float>(value)), value) << f[i];
    const double units = value / options.unit;
    EXPECT_EQ(units, static_cast<double>(static_cast<int64_t>(units))) << f[i];
    EXPECT_GE(value, 0);
    EXPECT_LE(value, options.span * options.unit);
    v.push_back(value);
  }
  EXPECT_GE(v[2] - v[0], options.unit);
  EXPECT_GE(v[3] - v[1], options.unit);
}

class ExactDesignTest : public testing::Test {
 protected:
  void write() { writeExactDesign(options, cellPath, netPath); }

  ExactDesignOptions options;
  std::string cellPath = scratchPath("cells.txt");
  std::string netPath = scratchPath("nets.txt");
};

TEST_F(ExactDesignTest, SameSeedSameDesignOtherSeedOtherDesign) {
  write();
  const std::string first = readFile(netPath) + readFile(cellPath);
  write();
  EXPECT_EQ(readFile(netPath) + readFile(cellPath), first);
  options.seed = 2;
  write();
  EXPECT_NE(readFile(netPath) + readFile(cellPath), first);
}

TEST_F(ExactDesignTest, RecordsAreFullExactAndUniquelyNamed) {
  for (const double unit : {0.125, 1024.0}) {
    options.unit = unit;
    options.span = unit < 1 ? 256 : 8192;
    write();
    std::set<std::string> names;
    const std::vector<Fields> cells = records(cellPath);
    ASSERT_EQ(cells.size(), static_cast<size_t>(options.cells));
    for (const Fields& cell : cells) {
      ASSERT_EQ(cell.size(), 7u);
      EXPECT_TRUE(names.insert(cell[1]).second) << cell[1];
      expectExactRect(cell, 2, options);
    }
    for (const Fields& segment : records(netPath)) {
      ASSERT_EQ(segment.size(), 10u);
      EXPECT_TRUE(names.insert(segment[1]).second) << segment[1];
      expectExactRect(segment, 3, options);
    }
  }
}

TEST_F(ExactDesignTest, EveryLineOfAnAssetNetIsFlaggedOne) {
  write();
  std::map<std::string, std::set<std::string>> flags;
  std::set<std::string> layers;
  for (const Fields& segment : records(netPath)) {
    flags[segment[2]].insert(segment[8]);
    layers.insert(segment[7]);
  }
  EXPECT_EQ(flags.size(), static_cast<size_t>(options.nets));
  for (const auto& [net, netFlags] : flags) {
    const bool asset = std::stoi(net.substr(1)) % 2 == 0;
    EXPECT_EQ(netFlags, std::set<std::string>{asset ? "1" : "0"}) << net;
  }
  EXPECT_TRUE(layers.count("M1:metal1"));
  EXPECT_TRUE(layers.count("M10:metal10"));
}

}  // namespace
