// The whole text of a file in memory, cut into chunks of whole lines that can be parsed in
// parallel and joined in file order.
//
// A line is the text up to the next line feed; the last line needs no line feed. Every chunk but
// the last ends with a line feed, and no line is split between chunks. A regular file is read
// by pieces on all OpenMP threads; a file that cannot be sought (a pipe, a FIFO) or that grew
// meanwhile is read on in order. Holds the file's size plus at most a chunk per line that
// crosses a read block. Not thread-safe; one instance per file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace utils {

class ChunkedFile {
 public:
  static constexpr size_t kDefaultChunkBytes = size_t{1} << 20;

  // REQUIRES: chunkBytes >= 1. Chunks hold about chunkBytes (more for a longer line).
  explicit ChunkedFile(size_t chunkBytes = kDefaultChunkBytes);
  ~ChunkedFile();
  ChunkedFile(const ChunkedFile&) = delete;
  ChunkedFile& operator=(const ChunkedFile&) = delete;

  // Opens `path` for reading; false when it cannot be opened (missing, unreadable).
  bool open(const std::string& path);

  // Reads the open file to its end (or to a failing read) and cuts it into chunks. After a
  // failed read the chunks hold the lines completed before the failure. Throws std::bad_alloc
  // when the text does not fit in memory.
  void read();

  const std::vector<std::string_view>& chunks() const { return chunks_; }
  // A read failed (e.g. the path is a folder, or the device failed).
  bool failed() const { return readError_ != 0; }
  // The errno value of the failed read (0 while none failed).
  int readError() const { return readError_; }

  // Frees the text; the chunks are gone with it.
  void release();

 private:
  // Reads [0, bytes) of a regular file by pieces on all threads into one block; returns the
  // number of bytes read before the first failure.
  size_t preload(size_t bytes);
  // Reads the rest of the file in order, starting with `carry` (an unfinished line).
  void readOn(std::string_view carry);
  // Appends chunks of about chunkBytes_ covering the complete lines of `text`; returns the
  // unfinished last line.
  std::string_view cutLines(std::string_view text);
  char* newBlock(size_t bytes);

  int fd_ = -1;
  size_t chunkBytes_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<std::string_view> chunks_;
  int readError_ = 0;
};

}  // namespace utils
