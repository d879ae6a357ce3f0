// Scratch files of the R-tree engine and cross-check tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

// A path unique to the running test in a folder of this test process (in GoogleTest's scratch
// directory, removed when the process ends), so that runs side by side never share a file.
inline std::string scratchPath(const std::string& suffix) {
  struct Folder {
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path = testing::TempDir() + "quorvane_test_" + std::to_string(::getpid()) + "/";
  };
  static const Folder folder;
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  return folder.path + test->test_suite_name() + "_" + test->name() + "_" + suffix;
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
