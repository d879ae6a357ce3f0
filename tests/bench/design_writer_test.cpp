#include "bench/design_writer.h"

#include <gtest/gtest.h>

#include "design_files.h"

namespace bench {
namespace {

class DesignWriterTest : public ::testing::Test {
 protected:
  std::string cells() const { return dir.path() + "/c.txt"; }
  std::string nets() const { return dir.path() + "/n.txt"; }
  ScratchDir dir;
};

TEST_F(DesignWriterTest, WritesRecordsInMicronsWithThreeDecimals) {
  DesignWriter out(cells(), nets(), 8, false);
  ASSERT_TRUE(out.ok());
  out.addCell("U7", Rect{1000, 2005, 3000, 4200, 0});
  out.beginNet("key[3]", true);
  out.addSegment(Rect{0, 50, 123456, 150, 8});
  out.beginNet("n1", false);
  out.addSegment(Rect{5, 10, 995, 20, 2});
  ASSERT_TRUE(out.finish());
  EXPECT_EQ(readFile(cells()), "cell U7 1.000 2.005 3.000 4.200 N\n");
  EXPECT_EQ(readFile(nets()),
            "seg s0 key[3] 0.000 0.050 123.456 0.150 M8:metal8 1 x\n"
            "seg s1 n1 0.005 0.010 0.995 0.020 M2:metal2 0 x\n");
}

// Distinct edges are counted over cells and segments alike, and only on request.
TEST_F(DesignWriterTest, CountsWhatItWrote) {
  for (bool collectEdges : {false, true}) {
    DesignWriter out(cells(), nets(), 3, collectEdges);
    out.addCell("A", Rect{0, 0, 10, 20, 0});
    out.beginNet("a", true);
    out.addSegment(Rect{10, 0, 30, 20, 3});  // shares x 10 and both y with the cell
    out.addSegment(Rect{0, 5, 30, 25, 3});
    out.beginNet("b", false);
    out.addSegment(Rect{0, 0, 10, 10, 1});
    ASSERT_TRUE(out.finish());
    const DesignCounts& c = out.counts();
    EXPECT_EQ(c.cells, 1);
    EXPECT_EQ(c.nets, 2);
    EXPECT_EQ(c.assetNets, 1);
    EXPECT_EQ(c.segments, 3);
    EXPECT_EQ(c.segmentsPerLayer, (std::vector<int64_t>{1, 0, 2}));
    EXPECT_EQ(c.distinctX, collectEdges ? 3 : -1);  // 0 10 30
    EXPECT_EQ(c.distinctY, collectEdges ? 5 : -1);  // 0 5 10 20 25
  }
}

TEST_F(DesignWriterTest, BuffersLargeOutputWhole) {
  DesignWriter out(cells(), nets(), 1, false);
  out.beginNet("big", false);
  for (int64_t i = 0; i < 300000; ++i) out.addSegment(Rect{i, 0, i + 5, 5, 1});
  ASSERT_TRUE(out.finish());
  const auto records = readRecords(nets());
  ASSERT_EQ(records.size(), 300000u);
  EXPECT_EQ(records.back()[1], "s299999");
  EXPECT_EQ(nanometres(records.back()[5]), 299999 + 5);
}

TEST_F(DesignWriterTest, ReportsAFolderThatDoesNotExist) {
  DesignWriter out(dir.path() + "/missing/c.txt", nets(), 1, false);
  EXPECT_FALSE(out.ok());
}

}  // namespace
}  // namespace bench
