#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <sstream>

#include "tests/rtree_engine/test_files.h"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();

// The text of the mean of an empty list, as the stream prints that NaN on this machine.
std::string emptyMean() {
  volatile double zero = 0.0;
  std::ostringstream text;
  text << zero / zero;
  return text.str();
}

// Writes the reports in a scratch working directory of its own.
class RtreeReportsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  void addCell(const std::string& name, double area, double exposedArea) {
    auto cell = std::make_unique<RtreeCell>();
    cell->name = name;
    cell->area = area;
    cell->exposedArea = exposedArea;
    engine.cells.push_back(std::move(cell));
  }
  void addNet(const std::string& name, double projectionArea, double exposedArea) {
    engine.nets.push_back(std::make_unique<RtreeNet>(name));
    engine.nets.back()->projectionArea = projectionArea;
    engine.nets.back()->exposedArea = exposedArea;
  }
  static std::string trailer(const std::string& heading, const std::string& total,
                             const std::string& max, const std::string& mean) {
    return heading + " \nTotal exposed area: " + total + "\nMax area percentage: " + max +
           "%\nAvg area percentage: " + mean + "%\n\n";
  }
  static std::string block(const std::string& name, const std::string& exposed,
                           const std::string& percent) {
    return name + "\nExposed area: " + exposed + "\nExposed area percentage: " + percent + "%\n\n";
  }

  std::filesystem::path previous = std::filesystem::current_path();
  std::string directory = scratchPath("reports");
  RtreeExposureEngine engine{"cells.txt", "nets.txt"};
};

TEST_F(RtreeReportsTest, EmptyListsGiveTheTrailerAloneWithANanMean) {
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"), trailer("For all cell assets:", "0", "0", emptyMean()));
  EXPECT_EQ(readFile("my_net_ea_bm.rpt"), trailer("For all net assets:", "0", "0", emptyMean()));
}

TEST_F(RtreeReportsTest, CellBlocksInOrderThenTotals) {
  addCell("c1", 100, 100);
  addCell("c2", 8, 1);
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"),
            block("c1", "100", "100") + block("c2", "1", "12.5") +
                trailer("For all cell assets:", "101", "100", "56.25"));
}

TEST_F(RtreeReportsTest, NetPercentagesDivideByTheProjectionArea) {
  addNet("n1", 150, 50);
  addNet("n2", 1234567, 1234567);
  addNet("n3", 1e6, 10);
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_net_ea_bm.rpt"),
            block("n1", "50", "33.3333") + block("n2", "1.23457e+06", "100") +
                block("n3", "10", "0.001") +
                trailer("For all net assets:", "1.23463e+06", "100", "44.4448"));
}

TEST_F(RtreeReportsTest, SmallNumbersUseExponentNotation) {
  addCell("tiny", 1, 1e-5);
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"),
            block("tiny", "1e-05", "0.001") +
                trailer("For all cell assets:", "1e-05", "0.001", "0.001"));
}

TEST_F(RtreeReportsTest, AllZeroPercentagesGiveZeroMaximumAndMean) {
  addCell("c1", 10, 0);
  addCell("c2", 20, 0);
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"),
            block("c1", "0", "0") + block("c2", "0", "0") +
                trailer("For all cell assets:", "0", "0", "0"));
}

TEST_F(RtreeReportsTest, NanInTheMiddleKeepsTheMaximumAndSpoilsTheMean) {
  addCell("c1", 10, 5);
  addCell("flat", 0, 0);
  addCell("c3", 10, 2);
  engine.writeReports("bm");
  const std::string report = readFile("my_cell_ea_bm.rpt");
  const std::string nanPercent = emptyMean();
  EXPECT_EQ(report, block("c1", "5", "50") + block("flat", "0", nanPercent) +
                        block("c3", "2", "20") +
                        trailer("For all cell assets:", "7", "50", nanPercent));
}

TEST_F(RtreeReportsTest, InfinitePercentageBecomesTheMaximum) {
  addNet("n1", 0, 3);
  addNet("n2", 10, 5);
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_net_ea_bm.rpt"),
            block("n1", "3", "inf") + block("n2", "5", "50") +
                trailer("For all net assets:", "8", "inf", "inf"));
}

TEST_F(RtreeReportsTest, EmptyNameGivesBareFileNames) {
  engine.writeReports("");
  EXPECT_TRUE(std::filesystem::exists("my_cell_ea_.rpt"));
  EXPECT_TRUE(std::filesystem::exists("my_net_ea_.rpt"));
}

TEST_F(RtreeReportsTest, EarlierReportsAreOverwritten) {
  writeFile("my_cell_ea_bm.rpt", std::string(5000, 'x'));
  writeFile("my_net_ea_bm.rpt", std::string(5000, 'y'));
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"), trailer("For all cell assets:", "0", "0", emptyMean()));
  EXPECT_EQ(readFile("my_net_ea_bm.rpt"), trailer("For all net assets:", "0", "0", emptyMean()));
}

TEST_F(RtreeReportsTest, ReportThatCannotBeCreatedIsAnError) {
  try {
    engine.writeReports("missing/bm");
    ADD_FAILURE() << "no error raised";
  } catch (const RtreeInputError& e) {
    EXPECT_EQ(std::string(e.what()), "Report file my_cell_ea_missing/bm.rpt: cannot be created");
  }
  std::filesystem::create_directory("my_cell_ea_missing");
  try {
    engine.writeReports("missing/bm");
    ADD_FAILURE() << "no error raised";
  } catch (const RtreeInputError& e) {
    EXPECT_EQ(std::string(e.what()), "Report file my_net_ea_missing/bm.rpt: cannot be created");
  }
}

}  // namespace
