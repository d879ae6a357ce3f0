#include "engine/reader.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <malloc.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"
#include "engine/cell_chunks.h"
#include "engine/net_chunks.h"

namespace {

constexpr int32_t kLayers = 6;

using Ids = std::vector<int32_t>;
using Lines = std::vector<std::string>;

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
    EXPECT_EQ(read(), "");
    return *engine_;
  }

  std::string cellError(int line, const std::string& problem) const {
    return "Cell asset file " + config_.cell_file + ", line " + std::to_string(line) + ": " +
           problem;
  }
  std::string netError(int line, const std::string& problem) const {
    return "Net file " + config_.net_file + ", line " + std::to_string(line) + ": " + problem;
  }

  static std::string netLine(const std::string& segment, const std::string& net, int layer,
                             const std::string& flag) {
    return "seg " + segment + " " + net + " 0 0 1 1 M:metal" + std::to_string(layer) + " " + flag +
           " x\n";
  }

  RunConfig config_;
  std::unique_ptr<ExposureEngine> engine_;
  std::string log_;

 private:
  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
};

// "id name net xlo ylo xhi yhi layer" of every shape.
Lines describe(const std::vector<Shape>& shapes) {
  Lines lines;
  for (const Shape& s : shapes) {
    std::ostringstream line;
    line << s.id << ' ' << s.name << ' ' << s.netId << ' ' << s.xlo << ' ' << s.ylo << ' ' << s.xhi
         << ' ' << s.yhi << ' ' << s.layer;
    lines.push_back(line.str());
  }
  return lines;
}

// Blank lines, CRLF, a tab, 6 to 12 fields, repeated names, flat shapes, no final line feed.
TEST_F(ReaderTest, LinesAreReadAsWritten) {
  writeCells("\ncell B 1 2 5 6 N\n  \r\n\ncell A 0 0 1 1\r\ncell B 3 0 3 1.5 N");
  writeNets(
      "seg s1 n1 0 0 1 1 M1:metal1 1\r\nseg s2 n1 1 2 3 4 M3:metal3 1 x y z\n"
      "seg s3 n2 0 3 2 3 :metal2\t1\r\nseg s3 n1 -1 0 0 1 metal:metal6 0");
  ASSERT_EQ(read(), "");
  EXPECT_EQ(describe(engine_->cells),
            (Lines{"0 B -1 1 2 5 6 -1", "1 A -1 0 0 1 1 -1", "2 B -1 3 0 3 1.5 -1"}));
  EXPECT_EQ(describe(engine_->segments), (Lines{"0 s1 0 0 0 1 1 0", "1 s2 0 1 2 3 4 2",
                                                "2 s3 1 0 3 2 3 1", "3 s3 0 -1 0 0 1 5"}));
  EXPECT_EQ(engine_->nets[0].segmentIds, (Ids{0, 1, 3}));
  EXPECT_EQ(engine_->assetNetIds, (Ids{0, 1}));
}

TEST_F(ReaderTest, FirstBadLineEndsTheReadWithItsError) {
  struct Case {
    std::string cells, nets, error;
    int64_t maxRecords = std::numeric_limits<int32_t>::max();
  };
  const std::string good = "seg s n 0 0 1 1 M1:metal1 1\n";
  const std::string noLayer = "Incompatible layer format";
  const std::string unknown = "Cannot find the corresponding layer in db: ";
  const Case cases[] = {
      {"cell A 0 0 1 1\n\ncell B 0 0 1\ncell C x 0 1 1\n", "",
       cellError(3, "the line ends before y2 (field 6)")},
      {"cell A 0 0 1 1e\n", "", cellError(1, "y2 (field 6) is not a number: \"1e\"")},
      {"cell A 0 0 1 1 N\ncell B 5 6 1 7 N\n", "",
       cellError(2, "x1 (field 3) 5 exceeds x2 (field 5) 1")},
      {"c A 0 0 1 1\nc B 0 0 1 1\n\nc C 0 0 1 1\n", "", cellError(4, "more than 2 cells"), 2},
      {"", good + good + good, netError(3, "more than 2 segments"), 2},
      {"", "seg s n 0 0 1 1 metal1 1\n", noLayer + "metal1"},
      {"", "seg s n 0 0 1 1 metal1\n", noLayer + "metal1"},  // the layer before the flag
      {"", "seg s n 0 0 1 1 a:metal1:b 1\n", unknown + "metal1:b"},
      {"", "seg s n 0 0 1 1 M7:metal7 1\n", unknown + "metal7"},
      {"", "seg s n 0 0 1 1 M1:Metal1 1\n", unknown + "Metal1"},
      {"", "seg s n 0 0 1 1 x: 1\n", unknown},
      {"", "\n", noLayer},
      {"", " \t\r\n", noLayer},
      {"", "seg s n 0 0 1\n", noLayer},
      {"", "seg s n 0 0 1 abc M1:metal1 1\n", noLayer},
      {"", good + "\n", noLayer},  // an empty line after the last one
      {"", good + "seg s2 n 0 0 1 1 M1:metal1\r\n",
       netError(2, "the line ends before the asset flag (field 9)")},
      {"", "seg s n 0 0 1 1 M1:metal9 1\nseg s n 0 0 1 1 metal1 1\n", unknown + "metal9"},
      {"", good + "seg t n 0 2.5 1 -0.5 M:metal2 1 x\n",
       netError(2, "y1 (field 5) 2.5 exceeds y2 (field 7) -0.5")},
  };
  for (const Case& c : cases) {
    writeCells(c.cells);
    writeNets(c.nets);
    engine::ReadLimits limits;
    limits.maxRecords = c.maxRecords;
    EXPECT_EQ(read(limits), c.error) << c.cells << c.nets;
    const bool inCells = c.error.rfind("Cell", 0) == 0;
    EXPECT_EQ(log_.find(inCells ? "Finish parsing cells." : "Finish parsing nets."),
              std::string::npos);
  }
}

TEST_F(ReaderTest, FileThatCannotBeOpenedOrReadIsNamedCellFileFirst) {
  const std::string cells = config_.cell_file, nets = config_.net_file;
  const std::string absent = ".absent", folder = testing::TempDir();
  const std::string cases[][3] = {
      {cells + absent, nets + absent, "Fail to open cell asset file at " + cells + absent},
      {cells, nets + absent, "Fail to open net file at " + nets + absent},
      {folder, nets, "Cannot read cell asset file " + folder + ": Is a directory"},
      {cells, folder, "Cannot read net file " + folder + ": Is a directory"},
  };
  for (const auto& [cellFile, netFile, error] : cases) {
    config_.cell_file = cellFile;
    config_.net_file = netFile;
    EXPECT_EQ(read(), error);
    const bool cellsRead = error.rfind("Cannot read net", 0) == 0;  // both files open first
    EXPECT_EQ(log_.find("Finish parsing cells.") != std::string::npos, cellsRead) << error;
    EXPECT_EQ(log_.find("Finish parsing nets."), std::string::npos);
  }
  config_.cell_file = cells;
  config_.net_file = nets;
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
  EXPECT_EQ(engine.assetNetIds, (Ids{0, 1, 2, 3, 4}));
}

TEST_F(ReaderTest, ReadingAgainReplacesTheDesign) {
  writeCells("c A 0 0 1 1\n");
  writeNets(netLine("s", "a", 1, "1"));
  read();
  ASSERT_EQ(engine::readDesign(*engine_), "");
  EXPECT_EQ(engine_->cells.size(), 1u);
  EXPECT_EQ(engine_->segments.size(), 1u);
  EXPECT_EQ(engine_->assetNetIds, (Ids{0}));
  EXPECT_EQ(engine_->segmentsPerLayer[0], (Ids{0}));
}

// A design as the reader left it, with its Error text, for comparing two reads.
std::string snapshot(const ExposureEngine& engine, const std::string& error) {
  std::ostringstream out;
  out << error << "\n";
  for (const Lines& shapes : {describe(engine.cells), describe(engine.segments)})
    for (const std::string& shape : shapes) out << shape << "\n";
  for (const Net& net : engine.nets) {
    out << net.name << ' ' << net.isAsset << ':';
    for (int32_t id : net.segmentIds) out << ' ' << id;
    out << "\n";
  }
  for (const Ids& ids : engine.segmentsPerLayer) out << ids.size() << ' ';
  return out.str();
}

// Random files against a plain model of the rules (nets by first appearance, asset by the first
// line's flag, every segment in exactly its net's list and its layer's list, in order), then
// read again, some with a bad line, on 2, 3 and 8 threads in chunks so small that chunk
// boundaries fall everywhere: the same records, nets and first Error line.
TEST_F(ReaderTest, RandomFilesMatchAPlainModelOnEveryThreadCountAndChunkSize) {
  const std::string badNetLines[] = {"\n", "seg s n 0 0 1 1 metal1 1\n",
                                     "seg q n 0 0 1 1 M:metal1\r\n"};
  std::mt19937 random(31337);
  for (int trial = 0; trial < 40; ++trial) {
    std::string text, cells;
    std::map<std::string, bool> firstFlag;
    std::map<std::string, Ids> perNetName;
    Lines netOrder;
    std::vector<Ids> perLayer(kLayers);
    const int lines = random() % 60;
    for (int i = 0; i < lines; ++i) {
      const std::string net = "n" + std::to_string(random() % 9);
      const int layer = 1 + random() % kLayers;
      const bool flag = random() % 2;
      if (firstFlag.emplace(net, flag).second) netOrder.push_back(net);
      perNetName[net].push_back(i);
      perLayer[layer - 1].push_back(i);
      text += netLine("s" + std::to_string(i), net, layer, flag ? "1" : "0");
      cells += random() % 3
                   ? "cell c" + std::to_string(i) + " 0 0 1 1e" + std::to_string(i % 3) + "\r\n"
                   : "   \n";
    }
    writeCells(cells);
    writeNets(text);
    const ExposureEngine& engine = readOk();
    ASSERT_EQ(engine.nets.size(), netOrder.size());
    Ids assets;
    for (size_t id = 0; id < netOrder.size(); ++id) {
      EXPECT_EQ(engine.nets[id].name, netOrder[id]);
      EXPECT_EQ(engine.nets[id].isAsset, firstFlag[netOrder[id]]);
      EXPECT_EQ(engine.nets[id].segmentIds, perNetName[netOrder[id]]);
      for (int32_t segment : engine.nets[id].segmentIds)
        EXPECT_EQ(engine.segments[segment].netId, static_cast<int32_t>(id));
      if (firstFlag[netOrder[id]]) assets.push_back(static_cast<int32_t>(id));
    }
    EXPECT_EQ(engine.assetNetIds, assets);
    EXPECT_EQ(engine.segmentsPerLayer, perLayer);

    if (trial % 2 == 1 && lines > 0) {  // a bad line somewhere, or two
      for (int bad = 0; bad < 1 + trial % 3; ++bad) {
        size_t at = 0;
        for (int skip = random() % lines; skip > 0; --skip) at = text.find('\n', at) + 1;
        text.insert(at, badNetLines[random() % 3]);
      }
      if (trial % 4 == 1) cells.insert(cells.size() / 2, "cell bad 0 0 1\n");
      writeCells(cells);
      writeNets(text);
    }
    const std::string firstError = read();  // on one thread, in chunks of a megabyte
    const std::string expected = snapshot(*engine_, firstError);
    for (int threads : {2, 3, 8}) {
      omp_set_num_threads(threads);
      engine::ReadLimits limits;
      limits.chunkBytes = 1 + random() % 9;
      const std::string error = read(limits);
      EXPECT_EQ(snapshot(*engine_, error), expected) << threads << " threads " << limits.chunkBytes;
    }
    omp_set_num_threads(1);
  }
}

// The lists hold exactly their records: blank lines, however many and however long, take no
// room.
TEST_F(ReaderTest, RecordListsHoldNoRoomForBlankLines) {
  std::string blanks;
  for (int i = 0; i < 20000; ++i) blanks += i % 2 ? "\n" : "             \t \r\n";
  writeCells("cell c 0 0 1 1\n" + blanks);
  std::string nets;
  for (int i = 0; i < 500; ++i) nets += netLine("s", "n", 1, "0");
  writeNets(nets);
  EXPECT_EQ(read(), "");
  EXPECT_EQ(engine_->cells.capacity(), 1u);
  EXPECT_EQ(engine_->segments.capacity(), 500u);
  writeNets(nets + blanks);
  EXPECT_EQ(read(), "Incompatible layer format");
}

// The memory the reader may take, as a fixed answer of the probe.
engine::ReadLimits withMemory(uint64_t bytes, utils::MemoryBound bound) {
  engine::ReadLimits limits;
  limits.availableMemory = [=] { return utils::AvailableMemory{bytes, bound}; };
  return limits;
}

bool startsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}
bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Text or records that need more than the memory left end the read with one Error line that
// names them, the bytes needed and the bytes available; with enough memory the same files read.
TEST_F(ReaderTest, TextOrRecordsBeyondTheMemoryLeftEndTheReadWithTheirErrorLine) {
  std::string nets;
  for (int i = 0; i < 20000; ++i) nets += netLine("s", "n" + std::to_string(i), 1, "1");
  writeNets(nets);
  writeCells("cell long 0 0 1 1 " + std::string(3 << 20, 'x') + "\n");
  const std::string text = read(withMemory(1000000, utils::MemoryBound::kControlGroup));
  EXPECT_TRUE(startsWith(text, "Cannot allocate memory for the text of cell asset file " +
                                   config_.cell_file + ": "))
      << text;
  EXPECT_TRUE(endsWith(text, " bytes needed, 1000000 available (memory limit of the control group)"))
      << text;

  std::string cells;
  const std::string longName(30, 'c');
  for (int i = 0; i < 20000; ++i) cells += "cell " + longName + " 0 0 1 1\n";
  writeCells(cells);
  const uint64_t cellBytes = 20000 * (sizeof(Shape) + engine::nameHeapBytes(longName.size()));
  EXPECT_EQ(read(withMemory(1500000, utils::MemoryBound::kMachine)),
            "Cannot allocate memory for 20000 cells of cell asset file " + config_.cell_file +
                ": " + std::to_string(cellBytes) + " bytes needed, 1500000 available");

  writeCells("cell short 0 0 1 1\n");
  const std::string records = read(withMemory(1500000, utils::MemoryBound::kMachine));
  EXPECT_TRUE(startsWith(records, "Cannot allocate memory for 20000 segments of net file " +
                                      config_.net_file + ": "))
      << records;
  EXPECT_TRUE(endsWith(records, " bytes needed, 1500000 available")) << records;
  EXPECT_NE(log_.find("Finish parsing cells."), std::string::npos);
  // Each line names a net of its own: the nets count as much as the segments.
  const uint64_t needed = std::stoull(records.substr(records.rfind(": ") + 2));
  EXPECT_GE(needed, 20000 * (sizeof(Shape) + sizeof(Net)));

  EXPECT_EQ(read(withMemory(20000000, utils::MemoryBound::kMachine)), "");
  EXPECT_EQ(engine_->segments.size(), 20000u);
}

// The nets are joined after the records have been read: their numbering map, their records and
// their lists are asked for last, and one byte short of them ends the read with a line that
// gives the bytes. Two chunks, each line a net of its own, one net in both chunks.
TEST_F(ReaderTest, JoiningTheNetsNeedsTheirRecordsAndListsBeforeTheyAreTaken) {
  const std::string longNet(40, 'n');
  std::string nets;
  for (int i = 0; i < 30000; ++i) nets += netLine("s", "n" + std::to_string(i), 1, "1");
  nets += netLine("s", longNet, 2, "0");
  nets += netLine("s", "n0", 3, "1");
  writeNets(nets);
  writeCells("cell c 0 0 1 1\n");
  // Per net: its count, then its map entry or its record, name and list (and per segment a
  // place in its net's and its layer's list).
  const uint64_t joinBytes =
      30002 * 4 + std::max<uint64_t>(30002 * 64, 30002 * (sizeof(Net) + 32 + 8) +
                                                     engine::nameHeapBytes(longNet.size()));
  int asks = 0;
  engine::ReadLimits limits;
  limits.chunkBytes = nets.size() / 2;
  limits.availableMemory = [&] { return ++asks, utils::AvailableMemory(); };
  ASSERT_EQ(read(limits), "");
  const int lastAsk = asks;
  for (const uint64_t room : {joinBytes - 1, joinBytes}) {
    asks = 0;
    limits.availableMemory = [&, room] {
      const uint64_t bytes = ++asks == lastAsk ? room : UINT64_MAX;
      return utils::AvailableMemory{bytes, utils::MemoryBound::kControlGroup};
    };
    const std::string expected =
        room == joinBytes
            ? ""
            : "Cannot allocate memory for the nets of net file " + config_.net_file + ": " +
                  std::to_string(joinBytes) + " bytes needed, " + std::to_string(room) +
                  " available (memory limit of the control group)";
    EXPECT_EQ(read(limits), expected);
  }
  EXPECT_EQ(engine_->nets.size(), 30001u);
  EXPECT_EQ(engine_->nets.capacity(), 30001u) << "the nets are sized exactly";
  EXPECT_EQ(engine_->nets[0].segmentIds, (Ids{0, 30001}));
  EXPECT_EQ(engine_->assetNetIds.size(), 30000u);
}

// A file that is wrong from its first line, from its 101st or from far beyond its first chunk
// is refused with that line's Error line, although holding all its text, or records for all
// its lines, would not fit in the memory left.
TEST_F(ReaderTest, AWrongFileEndsAtItsFirstBadLineWithinTheMemoryOfTheChunksRead) {
  std::string junk;
  for (int i = 0; i < 500000; ++i) junk += "xxxxxxxxxxxxxxx\n";  // 8 MB
  auto goodLines = [](int count) {
    std::string good;
    for (int i = 0; i < count; ++i) good += "cell c" + std::to_string(i) + " 0 0 1 1\n";
    return good;
  };
  const std::string junkLine = "the line ends before the cell name (field 2)";
  for (int threads : {1, 8}) {
    omp_set_num_threads(threads);
    engine::ReadLimits limits = withMemory(3000000, utils::MemoryBound::kMachine);
    writeCells(junk);
    EXPECT_EQ(read(limits), cellError(1, junkLine));
    writeCells(goodLines(100) + junk);
    EXPECT_EQ(read(limits), cellError(101, junkLine));
    limits = withMemory(12000000, utils::MemoryBound::kMachine);  // 50000 cells, not 550000
    limits.chunkBytes = 4096;
    writeCells(goodLines(50000) + junk);
    EXPECT_EQ(read(limits), cellError(50001, junkLine));
  }
  omp_set_num_threads(1);
}

// A chunk read a second time must hold exactly the records the first reading found: more or
// fewer (the file changed in between) end the read instead of writing beyond its slots.
TEST_F(ReaderTest, AChunkThatChangedBetweenItsTwoReadingsIsRefused) {
  const std::string text = netLine("a", "n", 1, "1") + netLine("b", "n", 2, "0");
  ExposureEngine engine(&config_);
  engine.segments.assign(3, Shape(std::string(), 0));
  engine.segmentsPerLayer.resize(kLayers);
  const std::string changed = "Net file " + config_.net_file + " changed while it was read";
  for (int64_t endSlot : {1, 2, 3}) {
    engine::NetChunk chunk;
    const engine::ChunkInput input{text, 1, 0, endSlot, 10, "Net file", &config_.net_file};
    EXPECT_EQ(engine::parseNetChunk(input, chunk, engine), endSlot == 2 ? "" : changed)
        << endSlot;
  }
}

// Limits whose memory probe runs `onAsk(n)` at its n-th question (from 1) and answers that all
// memory is free. It is asked before the text or the records grow by utils::kUncheckedBytes or
// more: before the first round is read, between rounds and between the two readings.
engine::ReadLimits withHook(std::function<void(int)> onAsk) {
  engine::ReadLimits limits;
  limits.chunkBytes = utils::kUncheckedBytes;
  limits.availableMemory = [asks = std::make_shared<int>(0), onAsk] {
    onAsk(++*asks);
    return utils::AvailableMemory();
  };
  return limits;
}

// A design of 100000 cells, or of 100000 segments, the other file empty, read while one of its
// files is changed at a question of the memory probe.
class ChangedFileTest : public ReaderTest {
 protected:
  static constexpr size_t kLines = 100000;

  // The changing file: which, its text as first written, and its "changed" line.
  struct File {
    std::string* path;
    std::string text;
    const char* lineKind;
    std::string changed() const {
      return std::string(lineKind) + " " + *path + " changed while it was read";
    }
  };

  // What a read gave: its Error text, or "" and the design read.
  struct Outcome {
    std::string error;
    Lines design;
  };

  File cells() { return File{&config_.cell_file, cellLines("C", "1"), "Cell asset file"}; }
  File nets() { return File{&config_.net_file, netLines("1"), "Net file"}; }

  static std::string cellLines(const std::string& prefix, const std::string& y2) {
    std::string text;
    for (size_t i = 0; i < kLines; ++i) {
      const std::string n = std::to_string(i), next = std::to_string(i + 1);
      text += "cell " + prefix + n + " " + n + " 0 " + next + " " + y2 + " N\n";
    }
    return text;
  }
  static std::string netLines(const std::string& flag) {
    std::string text;
    for (size_t i = 0; i < kLines; ++i)
      text += netLine("s" + std::to_string(i), "n" + std::to_string(i % 97), 1 + i % kLayers, flag);
    return text;
  }

  // Writes the design: `file` with `text`, the other file empty.
  void write(const File& file, const std::string& text) {
    const bool inCells = file.path == &config_.cell_file;
    writeCells(inCells ? text : "");
    writeNets(inCells ? "" : text);
  }

  // Writes `file` anew and reads the design, running `change` at the ask-th question.
  Outcome readChangedAt(const File& file, int ask, const std::function<void()>& change) {
    write(file, file.text);
    Outcome outcome{read(withHook([&](int asked) {
                      asks_ = asked;
                      if (asked == ask) change();
                    })),
                    Lines()};
    if (outcome.error.empty()) outcome.design = design();
    return outcome;
  }

  // The questions an unchanged read of `file` asks, and the design it reads.
  std::pair<int, Outcome> unchangedRead(const File& file) {
    const Outcome outcome = readChangedAt(file, 0, [] {});
    EXPECT_EQ(outcome.error, "");
    return {asks_, outcome};
  }

  // `change` made at each question: the "changed" line from the first question on (before the
  // first round, between rounds and between the readings, at least three), and after the
  // file's last read, if any question comes then, the design as it was.
  void expectRefusedAtEachQuestion(const File& file, const std::function<void()>& change,
                                   const std::string& what) {
    const auto [asks, unchanged] = unchangedRead(file);
    int refused = 0;
    for (int ask = 1; ask <= asks; ++ask) {
      const Outcome outcome = readChangedAt(file, ask, change);
      if (outcome.error == file.changed() && refused == ask - 1) {
        ++refused;
        continue;
      }
      EXPECT_EQ(outcome.error, "") << what << " at question " << ask << " of " << asks;
      EXPECT_TRUE(outcome.design == unchanged.design) << what << " at question " << ask;
    }
    EXPECT_GE(refused, 3) << what;
  }

 private:
  // Every cell and segment, and the asset nets.
  Lines design() const {
    Lines lines = describe(engine_->cells);
    for (const std::string& line : describe(engine_->segments)) lines.push_back(line);
    for (int32_t id : engine_->assetNetIds) lines.push_back("asset net " + std::to_string(id));
    return lines;
  }

  int asks_ = 0;  // by the last read
};

// A file of valid lines cut at any question of the memory probe while it is read, mid-line or
// after a line, or grown by a line, ends the read with its "changed" line, never with an error
// about a line that both versions hold.
TEST_F(ChangedFileTest, AFileCutOrGrownWhileItIsReadIsRefusedAsChanged) {
  for (const File& file : {cells(), nets()}) {
    const size_t lineStart = file.text.find('\n', file.text.size() / 3) + 1;
    const size_t midLine = file.text.find('\n', file.text.size() / 4) + 5;
    const size_t inFirstChunk = file.text.find('\n', 1000) + 5;  // whose lines are all checked
    const size_t cuts[] = {inFirstChunk, midLine, lineStart, lineStart + 7, file.text.size() - 1};
    const std::string grownLine = file.path == &config_.cell_file
                                      ? "cell grown 0 0 1 1\n"
                                      : netLine("grown", "n", 1, "1");
    for (int threads : {1, 4}) {
      omp_set_num_threads(threads);
      for (size_t size : cuts) {
        expectRefusedAtEachQuestion(
            file, [&] { EXPECT_EQ(::truncate(file.path->c_str(), size), 0); },
            std::to_string(threads) + " threads, cut to " + std::to_string(size));
      }
      expectRefusedAtEachQuestion(
          file, [&] { std::ofstream(*file.path, std::ios::app) << grownLine; },
          std::to_string(threads) + " threads, grown");
    }
  }
  omp_set_num_threads(1);
}

// A file rewritten in place at the same size (every asset flag 1 -> 0; every cell renamed and
// its height changed) or only touched at any question while it is read is refused as changed;
// one renamed over by another version, or removed, is read as it was.
TEST_F(ChangedFileTest, AFileRewrittenOrTouchedWhileItIsReadIsRefusedButOneRenamedOverIsRead) {
  const std::string other = config_.net_file + ".new";
  for (const File& file : {cells(), nets()}) {
    const bool inCells = file.path == &config_.cell_file;
    const std::string rewritten = inCells ? cellLines("D", "2") : netLines("0");
    ASSERT_EQ(rewritten.size(), file.text.size());
    auto rewrite = [&] {
      std::fstream(*file.path, std::ios::in | std::ios::out | std::ios::binary) << rewritten;
    };
    auto touch = [&] { EXPECT_EQ(::utimensat(AT_FDCWD, file.path->c_str(), nullptr, 0), 0); };
    for (int threads : {1, 4}) {
      omp_set_num_threads(threads);
      expectRefusedAtEachQuestion(file, rewrite, std::to_string(threads) + " threads, rewritten");
      expectRefusedAtEachQuestion(file, touch, std::to_string(threads) + " threads, touched");
      const auto [asks, unchanged] = unchangedRead(file);
      for (int ask = 1; ask <= asks; ++ask) {
        const Outcome renamedOver = readChangedAt(file, ask, [&] {
          std::ofstream(other, std::ios::binary) << rewritten;
          EXPECT_EQ(std::rename(other.c_str(), file.path->c_str()), 0);
        });
        EXPECT_EQ(renamedOver.error, "") << "renamed over at question " << ask;
        EXPECT_TRUE(renamedOver.design == unchanged.design) << "renamed over at question " << ask;
        const Outcome removed =
            readChangedAt(file, ask, [&] { EXPECT_EQ(std::remove(file.path->c_str()), 0); });
        EXPECT_EQ(removed.error, "") << "removed at question " << ask;
        EXPECT_TRUE(removed.design == unchanged.design) << "removed at question " << ask;
      }
    }
  }
  omp_set_num_threads(1);
}

// What the first reading counts in a chunk: every line, the lines that can hold a record (not
// a blank or too short one), the heap bytes of long names and, for nets, an entry each time
// the net changes from the line before.
TEST(ChunkCountTest, LinesRecordsNamesAndNetChangesAreCounted) {
  const std::string longName(40, 'n'), longNet(20, 'B');
  engine::ChunkCost cells;
  engine::countCellChunk("c " + longName + " 0 0 1 1\n\n   \nc a 0 0 1 1\nc b\r\nlast", cells);
  EXPECT_EQ((std::vector<uint64_t>{cells.lines, static_cast<uint64_t>(cells.records),
                                   cells.nameBytes}),
            (std::vector<uint64_t>{6, 2, engine::nameHeapBytes(longName.size())}));

  auto segment = [](const std::string& name, const std::string& net) {
    return "s " + name + " " + net + " 0 0 1 1 M:metal1 1\n";
  };
  engine::ChunkCost nets;
  engine::countNetChunk(segment(longName, "a") + segment("s2", "a") + segment("s3", "a") +
                            segment("s4", longNet) + "\n" + segment("s5", "a"),
                        nets);
  EXPECT_EQ(nets.lines, 6u);
  EXPECT_EQ(nets.records, 5);
  EXPECT_EQ(nets.netEntries, 3);  // a, B, a again
  EXPECT_EQ(nets.nameBytes,
            engine::nameHeapBytes(longName.size()) + 2 * engine::nameHeapBytes(longNet.size()));
}

// The heap bytes the memory check counts for a name are those the allocator takes for it.
TEST(ChunkCountTest, NameBytesAreWhatTheAllocatorTakes) {
  void* probe = std::malloc(1);
  const size_t smallest = malloc_usable_size(probe);
  std::free(probe);
  if (smallest != 24) GTEST_SKIP() << "not the C library's allocator (a sanitizer's?)";
  EXPECT_EQ(engine::nameHeapBytes(std::string().capacity()), 0u);
  for (size_t length = std::string().capacity() + 1; length < 300; ++length) {
    const std::string name(length, 'x');
    EXPECT_EQ(engine::nameHeapBytes(length), malloc_usable_size(const_cast<char*>(name.data())) + 8)
        << length;
  }
}

}  // namespace
