#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "tests/rtree_engine/test_files.h"

namespace {

// A NaN (the mean of an empty list, the percentage of an empty area) as the stream prints it.
std::string nanText() {
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

TEST_F(RtreeReportsTest, EmptyListsOverwriteEarlierReportsWithTheTrailerAlone) {
  writeFile("my_cell_ea_bm.rpt", std::string(5000, 'x'));
  writeFile("my_net_ea_bm.rpt", std::string(5000, 'y'));
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"), trailer("For all cell assets:", "0", "0", nanText()));
  EXPECT_EQ(readFile("my_net_ea_bm.rpt"), trailer("For all net assets:", "0", "0", nanText()));
}

// Items as {name, area, exposed area}: a block per item in order, then the totals.
TEST_F(RtreeReportsTest, BlocksInOrderThenTotalMaximumAndMeanPercentage) {
  using Items = std::vector<std::tuple<std::string, double, double>>;
  struct Case {
    Items cells;
    Items nets;
    std::string cellReport;
    std::string netReport;
  };
  const std::string cellsHeading = "For all cell assets:";
  const std::string netsHeading = "For all net assets:";
  const std::string nan = nanText();
  const std::vector<Case> cases = {
      {{{"c1", 100, 100}, {"c2", 8, 1}}, {},
       block("c1", "100", "100") + block("c2", "1", "12.5") +
           trailer(cellsHeading, "101", "100", "56.25"),
       trailer(netsHeading, "0", "0", nan)},
      {{{"tiny", 1, 1e-5}}, {{"n1", 150, 50}, {"n2", 1234567, 1234567}, {"n3", 1e6, 10}},
       block("tiny", "1e-05", "0.001") + trailer(cellsHeading, "1e-05", "0.001", "0.001"),
       block("n1", "50", "33.3333") + block("n2", "1.23457e+06", "100") +
           block("n3", "10", "0.001") + trailer(netsHeading, "1.23463e+06", "100", "44.4448")},
      {{{"c1", 10, 0}, {"c2", 20, 0}}, {{"n1", 0, 3}, {"n2", 10, 5}},
       block("c1", "0", "0") + block("c2", "0", "0") + trailer(cellsHeading, "0", "0", "0"),
       block("n1", "3", "inf") + block("n2", "5", "50") +
           trailer(netsHeading, "8", "inf", "inf")},
      {{{"c1", 10, 5}, {"flat", 0, 0}, {"c3", 10, 2}}, {},
       block("c1", "5", "50") + block("flat", "0", nan) + block("c3", "2", "20") +
           trailer(cellsHeading, "7", "50", nan),  // a NaN keeps the maximum, spoils the mean
       trailer(netsHeading, "0", "0", nan)},
  };
  for (const Case& c : cases) {
    engine.cells.clear();
    engine.nets.clear();
    for (const auto& [name, area, exposed] : c.cells) addCell(name, area, exposed);
    for (const auto& [name, area, exposed] : c.nets) addNet(name, area, exposed);
    engine.writeReports("bm");
    EXPECT_EQ(readFile("my_cell_ea_bm.rpt"), c.cellReport);
    EXPECT_EQ(readFile("my_net_ea_bm.rpt"), c.netReport);
  }
}

TEST_F(RtreeReportsTest, EmptyNameGivesBareFileNames) {
  engine.writeReports("");
  EXPECT_TRUE(std::filesystem::exists("my_cell_ea_.rpt"));
  EXPECT_TRUE(std::filesystem::exists("my_net_ea_.rpt"));
}

TEST_F(RtreeReportsTest, ReportThatCannotBeCreatedIsAnError) {
  auto error = [&]() -> std::string {
    try {
      engine.writeReports("missing/bm");
    } catch (const RtreeInputError& e) {
      return e.what();
    }
    return "no error raised";
  };
  EXPECT_EQ(error(), "Report file my_cell_ea_missing/bm.rpt: cannot be created");
  std::filesystem::create_directory("my_cell_ea_missing");
  EXPECT_EQ(error(), "Report file my_net_ea_missing/bm.rpt: cannot be created");
}

}  // namespace
