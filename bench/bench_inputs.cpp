#include "bench/bench_inputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>

#include "bench/design_generator.h"
#include "bench/design_writer.h"
#include "utils/log.h"

namespace bench {
namespace {

// The generated designs of this process, removed with their folder at exit.
class DesignFolder {
 public:
  DesignFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/quorvane_bench_XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) utils::fatalError("Cannot create " + pattern);
    path_ = pattern;
  }
  ~DesignFolder() {
    for (const auto& entry : configs_) {
      std::remove(entry.second.cell_file.c_str());
      std::remove(entry.second.net_file.c_str());
    }
    ::rmdir(path_.c_str());
  }

  const RunConfig& design(int64_t segments) {
    auto found = configs_.find(segments);
    if (found != configs_.end()) return found->second;
    RunConfig config;
    config.bm_name = "bench" + std::to_string(segments);
    config.cell_file = path_ + "/" + config.bm_name + "_cells.txt";
    config.net_file = path_ + "/" + config.bm_name + "_nets.txt";
    config.avail_layer = kBenchLayers;
    DesignOptions options;
    options.targetSegments = segments;
    options.layers = kBenchLayers;
    DesignWriter out(config.cell_file, config.net_file, kBenchLayers, false);
    if (out.ok()) generateDesign(options, out);
    if (!out.finish()) utils::fatalError("Cannot write the design under " + path_);
    return configs_.emplace(segments, config).first->second;
  }

 private:
  std::string path_;
  std::map<int64_t, RunConfig> configs_;
};

}  // namespace

const RunConfig& generatedDesign(int64_t segments) {
  static DesignFolder folder;
  return folder.design(segments);
}

std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));
  return lines;
}

int64_t fileBytes(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

std::unique_ptr<ExposureEngine> loadedEngine(const RunConfig& config, bool discretize) {
  const QuietLog quiet;
  auto engine = std::make_unique<ExposureEngine>(&config);
  engine->parseInputs();
  if (discretize) engine->discretize();
  return engine;
}

QuietLog::QuietLog() : saved_(std::cout.rdbuf(nullptr)) {}

QuietLog::~QuietLog() {
  std::cout.rdbuf(saved_);
  std::cout.clear();
}

}  // namespace bench
