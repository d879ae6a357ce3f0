// Helpers of the R-tree engine tests: scratch files in a folder of the test process, the text
// of tiny designs, and boxes as plain arrays that GoogleTest can compare and print.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rtree_engine/rtree_types.h"

// min x, min y, max x, max y.
using Rect = std::array<double, 4>;

inline Rect rectOf(const RtreeBox& box) { return {minX(box), minY(box), maxX(box), maxY(box)}; }

inline std::vector<Rect> rectsOf(const std::vector<NamedBox>& values) {
  std::vector<Rect> rects;
  for (const NamedBox& value : values) rects.push_back(rectOf(value.first));
  return rects;
}

inline NamedBox namedBox(const std::string& name, const Rect& r) {
  return NamedBox(makeBox(r[0], r[1], r[2], r[3]), name);
}

// A folder of this test process in GoogleTest's scratch directory, removed when the process
// ends, so that test runs side by side (other builds, other checkouts) never share a file.
inline const std::string& scratchFolder() {
  struct Folder {
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path = testing::TempDir() + "quorvane_test_" + std::to_string(::getpid()) + "/";
  };
  static const Folder folder;
  return folder.path;
}

// A path unique to the running test, in the scratch folder of the process.
inline std::string scratchPath(const std::string& suffix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  return scratchFolder() + test->test_suite_name() + "_" + test->name() + "_" + suffix;
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The lines of a captured log without their timestamp prefixes.
inline std::vector<std::string> logLines(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("] ") + 2));
  return lines;
}

// The text of a net file and a cell asset file, built record by record.
struct DesignText {
  static std::string number(double value) {
    std::ostringstream text;
    text.precision(17);
    text << value;
    return text.str();
  }
  static std::string record(const std::vector<std::string>& tokens) {
    std::string line;
    for (const std::string& token : tokens) line += (line.empty() ? "" : " ") + token;
    return line + "\n";
  }

  void addShape(const std::string& segment, const std::string& net, const Rect& r,
                const std::string& layerToken, const std::string& flag) {
    nets += record({"s", segment, net, number(r[0]), number(r[1]), number(r[2]), number(r[3]),
                    layerToken, flag, "x"});
  }
  // Shapes on layer `layer`, each with a segment name of its own.
  void addPlainShape(const std::string& net, const Rect& r, int layer = 1) {
    addShape("seg" + std::to_string(++segments), net, r, "metal" + std::to_string(layer), "0");
  }
  void addAssetShape(const std::string& net, const Rect& r, int layer = 1) {
    addShape("seg" + std::to_string(++segments), net, r, "metal" + std::to_string(layer), "1");
  }
  void addCell(const std::string& name, const Rect& r) {
    cells += record({"c", name, number(r[0]), number(r[1]), number(r[2]), number(r[3]), "x"});
  }
  void write(const std::string& netPath, const std::string& cellPath) const {
    writeFile(netPath, nets);
    writeFile(cellPath, cells);
  }

  std::string nets;
  std::string cells;
  int segments = 0;
};
