#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
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
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("] ") + 2));
    return lines;
  }

  std::string log;

 private:
  std::string folder_;
  std::string previous_;
};

TEST_F(ReportsTest, NumbersUseSixSignificantDigits) {
  addCellResult("u0", 0.0, 0.0);
  addCellResult("u1", 2.5e+06, 1.0);
  addCellResult("u2", 1e-05, 1.0 / 3.0);
  addCellResult("u3", 123456.0, 0.125);
  engine.cellTotalExposedArea = 1234567.0;
  engine.cellMaxRatio = 1.0;
  engine.cellMeanRatio = 0.0001;
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_cells_ea.rpt"),
            "Total exposed area across cell assets: 1.23457e+06\n"
            "Max exposure [%] across cell assets: 100\n"
            "Avg exposure [%] across cell assets: 0.01\n"
            "\n"
            "Instance: u0 angle: 0 side: N Area_Exposed: 0 Perc_Exposed: 0\n"
            "Instance: u1 angle: 0 side: N Area_Exposed: 2.5e+06 Perc_Exposed: 100\n"
            "Instance: u2 angle: 0 side: N Area_Exposed: 1e-05 Perc_Exposed: 33.3333\n"
            "Instance: u3 angle: 0 side: N Area_Exposed: 123456 Perc_Exposed: 12.5\n");
}

TEST_F(ReportsTest, NotANumberAndInfinitiesPrintAsTheStreamDoes) {
  addCellResult("pos", 0.0, kNaN);
  addCellResult("neg", 0.0, -kNaN);
  addCellResult("inf", std::numeric_limits<double>::infinity(), -0.0);
  engine.cellMeanRatio = kNaN;
  engine.cellMaxRatio = -std::numeric_limits<double>::infinity();
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_cells_ea.rpt"),
            "Total exposed area across cell assets: 0\n"
            "Max exposure [%] across cell assets: -inf\n"
            "Avg exposure [%] across cell assets: nan\n"
            "\n"
            "Instance: pos angle: 0 side: N Area_Exposed: 0 Perc_Exposed: nan\n"
            "Instance: neg angle: 0 side: N Area_Exposed: 0 Perc_Exposed: -nan\n"
            "Instance: inf angle: 0 side: N Area_Exposed: inf Perc_Exposed: -0\n");
}

TEST_F(ReportsTest, FlatCellPrintsTheNaNOfItsDivision) {
  addCell("flat", 1, 0, 1, 2);
  addCell("u1", 2, 0, 4, 2);
  calcExposure();
  ASSERT_TRUE(writeReports("b"));
  const std::string nan = std::signbit(engine.cellExposedRatio[0]) ? "-nan" : "nan";
  EXPECT_EQ(contents("b_cells_ea.rpt"),
            "Total exposed area across cell assets: 4\n"
            "Max exposure [%] across cell assets: " + nan + "\n"
            "Avg exposure [%] across cell assets: " + nan + "\n"
            "\n"
            "Instance: flat angle: 0 side: N Area_Exposed: 0 Perc_Exposed: " + nan + "\n"
            "Instance: u1 angle: 0 side: N Area_Exposed: 4 Perc_Exposed: 100\n");
}

TEST_F(ReportsTest, NetReportGivesTotalAreaAndExposedPercent) {
  addPlainNet("plain");
  addNetResult("sig7", 40.0, 0.125);
  addNetResult("clk", 2.5e+06, 1.0 / 3.0);
  engine.netTotalExposedArea = 5.0 + 2.5e+06 / 3.0;
  engine.netMaxRatio = 1.0 / 3.0;
  engine.netMeanRatio = (0.125 + 1.0 / 3.0) / 2.0;
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_nets_ea.rpt"),
            "Total exposed area across net assets: 833338\n"
            "Max exposure [%] across net assets: 33.3333\n"
            "Avg exposure [%] across net assets: 22.9167\n"
            "\n"
            "#NetName TotalAreaNet PercentageExposedAreaNet\n"
            "sig7 40 12.5\n"
            "clk 2.5e+06 33.3333\n");
}

TEST_F(ReportsTest, NoAssetsGiveOnlyTheHeadLines) {
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

TEST_F(ReportsTest, LogNamesEachReportBeforeAndAfter) {
  ASSERT_TRUE(writeReports("run1"));
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "Writing Cell Report run1_cells_ea.rpt",
                            "Finish writing run1_cells_ea.rpt",
                            "Writing Net Report run1_nets_ea.rpt",
                            "Finish writing run1_nets_ea.rpt"}));
}

TEST_F(ReportsTest, EmptyNameGivesBareSuffixes) {
  ASSERT_TRUE(writeReports(""));
  EXPECT_FALSE(contents("_cells_ea.rpt").empty());
  EXPECT_FALSE(contents("_nets_ea.rpt").empty());
}

TEST_F(ReportsTest, NameWithAFolderWritesIntoIt) {
  ASSERT_EQ(mkdir("out", 0755), 0);
  ASSERT_TRUE(writeReports("out/b"));
  EXPECT_FALSE(contents("out/b_nets_ea.rpt").empty());
}

TEST_F(ReportsTest, ExistingReportIsReplacedNotAppended) {
  std::ofstream("b_cells_ea.rpt") << std::string(5000, 'x') << "\n";
  ASSERT_TRUE(writeReports("b"));
  EXPECT_EQ(contents("b_cells_ea.rpt"),
            "Total exposed area across cell assets: 0\n"
            "Max exposure [%] across cell assets: 0\n"
            "Avg exposure [%] across cell assets: 0\n"
            "\n");
}

TEST_F(ReportsTest, ReportThatCannotBeCreatedFailsAndTheOtherIsStillWritten) {
  ASSERT_EQ(mkdir("b_cells_ea.rpt", 0755), 0);  // a folder stands where the report would
  addNetResult("sig", 4.0, 0.5);
  EXPECT_FALSE(writeReports("b"));
  const std::vector<std::string> lines = logLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Writing Cell Report b_cells_ea.rpt");
  EXPECT_NE(lines[1].find("Error"), std::string::npos);
  EXPECT_NE(lines[1].find(": Cannot write report b_cells_ea.rpt"), std::string::npos);
  EXPECT_EQ(lines[2], "Writing Net Report b_nets_ea.rpt");
  EXPECT_EQ(lines[3], "Finish writing b_nets_ea.rpt");
  EXPECT_NE(contents("b_nets_ea.rpt").find("sig 4 50\n"), std::string::npos);
  struct stat info;
  EXPECT_EQ(stat("b_cells_ea.rpt", &info), 0);  // the folder is left alone
  EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(ReportsTest, ReportInAMissingFolderFails) {
  EXPECT_FALSE(writeReports("no/such/folder/b"));
  EXPECT_EQ(log.find("Finish writing"), std::string::npos);
  EXPECT_NE(log.find(": Cannot write report no/such/folder/b_nets_ea.rpt\n"), std::string::npos);
}

TEST_F(ReportsTest, ReportOnAFullDiskFails) {
  ASSERT_EQ(symlink("/dev/full", "b_nets_ea.rpt"), 0);
  for (int c = 0; c < 2000; ++c) addNetResult("net" + std::to_string(c), 1.0, 1.0);
  EXPECT_FALSE(writeReports("b"));
  EXPECT_NE(log.find("Finish writing b_cells_ea.rpt\n"), std::string::npos);
  EXPECT_NE(log.find(": Cannot write report b_nets_ea.rpt\n"), std::string::npos);
  EXPECT_EQ(log.find("Finish writing b_nets_ea.rpt"), std::string::npos);
  struct stat info;
  EXPECT_NE(lstat("b_nets_ea.rpt", &info), 0);  // the cut-short report is gone
  EXPECT_EQ(stat("/dev/full", &info), 0);
}

}  // namespace
