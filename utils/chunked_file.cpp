#include "utils/chunked_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace utils {
namespace {

// What one pread of a piece of the file gave.
struct Piece {
  size_t got = 0;
  int error = 0;
};

// Reads `bytes` at `offset` into `to`; stops early at the end of the file or a failing read.
Piece readAt(int fd, char* to, size_t bytes, size_t offset) {
  Piece piece;
  while (piece.got < bytes) {
    const ssize_t got =
        ::pread(fd, to + piece.got, bytes - piece.got, static_cast<off_t>(offset + piece.got));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) piece.error = errno;
    if (got <= 0) break;
    piece.got += static_cast<size_t>(got);
  }
  return piece;
}

// Reads into `to` until it is full or the file ends; the bytes read, or -1 (errno set) when a
// read fails.
ssize_t readFull(int fd, char* to, size_t bytes) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ::read(fd, to + done, bytes - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

ChunkedFile::ChunkedFile(size_t chunkBytes) : chunkBytes_(chunkBytes) {}

ChunkedFile::~ChunkedFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ChunkedFile::open(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  release();
  readError_ = 0;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

void ChunkedFile::release() {
  chunks_ = std::vector<std::string_view>();
  blocks_ = std::vector<std::unique_ptr<char[]>>();
}

void ChunkedFile::read() {
  struct stat info;
  const bool regular = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
  const size_t size = regular ? static_cast<size_t>(info.st_size) : 0;
  std::string_view carry;
  if (size > 0) {
    const size_t loaded = preload(size);
    carry = cutLines(std::string_view(blocks_.back().get(), loaded));
    if (failed()) return;  // the unfinished line before the failure is not a line
    if (::lseek(fd_, static_cast<off_t>(loaded), SEEK_SET) < 0) {
      readError_ = errno;
      return;
    }
  }
  readOn(carry);
}

size_t ChunkedFile::preload(size_t bytes) {
  char* text = newBlock(bytes);
  const int64_t pieces = static_cast<int64_t>((bytes + chunkBytes_ - 1) / chunkBytes_);
  std::vector<Piece> results(pieces);
#pragma omp parallel for schedule(dynamic, 1) if (pieces > 1)
  for (int64_t i = 0; i < pieces; ++i) {
    const size_t offset = static_cast<size_t>(i) * chunkBytes_;
    results[i] = readAt(fd_, text + offset, std::min(chunkBytes_, bytes - offset), offset);
  }
  // The text ends at the first piece that came short: the file shrank, or a read failed.
  size_t loaded = 0;
  for (const Piece& piece : results) {
    loaded += piece.got;
    readError_ = piece.error;
    if (piece.got < chunkBytes_) break;
  }
  return loaded;
}

void ChunkedFile::readOn(std::string_view carry) {
  for (;;) {
    // A line longer than a chunk doubles the block it is read into.
    const size_t capacity = carry.size() + std::max(chunkBytes_, carry.size());
    const char* previous = blocks_.empty() ? nullptr : blocks_.back().get();
    char* block = newBlock(capacity);
    std::copy(carry.begin(), carry.end(), block);
    // A block that holds no chunk is no longer needed once its unfinished line is copied.
    if (previous != nullptr && carry.data() == previous) blocks_.erase(blocks_.end() - 2);
    const ssize_t got = readFull(fd_, block + carry.size(), capacity - carry.size());
    if (got < 0) {
      readError_ = errno;
      return;
    }
    const size_t filled = carry.size() + static_cast<size_t>(got);
    if (filled < capacity) {  // the end of the file: the last line needs no line feed
      const std::string_view rest = cutLines(std::string_view(block, filled));
      if (!rest.empty()) chunks_.push_back(rest);
      return;
    }
    carry = cutLines(std::string_view(block, filled));
  }
}

std::string_view ChunkedFile::cutLines(std::string_view text) {
  const size_t end = text.rfind('\n') + 1;  // 0 when no line ends in `text`
  for (size_t begin = 0; begin < end;) {
    // The chunk ends at the first line feed from its chunkBytes_-th byte on.
    const size_t cut =
        end - begin > chunkBytes_ ? text.find('\n', begin + chunkBytes_ - 1) + 1 : end;
    chunks_.push_back(text.substr(begin, cut - begin));
    begin = cut;
  }
  return text.substr(end);
}

char* ChunkedFile::newBlock(size_t bytes) {
  std::unique_ptr<char[]> block(new char[bytes]);  // left uninitialised: the reads fill it
  blocks_.push_back(std::move(block));
  return blocks_.back().get();
}

}  // namespace utils
