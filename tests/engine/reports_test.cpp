#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "tests/engine/exposure_fixture.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Writes the reports inside a fresh temporary folder that is the working folder meanwhile.
class ReportsTest : public ExposureFixture {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/reports_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    char* previous = getcwd(nullptr, 0);
    previous_ = previous;
    std::free(previous);
    ASSERT_EQ(chdir(folder_.c_str()), 0);
  }

  void TearDown() override {
    ASSERT_EQ(chdir(previous_.c_str()), 0);
    ASSERT_EQ(std::system(("rm -rf '" + folder_ + "'").c_str()), 0);
  }

  void addCellResult(const std::string& name, double area, double ratio) {
    addCell(name, 0, 0, 1, 1);
    engine.cellExposedArea.push_back(area);
    engine.cellExposedRatio.push_back(ratio);
  }

  void addNetResult(const std::string& name, double totalArea, double ratio) {
    addAssetNet(name);
    engine.netTotalArea.push_back(totalArea);
    engine.netExposedArea.push_back(totalArea * ratio);
    engine.netExposedRatio.push_back(ratio);
  }

  // Runs writeReports; returns its result and keeps its log in `log`.
  bool writeReports(const std::string& bmName) {
    testing::internal::CaptureStdout();
    const bool written = engine.writeReports(bmName);
    log = testing::internal::GetCapturedStdout();
    return written;
  }

  static std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The log without its timestamps, one "] "-stripped line each.
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
      lines.push_back(line.substr(line.find("] ") + 2));
    return lines;
  }

  std::string log;

 private:
  std::string folder_;
  std::string previous_;
};

// The cell report gives ratios as percentages; NaN and infinities print as the stream does.
TEST_F(ReportsTest, NumbersUseSixSignificantDigits) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, double> results[] = {
      {0.0, 0.0}, {2.5e+06, 1.0}, {1e-05, 1.0 / 3.0}, {123456.0, 0.125},
      {0.0, kNaN}, {0.0, -kNaN}, {inf, -0.0}};
  for (const auto& [area, ratio] : results)
    addCellResult("u" + std::to_string(engine.cells.size()), area, ratio);
  engine.cellTotalExposedArea = 1234567.0;
  engine.cellMaxRatio = -inf;
  engine.cellMeanRatio = 0.0001;
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_cells_ea.rpt"),
            "Total exposed area across cell assets: 1.23457e+06\n"
            "Max exposure [%] across cell assets: -inf\n"
            "Avg exposure [%] across cell assets: 0.01\n"
            "\n"
            "Instance: u0 angle: 0 side: N Area_Exposed: 0 Perc_Exposed: 0\n"
            "Instance: u1 angle: 0 side: N Area_Exposed: 2.5e+06 Perc_Exposed: 100\n"
            "Instance: u2 angle: 0 side: N Area_Exposed: 1e-05 Perc_Exposed: 33.3333\n"
            "Instance: u3 angle: 0 side: N Area_Exposed: 123456 Perc_Exposed: 12.5\n"
            "Instance: u4 angle: 0 side: N Area_Exposed: 0 Perc_Exposed: nan\n"
            "Instance: u5 angle: 0 side: N Area_Exposed: 0 Perc_Exposed: -nan\n"
            "Instance: u6 angle: 0 side: N Area_Exposed: inf Perc_Exposed: -0\n");
}

TEST_F(ReportsTest, NetReportGivesTotalAreaAndExposedPercentOfAssetNets) {
  addPlainNet("plain");
  addNetResult("sig7", 40.0, 0.125);
  addNetResult("clk", 2.5e+06, 1.0 / 3.0);
  engine.netTotalExposedArea = 5.0 + 2.5e+06 / 3.0;
  engine.netMaxRatio = 1.0 / 3.0;
  engine.netMeanRatio = kNaN;
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_nets_ea.rpt"),
            "Total exposed area across net assets: 833338\n"
            "Max exposure [%] across net assets: 33.3333\n"
            "Avg exposure [%] across net assets: nan\n"
            "\n"
            "#NetName TotalAreaNet PercentageExposedAreaNet\n"
            "sig7 40 12.5\n"
            "clk 2.5e+06 33.3333\n");
}

// Without assets only the head lines are left of what stood there before.
TEST_F(ReportsTest, ExistingReportsAreReplacedNotAppendedTo) {
  std::ofstream("b_cells_ea.rpt") << std::string(5000, 'x') << "\n";
  std::ofstream("b_nets_ea.rpt") << "old\n";
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_cells_ea.rpt"),
            "Total exposed area across cell assets: 0\n"
            "Max exposure [%] across cell assets: 0\n"
            "Avg exposure [%] across cell assets: 0\n"
            "\n");
  EXPECT_EQ(contents("b_nets_ea.rpt"),
            "Total exposed area across net assets: 0\n"
            "Max exposure [%] across net assets: 0\n"
            "Avg exposure [%] across net assets: 0\n"
            "\n"
            "#NetName TotalAreaNet PercentageExposedAreaNet\n");
}

TEST_F(ReportsTest, EmptyNameGivesBareSuffixes) {
  ASSERT_TRUE(writeReports(""));
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "Writing Cell Report _cells_ea.rpt", "Finish writing _cells_ea.rpt",
                            "Writing Net Report _nets_ea.rpt", "Finish writing _nets_ea.rpt"}));
  EXPECT_FALSE(contents("_cells_ea.rpt").empty());
  EXPECT_FALSE(contents("_nets_ea.rpt").empty());
}

TEST_F(ReportsTest, ReportThatCannotBeCreatedFailsAndTheOtherIsStillWritten) {
  ASSERT_EQ(mkdir("b_cells_ea.rpt", 0755), 0);  // a folder stands where the report would
  addNetResult("sig", 4.0, 0.5);
  EXPECT_FALSE(writeReports("b"));
  const std::vector<std::string> lines = logLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Writing Cell Report b_cells_ea.rpt");
  EXPECT_EQ(lines[1], "\x1b[1;31mError\x1b[0m: Cannot write report b_cells_ea.rpt");
  EXPECT_EQ(lines[2], "Writing Net Report b_nets_ea.rpt");
  EXPECT_EQ(lines[3], "Finish writing b_nets_ea.rpt");
  EXPECT_NE(contents("b_nets_ea.rpt").find("sig 4 50\n"), std::string::npos);
  struct stat info;
  EXPECT_EQ(stat("b_cells_ea.rpt", &info), 0);  // the folder is left alone
  EXPECT_TRUE(S_ISDIR(info.st_mode));
}

}  // namespace
