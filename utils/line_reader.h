// Reads a text file line by line through one reused buffer, in large blocks.
//
// A line is the text up to the next line feed, without it; the last line needs no line feed, and a
// line feed at the very end of the file starts no further line. Lines of any length are served
// (the buffer grows to hold the longest). Not thread-safe; one reader per file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace utils {

class LineReader {
 public:
  static constexpr size_t kDefaultBlockBytes = size_t{1} << 20;

  // REQUIRES: blockBytes >= 1.
  explicit LineReader(size_t blockBytes = kDefaultBlockBytes);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Opens `path` for reading; false when it cannot be opened (missing, unreadable).
  bool open(const std::string& path);
  // Size of the open file in bytes as the file system reports it (0 when unknown).
  size_t fileBytes() const { return fileBytes_; }
  // The number of lines of the open file: exact for a file of at most kSampleBlocks blocks of
  // kSampleBlockBytes, else scaled from the line feeds of that many blocks spread evenly over it.
  // 0 when the size is unknown or a read fails. Leaves the position of next() alone.
  static constexpr size_t kSampleBlocks = 16;
  static constexpr size_t kSampleBlockBytes = size_t{1} << 16;
  size_t estimateLines() const;

  // Sets `line` to the next line; false at the end of the file or once a read has failed. The
  // view stays valid until the next call.
  bool next(std::string_view& line);
  // A read failed (the file ended early, e.g. it is a directory or the device failed).
  bool failed() const { return failed_; }
  // The errno value of the failed read (0 while none failed).
  int readError() const { return readError_; }

 private:
  // Keeps the unread bytes and appends the next block; false when nothing more came.
  bool refill();
  void close();

  int fd_ = -1;
  size_t fileBytes_ = 0;
  size_t blockBytes_;
  std::vector<char> buffer_;
  size_t begin_ = 0;    // first unread byte
  size_t end_ = 0;      // one past the last byte read
  size_t scanned_ = 0;  // bytes from begin_ known to hold no line feed
  bool atEof_ = false;
  bool failed_ = false;
  int readError_ = 0;
};

}  // namespace utils
