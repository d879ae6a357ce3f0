#include "rtree_engine/token_reader.h"

namespace {

constexpr size_t kBufferSize = 1 << 16;

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

TokenReader::TokenReader(const std::string& path)
    : file_(path, std::ios::in | std::ios::binary), buffer_(kBufferSize) {}

bool TokenReader::fill() {
  if (!file_.is_open() || !file_.good()) return false;
  file_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  pos_ = 0;
  end_ = static_cast<size_t>(file_.gcount());
  return end_ > 0;
}

bool TokenReader::next(std::string& token) {
  token.clear();
  while (true) {
    if (pos_ == end_ && !fill()) return !token.empty();
    while (pos_ < end_ && token.empty() && isWhiteSpace(buffer_[pos_])) ++pos_;
    const size_t start = pos_;
    while (pos_ < end_ && !isWhiteSpace(buffer_[pos_])) ++pos_;
    token.append(buffer_.data() + start, pos_ - start);
    if (pos_ < end_ && !token.empty()) return true;
  }
}
