#include "engine/reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"

namespace {

constexpr int32_t kLayers = 6;

class ReaderTest : public testing::Test {
 protected:
  ReaderTest() {
    const std::string stem = testing::TempDir() + "reader_" + std::to_string(::getpid()) + "_";
    config_.cell_file = stem + "cells.txt";
    config_.net_file = stem + "nets.txt";
    config_.avail_layer = kLayers;
    writeCells("");
    writeNets("");
  }
  ~ReaderTest() override {
    std::remove(config_.cell_file.c_str());
    std::remove(config_.net_file.c_str());
  }

  void writeCells(const std::string& text) { write(config_.cell_file, text); }
  void writeNets(const std::string& text) { write(config_.net_file, text); }

  // Reads the design into a fresh engine; returns the Error text ("" when the read completed).
  std::string read(engine::ReadLimits limits = engine::ReadLimits()) {
    testing::internal::CaptureStdout();
    engine_ = std::make_unique<ExposureEngine>(&config_);
    const std::string error = engine::readDesign(*engine_, limits);
    log_ = testing::internal::GetCapturedStdout();
    return error;
  }

  // Reads a design that must be accepted.
  const ExposureEngine& readOk() {
    const std::string error = read();
    EXPECT_EQ(error, "");
    return *engine_;
  }

  // The Error text of a net file holding the single line `line`.
  std::string netLineError(const std::string& line) {
    writeNets(line + "\n");
    return read();
  }

  // The layer index of a net file holding the single line with layer field `layerField`.
  int32_t layerOf(const std::string& layerField) {
    writeNets("seg s n 0 0 1 1 " + layerField + " 1\n");
    EXPECT_EQ(read(), "") << layerField;
    return engine_->segments.at(0).layer;
  }

  static std::string netLine(const std::string& segment, const std::string& net, int layer,
                             const std::string& flag) {
    return "seg " + segment + " " + net + " 0 0 1 1 M:metal" + std::to_string(layer) + " " +
           flag + " x\n";
  }

  RunConfig config_;
  std::unique_ptr<ExposureEngine> engine_;
  std::string log_;

 private:
  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
};

std::vector<int32_t> ids(std::initializer_list<int32_t> values) { return values; }

TEST_F(ReaderTest, EmptyFilesGiveAnEmptyDesignWithEveryLayerList) {
  const ExposureEngine& engine = readOk();
  EXPECT_TRUE(engine.cells.empty());
  EXPECT_TRUE(engine.segments.empty());
  EXPECT_TRUE(engine.nets.empty());
  EXPECT_TRUE(engine.assetNetIds.empty());
  ASSERT_EQ(engine.segmentsPerLayer.size(), static_cast<size_t>(kLayers));
  for (const auto& list : engine.segmentsPerLayer) EXPECT_TRUE(list.empty());
}

TEST_F(ReaderTest, CellsKeepFileOrderNamesAndCornersAsWritten) {
  writeCells("cell B 1 2 5 6 N\ncell A 0 0 1 1 N\ncell B 0 0 1 1 N");
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.cells.size(), 3u);
  EXPECT_EQ(engine.cells[0].name, "B");
  EXPECT_EQ(engine.cells[2].name, "B");  // same name, another cell
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(engine.cells[i].id, i);
  EXPECT_EQ(engine.cells[0].xlo, 1.0);
  EXPECT_EQ(engine.cells[0].xhi, 5.0);
  EXPECT_EQ(engine.cells[0].ylo, 2.0);
  EXPECT_EQ(engine.cells[0].yhi, 6.0);
  EXPECT_EQ(engine.cells[0].layer, -1);
  EXPECT_EQ(engine.cells[0].netId, -1);
}

TEST_F(ReaderTest, FinalLineFeedAddsNoRecordAndBlankCellLinesAreSkipped) {
  writeCells("\ncell A 0 0 1 1 N\n  \r\n\ncell B 0 0 1 1 N\n");
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.cells.size(), 2u);
  EXPECT_EQ(engine.cells[1].name, "B");
  EXPECT_EQ(engine.cells[1].id, 1);
}

TEST_F(ReaderTest, CrLfLinesReadNormally) {
  writeCells("cell A 0 0 1 2 N\r\ncell B 0 0 1 3\r\n");
  writeNets("seg s1 n1 0 0 1 1 M1:metal1 1\r\nseg s2 n1 0 0 1 4 M2:metal2\t1\r\n");
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.cells.size(), 2u);
  EXPECT_EQ(engine.cells[1].yhi, 3.0);
  ASSERT_EQ(engine.segments.size(), 2u);
  EXPECT_EQ(engine.segments[1].layer, 1);
  EXPECT_EQ(engine.assetNetIds, ids({0}));
}

TEST_F(ReaderTest, NineAndTwelveFieldNetLinesAreRead) {
  writeNets("seg s1 n1 0 0 1 1 M1:metal1 1\nseg s2 n1 1 2 3 4 M3:metal3 1 x y z");
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.segments.size(), 2u);
  EXPECT_EQ(engine.segments[1].name, "s2");
  EXPECT_EQ(engine.segments[1].xlo, 1.0);
  EXPECT_EQ(engine.segments[1].ylo, 2.0);
  EXPECT_EQ(engine.segments[1].xhi, 3.0);
  EXPECT_EQ(engine.segments[1].yhi, 4.0);
  EXPECT_EQ(engine.segments[1].layer, 2);
}

TEST_F(ReaderTest, LayerNameIsTheTextAfterTheFirstColon) {
  EXPECT_EQ(layerOf("M3:metal3"), 2);
  EXPECT_EQ(layerOf(":metal1"), 0);
  EXPECT_EQ(layerOf("metal:metal6"), 5);
}

TEST_F(ReaderTest, LayerFieldErrorsUseTheFixedTexts) {
  EXPECT_EQ(netLineError("seg s n 0 0 1 1 metal1 1"), "Incompatible layer formatmetal1");
  EXPECT_EQ(netLineError("seg s n 0 0 1 1 a:metal1:b 1"),
            "Cannot find the corresponding layer in db: metal1:b");
  EXPECT_EQ(netLineError("seg s n 0 0 1 1 M7:metal7 1"),
            "Cannot find the corresponding layer in db: metal7");
  EXPECT_EQ(netLineError("seg s n 0 0 1 1 M1:Metal1 1"),
            "Cannot find the corresponding layer in db: Metal1");
  EXPECT_EQ(netLineError("seg s n 0 0 1 1 x: 1"), "Cannot find the corresponding layer in db: ");
}

TEST_F(ReaderTest, NetLineThatStopsBeforeTheLayerHasAnEmptyLayerField) {
  EXPECT_EQ(netLineError(""), "Incompatible layer format");
  EXPECT_EQ(netLineError(" \t\r"), "Incompatible layer format");
  EXPECT_EQ(netLineError("seg s n 0 0 1"), "Incompatible layer format");
  EXPECT_EQ(netLineError("seg s n 0 0 1 abc M1:metal1 1"), "Incompatible layer format");
}

TEST_F(ReaderTest, EmptyLineAfterTheLastNetLineIsAnError) {
  writeNets("seg s n 0 0 1 1 M1:metal1 1\n\n");
  EXPECT_EQ(read(), "Incompatible layer format");
}

TEST_F(ReaderTest, NetLineWithoutFlagNamesFileAndLine) {
  writeNets("seg s1 n 0 0 1 1 M1:metal1 1\nseg s2 n 0 0 1 1 M1:metal1\r\n");
  EXPECT_EQ(read(), "Net file " + config_.net_file +
                        ", line 2: the line ends before the asset flag (field 9)");
}

TEST_F(ReaderTest, LayerFormatIsCheckedBeforeTheFlag) {
  EXPECT_EQ(netLineError("seg s n 0 0 1 1 metal1"), "Incompatible layer formatmetal1");
}

TEST_F(ReaderTest, FirstBadNetLineEndsTheRead) {
  writeNets("seg s1 n 0 0 1 1 M1:metal9 1\nseg s2 n 0 0 1 1 metal1 1\n");
  EXPECT_EQ(read(), "Cannot find the corresponding layer in db: metal9");
  EXPECT_EQ(log_.find("Finish parsing nets."), std::string::npos);
}

TEST_F(ReaderTest, BadCellLineNamesFileAndLineCountingBlankLines) {
  writeCells("cell A 0 0 1 1\n\ncell B 0 0 1\ncell C x 0 1 1\n");
  EXPECT_EQ(read(), "Cell asset file " + config_.cell_file +
                        ", line 3: the line ends before y2 (field 6)");
  EXPECT_EQ(log_.find("Finish parsing cells."), std::string::npos);
}

TEST_F(ReaderTest, CellCoordinateThatIsNotANumberIsRefused) {
  writeCells("cell A 0 0 1 1e\n");
  EXPECT_EQ(read(), "Cell asset file " + config_.cell_file +
                        ", line 1: y2 (field 6) is not a number: \"1e\"");
}

TEST_F(ReaderTest, AssetNetIsDecidedByItsFirstLine) {
  writeNets(netLine("a1", "late", 1, "0") + netLine("b1", "early", 1, "1") +
            netLine("a2", "late", 2, "1") + netLine("b2", "early", 2, "0"));
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.nets.size(), 2u);
  EXPECT_FALSE(engine.nets[0].isAsset);
  EXPECT_TRUE(engine.nets[1].isAsset);
  EXPECT_EQ(engine.assetNetIds, ids({1}));
  EXPECT_EQ(engine.nets[0].segmentIds, ids({0, 2}));  // later lines add segments either way
}

TEST_F(ReaderTest, OnlyAFlagOfOneMarksAnAssetNet) {
  const char* asset[] = {"1", "01", "+1", "1.0", "1abc"};
  const char* notAsset[] = {"0", "2", "-1", "abc", "+", "4294967297", ".1"};
  std::string text;
  for (const char* flag : asset) text += netLine("s", std::string("yes") + flag, 1, flag);
  for (const char* flag : notAsset) text += netLine("s", std::string("no") + flag, 1, flag);
  writeNets(text);
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.nets.size(), 12u);
  for (const Net& net : engine.nets)
    EXPECT_EQ(net.isAsset, net.name.rfind("yes", 0) == 0) << net.name;
  EXPECT_EQ(engine.assetNetIds, ids({0, 1, 2, 3, 4}));
}

TEST_F(ReaderTest, NetsAreNumberedByFirstAppearanceAndCollectScatteredLines) {
  writeNets(netLine("s0", "zeta", 3, "1") + netLine("s1", "alpha", 1, "0") +
            netLine("s2", "zeta", 1, "0") + netLine("s3", "Zeta", 1, "1") +
            netLine("s4", "zeta", 3, "1"));
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.nets.size(), 3u);
  EXPECT_EQ(engine.nets[0].name, "zeta");
  EXPECT_EQ(engine.nets[1].name, "alpha");
  EXPECT_EQ(engine.nets[2].name, "Zeta");  // names are case-sensitive
  EXPECT_EQ(engine.nets[0].segmentIds, ids({0, 2, 4}));
  EXPECT_EQ(engine.segments[4].netId, 0);
  EXPECT_EQ(engine.segmentsPerLayer[0], ids({1, 2, 3}));
  EXPECT_EQ(engine.segmentsPerLayer[2], ids({0, 4}));
  EXPECT_EQ(engine.assetNetIds, ids({0, 2}));
}

TEST_F(ReaderTest, DuplicateSegmentNamesAreTwoSegments) {
  writeNets(netLine("s", "n", 1, "1") + netLine("s", "n", 1, "1"));
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.segments.size(), 2u);
  EXPECT_EQ(engine.segments[1].id, 1);
  EXPECT_EQ(engine.nets[0].segmentIds, ids({0, 1}));
}

TEST_F(ReaderTest, MissingCellFileIsReportedBeforeMissingNetFile) {
  const std::string cells = config_.cell_file;
  const std::string nets = config_.net_file;
  config_.cell_file += ".absent";
  config_.net_file += ".absent";
  EXPECT_EQ(read(), "Fail to open cell asset file at " + cells + ".absent");
  config_.cell_file = cells;
  EXPECT_EQ(read(), "Fail to open net file at " + nets + ".absent");
  EXPECT_EQ(log_.find("Finish parsing cells."), std::string::npos);
}

TEST_F(ReaderTest, ReversedRectanglesAreRefusedWithTheirLine) {
  writeCells("cell A 0 0 1 1 N\ncell B 5 6 1 7 N\n");
  EXPECT_EQ(read(), "Cell asset file " + config_.cell_file +
                        ", line 2: x1 (field 3) 5 exceeds x2 (field 5) 1");
  writeCells("cell A 0 0 1 1 N\n");
  writeNets(netLine("s", "n", 1, "1") + "seg t n 0 2.5 1 -0.5 M:metal2 1 x\n");
  EXPECT_EQ(read(), "Net file " + config_.net_file +
                        ", line 2: y1 (field 5) 2.5 exceeds y2 (field 7) -0.5");
}

TEST_F(ReaderTest, FlatRectanglesAreKept) {
  writeCells("cell A 1 0 1 1 N\n");
  writeNets("seg t n 0 3 2 3 M:metal2 1 x\n");
  const ExposureEngine& engine = readOk();
  EXPECT_EQ(engine.cells.size(), 1u);
  EXPECT_EQ(engine.segments.size(), 1u);
}

TEST_F(ReaderTest, FolderGivenAsAFileIsAReadErrorNamingIt) {
  const std::string folder = testing::TempDir();
  const std::string nets = config_.net_file;
  config_.cell_file = folder;
  EXPECT_EQ(read(), "Cannot read cell asset file " + folder + ": Is a directory");
  EXPECT_EQ(log_.find("Finish parsing cells."), std::string::npos);
  writeCells("c A 0 0 1 1\n");
  config_.cell_file = nets;  // any readable file serves as cell file
  config_.net_file = folder;
  EXPECT_EQ(read(), "Cannot read net file " + folder + ": Is a directory");
  EXPECT_NE(log_.find("Finish parsing cells."), std::string::npos);
  EXPECT_EQ(log_.find("Finish parsing nets."), std::string::npos);
}

TEST_F(ReaderTest, ReadBlockSizeDoesNotChangeTheDesign) {
  writeCells("c A 0 0 1 1\n\nc B 2 2 3.5 4\r\nc C -1 -1 0 0");
  writeNets(netLine("s1", "a", 1, "1") + netLine("s2", "b", 2, "0") + netLine("s3", "a", 3, "1"));
  for (size_t blockBytes : {1, 2, 3, 7, 64}) {
    engine::ReadLimits limits;
    limits.blockBytes = blockBytes;
    ASSERT_EQ(read(limits), "") << blockBytes;
    ASSERT_EQ(engine_->cells.size(), 3u);
    ASSERT_EQ(engine_->segments.size(), 3u);
    EXPECT_EQ(engine_->cells[1].name, "B");
    EXPECT_EQ(engine_->cells[1].yhi, 4.0);
    EXPECT_EQ(engine_->cells[2].name, "C");
    EXPECT_EQ(engine_->segments[2].name, "s3");
    EXPECT_EQ(engine_->nets[0].segmentIds, ids({0, 2}));
  }
}

TEST_F(ReaderTest, RecordCountsBeyondTheLimitAreRefused) {
  engine::ReadLimits limits;
  limits.maxRecords = 2;
  writeCells("c A 0 0 1 1\nc B 0 0 1 1\n\nc C 0 0 1 1\n");
  EXPECT_EQ(read(limits), "Cell asset file " + config_.cell_file + ", line 4: more than 2 cells");
  writeCells("c A 0 0 1 1\nc B 0 0 1 1\n");
  writeNets(netLine("s", "a", 1, "1") + netLine("s", "b", 1, "1") + netLine("s", "c", 1, "1"));
  EXPECT_EQ(read(limits), "Net file " + config_.net_file + ", line 3: more than 2 segments");
}

TEST_F(ReaderTest, ReadingAgainReplacesTheDesign) {
  writeCells("c A 0 0 1 1\n");
  writeNets(netLine("s", "a", 1, "1"));
  read();
  ASSERT_EQ(engine::readDesign(*engine_), "");
  EXPECT_EQ(engine_->cells.size(), 1u);
  EXPECT_EQ(engine_->segments.size(), 1u);
  EXPECT_EQ(engine_->assetNetIds, ids({0}));
  EXPECT_EQ(engine_->segmentsPerLayer[0], ids({0}));
}

// Random net files against a plain model of the rules: nets by first appearance, asset by the
// first line's flag, every segment in exactly its net's list and its layer's list, in order.
TEST_F(ReaderTest, RandomNetFilesMatchAPlainModel) {
  std::mt19937 random(31337);
  for (int trial = 0; trial < 40; ++trial) {
    std::string text;
    std::map<std::string, bool> firstFlag;
    std::vector<std::string> netOrder, segmentNets;
    std::vector<int> segmentLayers;
    const int lines = random() % 60;
    for (int i = 0; i < lines; ++i) {
      const std::string net = "n" + std::to_string(random() % 9);
      const int layer = 1 + random() % kLayers;
      const bool flag = random() % 2;
      if (firstFlag.emplace(net, flag).second) netOrder.push_back(net);
      segmentNets.push_back(net);
      segmentLayers.push_back(layer - 1);
      text += netLine("s" + std::to_string(i), net, layer, flag ? "1" : "0");
    }
    writeNets(text);
    const ExposureEngine& engine = readOk();
    ASSERT_EQ(engine.nets.size(), netOrder.size());
    std::vector<int32_t> assets;
    std::vector<std::vector<int32_t>> perNet(netOrder.size()), perLayer(kLayers);
    for (size_t id = 0; id < netOrder.size(); ++id) {
      EXPECT_EQ(engine.nets[id].name, netOrder[id]);
      EXPECT_EQ(engine.nets[id].isAsset, firstFlag[netOrder[id]]);
      if (firstFlag[netOrder[id]]) assets.push_back(static_cast<int32_t>(id));
    }
    for (int i = 0; i < lines; ++i) {
      const Shape& segment = engine.segments[i];
      ASSERT_EQ(engine.nets[segment.netId].name, segmentNets[i]);
      ASSERT_EQ(segment.layer, segmentLayers[i]);
      perNet[segment.netId].push_back(i);
      perLayer[segment.layer].push_back(i);
    }
    EXPECT_EQ(engine.assetNetIds, assets);
    for (size_t id = 0; id < netOrder.size(); ++id) EXPECT_EQ(engine.nets[id].segmentIds, perNet[id]);
    EXPECT_EQ(engine.segmentsPerLayer, perLayer);
  }
}

// The lists are sized for their files up front: about the room they need, not some multiple.
TEST_F(ReaderTest, RecordListsAreSizedForTheWholeFile) {
  std::string cells, nets;
  for (int i = 0; i < 60000; ++i) {
    const std::string number = std::to_string(i);
    cells += "cell c" + number + " 0 0 1." + number + " 1\n";
    nets += netLine("s" + number, "n" + std::to_string(i / 7), 1 + i % kLayers, "0");
  }
  writeCells(cells);
  writeNets(nets);
  const ExposureEngine& engine = readOk();
  ASSERT_EQ(engine.cells.size(), 60000u);
  ASSERT_EQ(engine.segments.size(), 60000u);
  EXPECT_LE(engine.cells.capacity(), 60000u * 11 / 10);
  EXPECT_LE(engine.segments.capacity(), 60000u * 11 / 10);
}

// parseInputs itself: the summary lines, and the process ending on bad input.
TEST_F(ReaderTest, SummaryListsEveryLayerInOrder) {
  writeCells("c A 0 0 1 1\nc B 0 0 1 1\n");
  writeNets(netLine("s", "a", 2, "1") + netLine("s", "b", 2, "0") + netLine("s", "a", 5, "0"));
  ExposureEngine engine(&config_);
  testing::internal::CaptureStdout();
  engine.parseInputs();
  const std::string log = std::regex_replace(testing::internal::GetCapturedStdout(),
                                             std::regex(R"(\[ *[0-9.]+\] )"), "");
  EXPECT_EQ(log, "Parsing input files: cell: " + config_.cell_file + "; net: " +
                     config_.net_file +
                     "\nFinish parsing cells.\nFinish parsing nets.\nRead-in Summary: \n"
                     "Number of Cell Assets: 2\nNumber of Net Assets: 1\n"
                     "Number of Metal Segments: 3\nLayer details: \nmetal1: 0\nmetal2: 2\n"
                     "metal3: 0\nmetal4: 0\nmetal5: 1\nmetal6: 0\n");
}

TEST_F(ReaderTest, BadInputEndsTheProcessWithStatusOne) {
  writeNets("seg s n 0 0 1 1 metal1 1\n");
  ExposureEngine engine(&config_);
  EXPECT_EXIT(engine.parseInputs(), testing::ExitedWithCode(1), "");
}

}  // namespace
