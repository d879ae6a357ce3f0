// Helpers of the generator tests: a scratch folder and the records of written design files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

// A fresh folder under the system's temporary directory, removed with its files at the end.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/bench_test_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::vector<std::string>> readRecords(const std::string& path) {
  std::vector<std::vector<std::string>> records;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    records.emplace_back();
    for (std::string field; fields >> field;) records.back().push_back(field);
  }
  return records;
}

// "12.345" -> 12345 nm; -1 when the text is not digits, a point and exactly three digits.
inline int64_t nanometres(const std::string& text) {
  const size_t point = text.find('.');
  if (point == std::string::npos || point == 0 || text.size() - point != 4) return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c == '.') continue;
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace bench
