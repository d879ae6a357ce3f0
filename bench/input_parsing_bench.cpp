// Speed of reading the net file: the fields of one line, a whole line, the line reader, and the
// whole reader into the engine, on the lines of a generated design held in memory or in the page
// cache. Figures are bytes of input per second.
#include <benchmark/benchmark.h>

#include <string_view>

#include "bench/bench_inputs.h"
#include "engine/input_lines.h"
#include "engine/line_fields.h"
#include "engine/reader.h"
#include "utils/chunked_file.h"

namespace {

const std::vector<std::string>& netLines() {
  static const std::vector<std::string> lines = bench::fileLines(bench::generatedDesign().net_file);
  return lines;
}

int64_t bytesOf(const std::vector<std::string>& lines) {
  int64_t bytes = 0;
  for (const std::string& line : lines) bytes += static_cast<int64_t>(line.size()) + 1;
  return bytes;
}

// Splitting lines into text fields only.
void BM_TextFields(benchmark::State& state) {
  const std::vector<std::string>& lines = netLines();
  for (auto _ : state) {
    for (const std::string& line : lines) {
      engine::LineFields fields(line);
      std::string_view field;
      while (fields.text(field) == engine::FieldStatus::kOk) benchmark::DoNotOptimize(field);
    }
  }
  state.SetBytesProcessed(state.iterations() * bytesOf(lines));
}
BENCHMARK(BM_TextFields)->Unit(benchmark::kMillisecond);

// The four coordinates of every line, read as doubles.
void BM_NumberFields(benchmark::State& state) {
  std::vector<std::string> coordinates;
  for (const std::string& line : netLines()) {
    engine::LineFields fields(line);
    std::string_view field;
    for (int i = 0; i < 3; ++i) fields.text(field);
    for (int i = 0; i < 4 && fields.text(field) == engine::FieldStatus::kOk; ++i)
      coordinates.emplace_back(field);
  }
  for (auto _ : state) {
    for (const std::string& text : coordinates) {
      engine::LineFields fields(text);
      double value = 0.0;
      benchmark::DoNotOptimize(fields.number(value));
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetBytesProcessed(state.iterations() * bytesOf(coordinates));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(coordinates.size()));
}
BENCHMARK(BM_NumberFields)->Unit(benchmark::kMillisecond);

// parseNetLine on every line.
void BM_ParseNetLine(benchmark::State& state) {
  const std::vector<std::string>& lines = netLines();
  for (auto _ : state) {
    for (const std::string& line : lines) {
      engine::NetLine fields;
      engine::parseNetLine(line, fields);
      benchmark::DoNotOptimize(fields);
    }
  }
  state.SetBytesProcessed(state.iterations() * bytesOf(lines));
}
BENCHMARK(BM_ParseNetLine)->Unit(benchmark::kMillisecond);

// Reading the net file in rounds, cut into chunks.
void BM_ChunkedFile(benchmark::State& state) {
  const std::string& path = bench::generatedDesign().net_file;
  for (auto _ : state) {
    utils::ChunkedFile file(utils::ChunkedFile::kDefaultChunkBytes, 32, nullptr);
    file.open(path);
    size_t chunks = 0;
    while (file.nextRound()) chunks += file.chunks().size();
    benchmark::DoNotOptimize(chunks);
  }
  state.SetBytesProcessed(state.iterations() * bench::fileBytes(path));
}
BENCHMARK(BM_ChunkedFile)->Unit(benchmark::kMillisecond);

// The whole reader: both files into the engine's records.
void BM_ReadDesign(benchmark::State& state) {
  const RunConfig& config = bench::generatedDesign();
  for (auto _ : state) {
    const bench::QuietLog quiet;
    ExposureEngine engine(&config);
    benchmark::DoNotOptimize(engine::readDesign(engine));
  }
  state.SetBytesProcessed(state.iterations() *
                          (bench::fileBytes(config.cell_file) + bench::fileBytes(config.net_file)));
}
BENCHMARK(BM_ReadDesign)->Unit(benchmark::kMillisecond);

}  // namespace
