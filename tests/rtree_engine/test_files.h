// Helpers of the R-tree engine and cross-check tests: scratch files in a folder
// of the test process and the text of tiny designs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// min x, min y, max x, max y.
using Rect = std::array<double, 4>;

// A path unique to the running test in a folder of this test process (in
// GoogleTest's scratch directory, removed when the process ends), so that runs
// side by side never share a file.
inline std::string scratchPath(const std::string &suffix) {
  struct Folder {
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path = testing::TempDir() + "quorvane_test_" + std::to_string(::getpid()) + "/";
  };
  static const Folder folder;
  const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
  return folder.path + test->test_suite_name() + "_" + test->name() + "_" + suffix;
}

inline void writeFile(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The text of a net file and a cell asset file, built record by record.
struct DesignText {
  static std::string coordinates(const Rect &r) {
    std::ostringstream text;
    text.precision(17);
    text << r[0] << ' ' << r[1] << ' ' << r[2] << ' ' << r[3];
    return text.str();
  }
  void addShape(const std::string &net, const Rect &r, const std::string &layer,
                const std::string &flag) {
    nets += "s seg" + std::to_string(++segments) + " " + net + " " + coordinates(r) + " " + layer +
            " " + flag + " x\n";
  }
  void addCell(const std::string &name, const Rect &r) {
    cells += "c " + name + " " + coordinates(r) + " x\n";
  }
  void write(const std::string &netPath, const std::string &cellPath) const {
    writeFile(netPath, nets);
    writeFile(cellPath, cells);
  }

  std::string nets;
  std::string cells;
  int segments = 0;
};
