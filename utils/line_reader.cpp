#include "utils/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace utils {
namespace {

// Fills `buffer` from `offset` of the file; false when the file ends first or a read fails.
bool readFully(int fd, std::vector<char>& buffer, size_t offset) {
  for (size_t done = 0; done < buffer.size();) {
    const ssize_t got = ::pread(fd, buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

size_t lineFeeds(const std::vector<char>& bytes) {
  return static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

}  // namespace

LineReader::LineReader(size_t blockBytes) : blockBytes_(blockBytes) {}

LineReader::~LineReader() { close(); }

void LineReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LineReader::open(const std::string& path) {
  close();
  begin_ = end_ = scanned_ = 0;
  atEof_ = failed_ = false;
  readError_ = 0;
  fileBytes_ = 0;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat info;
  if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) fileBytes_ = static_cast<size_t>(info.st_size);
  if (buffer_.empty()) buffer_.resize(blockBytes_);
  return true;
}

size_t LineReader::estimateLines() const {
  if (fd_ < 0 || fileBytes_ == 0) return 0;
  if (fileBytes_ <= kSampleBlocks * kSampleBlockBytes) {
    std::vector<char> all(fileBytes_);
    if (!readFully(fd_, all, 0)) return 0;
    return lineFeeds(all) + (all.back() != '\n' ? 1 : 0);
  }
  std::vector<char> block(kSampleBlockBytes);
  const size_t spacing = (fileBytes_ - kSampleBlockBytes) / (kSampleBlocks - 1);
  size_t feeds = 0;
  for (size_t i = 0; i < kSampleBlocks; ++i) {
    if (!readFully(fd_, block, i * spacing)) return 0;
    feeds += lineFeeds(block);
  }
  const double sampled = static_cast<double>(kSampleBlocks * kSampleBlockBytes);
  return static_cast<size_t>(static_cast<double>(feeds) / sampled * fileBytes_) + 1;
}

bool LineReader::next(std::string_view& line) {
  if (fd_ < 0) return false;
  for (;;) {
    const char* from = buffer_.data() + begin_ + scanned_;
    const void* feed = std::memchr(from, '\n', end_ - begin_ - scanned_);
    if (feed != nullptr) {
      const size_t length = static_cast<const char*>(feed) - (buffer_.data() + begin_);
      line = std::string_view(buffer_.data() + begin_, length);
      begin_ += length + 1;
      scanned_ = 0;
      return true;
    }
    scanned_ = end_ - begin_;
    if (!refill()) break;
  }
  if (failed_ || begin_ == end_) return false;
  line = std::string_view(buffer_.data() + begin_, end_ - begin_);  // last line, no line feed
  begin_ = end_;
  scanned_ = 0;
  return true;
}

bool LineReader::refill() {
  if (atEof_) return false;
  const size_t kept = end_ - begin_;
  if (begin_ > 0) std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
  begin_ = 0;
  end_ = kept;
  if (buffer_.size() - end_ < blockBytes_) buffer_.resize(end_ + blockBytes_);
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got > 0) {
      end_ += static_cast<size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    atEof_ = true;
    failed_ = got < 0;
    if (failed_) readError_ = errno;
    return false;
  }
}

}  // namespace utils
