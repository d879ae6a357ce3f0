// Reports on a memory file system take memory that the kernel cannot reclaim: each is checked
// against the memory left before it is written, and one that does not fit, or outgrows what
// was left while it is written, leaves no file and one Error line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/exposure_fixture.h"
#include "utils/memory.h"

namespace {

class ReportsTest : public ExposureFixture {
 protected:
  ReportsTest() : stem_(testing::TempDir() + "reports_" + std::to_string(::getpid())) {
    for (int i = 0; i < 20000; ++i) addCell("cell" + std::to_string(i), i, 0, i + 1, 1);
    addSegment(addNet("key", true), 0, 0, 0, 2, 2);
    calcExposure(1);
  }
  ~ReportsTest() override {
    std::remove(cellPath().c_str());
    std::remove(netPath().c_str());
  }

  std::string cellPath() const { return stem_ + "_cells_ea.rpt"; }
  std::string netPath() const { return stem_ + "_nets_ea.rpt"; }

  // Writes both reports, the memory probe of the checks leaving `left`, that of the files' room
  // answering `rooms` in turn (the last one from then on); returns whether both were written
  // and keeps the log.
  bool write(bool inMemory, uint64_t left, std::vector<uint64_t> rooms = {UINT64_MAX}) {
    engine.onMemoryFileSystem = [inMemory](const std::string&) { return inMemory; };
    engine.memoryProbe = [left] {
      return utils::AvailableMemory{left, utils::MemoryBound::kControlGroup};
    };
    engine.fileRoomProbe = [rooms, asked = size_t{0}]() mutable {
      return utils::AvailableMemory{rooms[std::min(asked++, rooms.size() - 1)],
                                    utils::MemoryBound::kControlGroup};
    };
    testing::internal::CaptureStdout();
    const bool written = engine.writeReports(stem_);
    log_ = testing::internal::GetCapturedStdout();
    return written;
  }

  static std::string text(const std::string& path) {
    std::ifstream in(path);
    if (!in) return "<none>";
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

  const std::string stem_;
  std::string log_;
};

TEST_F(ReportsTest, AReportThatDoesNotFitInMemoryIsNotWrittenAndTheOtherIs) {
  ASSERT_TRUE(write(false, 0, {0}));  // not in memory: nothing is asked
  const std::string cells = text(cellPath()), nets = text(netPath());
  const uint64_t pages = (cells.size() + 4095) / 4096 * 4096;
  ASSERT_GT(cells.size(), 256u << 10) << "a report the check looks at";

  EXPECT_FALSE(write(true, pages - 1));
  EXPECT_EQ(text(cellPath()), "<none>");
  EXPECT_EQ(text(netPath()), nets);
  EXPECT_NE(log_.find("Error\x1b[0m: Cannot write report " + cellPath() + ": " +
                      std::to_string(pages) + " bytes needed, " + std::to_string(pages - 1) +
                      " available (memory limit of the control group)\n"),
            std::string::npos)
      << log_;
  EXPECT_EQ(log_.find("Finish writing " + cellPath()), std::string::npos);

  EXPECT_TRUE(write(true, pages, {pages}));
  EXPECT_EQ(text(cellPath()), cells);
  EXPECT_EQ(log_.find("Error"), std::string::npos) << log_;
}

// The check passes, then less is left than the report takes: the write fails at the limit and
// the cut-off report is removed, as on a full disk.
TEST_F(ReportsTest, AReportThatOutgrowsTheRoomWhileWrittenIsRemoved) {
  ASSERT_TRUE(write(false, 0, {0}));
  const std::string cells = text(cellPath()), nets = text(netPath());
  EXPECT_FALSE(write(true, uint64_t{1} << 30, {300000, uint64_t{1} << 30}));
  EXPECT_EQ(text(cellPath()), "<none>");
  EXPECT_EQ(text(netPath()), nets);
  EXPECT_NE(log_.find("Error\x1b[0m: Cannot write report " + cellPath() + "\n"),
            std::string::npos)
      << log_;
  EXPECT_TRUE(write(false, 0, {0})) << "the file size limit is lifted again";
  EXPECT_EQ(text(cellPath()), cells);
}

}  // namespace
