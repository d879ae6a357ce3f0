#include "bench/design_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace bench {
namespace {

constexpr size_t kBufferBytes = 8 << 20;

void put(std::vector<char>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

void putInt(std::vector<char>& out, int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.insert(out.end(), digits, end);
}

// nm as um with exactly three decimals: 12345 -> "12.345".
void putMicrons(std::vector<char>& out, int64_t nm) {
  putInt(out, nm / 1000);
  const int64_t frac = nm % 1000;
  const char text[4] = {'.', static_cast<char>('0' + frac / 100),
                        static_cast<char>('0' + frac / 10 % 10),
                        static_cast<char>('0' + frac % 10)};
  out.insert(out.end(), text, text + 4);
}

void requireProper(const Rect& r) {
  if (r.x2 > r.x1 && r.y2 > r.y1 && r.x1 >= 0 && r.y1 >= 0) return;
  std::fprintf(stderr, "generator fault: improper rectangle %lld %lld %lld %lld\n",
               static_cast<long long>(r.x1), static_cast<long long>(r.y1),
               static_cast<long long>(r.x2), static_cast<long long>(r.y2));
  std::abort();
}

int64_t distinctCount(std::vector<int64_t>& values) {
  std::sort(values.begin(), values.end());
  return std::unique(values.begin(), values.end()) - values.begin();
}

}  // namespace

DesignWriter::DesignWriter(const std::string& cellPath, const std::string& netPath, int layers,
                           bool collectEdges)
    : cellFile_(std::fopen(cellPath.c_str(), "wb")),
      netFile_(std::fopen(netPath.c_str(), "wb")),
      collectEdges_(collectEdges) {
  counts_.segmentsPerLayer.assign(layers, 0);
  cellBuf_.reserve(kBufferBytes + 4096);
  netBuf_.reserve(kBufferBytes + 4096);
}

DesignWriter::~DesignWriter() {
  if (cellFile_) std::fclose(cellFile_);
  if (netFile_) std::fclose(netFile_);
}

void DesignWriter::putCoords(std::vector<char>& out, const Rect& r) {
  for (int64_t v : {r.x1, r.y1, r.x2, r.y2}) {
    out.push_back(' ');
    if (nanometres_) {
      putInt(out, v);
    } else {
      putMicrons(out, v);
    }
  }
  if (collectEdges_) noteEdges(r);
}

void DesignWriter::noteEdges(const Rect& r) {
  xs_.push_back(r.x1);
  xs_.push_back(r.x2);
  ys_.push_back(r.y1);
  ys_.push_back(r.y2);
}

void DesignWriter::flush(std::vector<char>& out, std::FILE* file, size_t threshold) {
  if (out.size() < threshold) return;
  if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size()) failed_ = true;
  out.clear();
}

void DesignWriter::addCell(std::string_view name, const Rect& r) {
  requireProper(r);
  put(cellBuf_, "cell ");
  put(cellBuf_, name);
  putCoords(cellBuf_, r);
  put(cellBuf_, " N\n");
  ++counts_.cells;
  flush(cellBuf_, cellFile_, kBufferBytes);
}

void DesignWriter::beginNet(std::string_view name, bool asset) {
  netName_ = name;
  flag_ = asset ? '1' : '0';
  ++counts_.nets;
  if (asset) ++counts_.assetNets;
}

void DesignWriter::addSegment(const Rect& r) {
  requireProper(r);
  put(netBuf_, "seg s");
  putInt(netBuf_, counts_.segments);
  netBuf_.push_back(' ');
  put(netBuf_, netName_);
  putCoords(netBuf_, r);
  put(netBuf_, " M");
  putInt(netBuf_, r.layer);
  put(netBuf_, ":metal");
  putInt(netBuf_, r.layer);
  const char tail[5] = {' ', flag_, ' ', 'x', '\n'};
  netBuf_.insert(netBuf_.end(), tail, tail + 5);
  ++counts_.segments;
  ++counts_.segmentsPerLayer.at(r.layer - 1);
  flush(netBuf_, netFile_, kBufferBytes);
}

bool DesignWriter::finish() {
  flush(cellBuf_, cellFile_, 0);
  flush(netBuf_, netFile_, 0);
  for (std::FILE** file : {&cellFile_, &netFile_}) {
    if (*file != nullptr && std::fclose(*file) != 0) failed_ = true;
    *file = nullptr;
  }
  if (collectEdges_) {
    counts_.distinctX = distinctCount(xs_);
    counts_.distinctY = distinctCount(ys_);
  }
  return !failed_;
}

}  // namespace bench
