#include "utils/chunked_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "utils/text_hash.h"

namespace utils {
namespace {

// What one pread of a piece of the file gave.
struct Piece {
  size_t got = 0;
  int error = 0;
};

// Reads `bytes` at `offset` into `to`; stops early at the end of the file or a failing read.
Piece readAt(int fd, char* to, size_t bytes, uint64_t offset) {
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

// Reads into `to` until it is full, the file ends or a read fails (error set).
size_t readFull(int fd, char* to, size_t bytes, int& error) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ::read(fd, to + done, bytes - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

ChunkedFile::ChunkedFile(size_t chunkBytes, size_t maxRoundChunks, MemoryProbe available)
    : chunkBytes_(chunkBytes), maxRoundChunks_(maxRoundChunks), available_(std::move(available)) {}

ChunkedFile::~ChunkedFile() {
  if (fd_ >= 0) ::close(fd_);
  release();
}

// Opened without O_NONBLOCK, a FIFO waits for its writer in open; opened with it, reads
// would return at once with nothing while no writer has come.
bool ChunkedFile::open(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  release();
  offset_ = 0;
  round_ = 0;
  atEnd_ = rewound_ = false;
  readError_ = 0;
  shortfall_.reset();
  changed_ = false;
  openStatus_.reset();
  chunkHashes_.clear();
  chunksRead_ = 0;
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat info;
  rereadable_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  if (rereadable_) openStatus_.emplace(info);
  sizeHint_ = rereadable_ ? static_cast<uint64_t>(info.st_size) : 0;
  endAtLeast_ = sizeHint_;
  readable_ = rereadable_;
  return true;
}

// Waits until the file has a byte to read or its writer has come and gone, then lets reads
// wait for more.
void ChunkedFile::waitUntilReadable() {
  pollfd ready{fd_, POLLIN, 0};
  while (::poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  readable_ = true;
}

void ChunkedFile::release() {
  for (Block& block : blocks_) std::free(block.data);
  blocks_.clear();
  carry_ = std::string_view();
  chunks_.clear();
  rounds_.clear();
}

size_t ChunkedFile::heldBytes() const {
  size_t bytes = 0;
  for (const Block& block : blocks_) bytes += block.capacity;
  return bytes;
}

bool ChunkedFile::nextRound() {
  chunks_.clear();
  return rewound_ && !rereadable_ ? replayRound() : readRound();
}

void ChunkedFile::rewind() {
  if (openStatus_) waitPastStamps(*openStatus_);
  round_ = 0;
  rewound_ = true;
  chunks_.clear();
  chunksRead_ = 0;
  offset_ = 0;
  atEnd_ = false;
  carry_ = std::string_view();
}

bool ChunkedFile::replayRound() {
  if (round_ == rounds_.size()) return false;
  chunks_ = rounds_[round_++];
  return true;
}

// A round reads its share of the file after the unfinished line of the last one; when not one
// line ends in all it holds, it reads on into a larger block.
bool ChunkedFile::readRound() {
  if (atEnd_) return false;
  size_t target = withinFile(carry_.size(), carry_.size() + roundBytes());
  if (!startBlock(rereadable_ ? target : std::min(target, carry_.size() + chunkBytes_)))
    return false;
  size_t filled = carry_.size();
  carry_ = std::string_view();
  for (;;) {
    filled = fillTo(filled, target);
    if (shortfall_) return false;
    std::string_view rest = cutLines(std::string_view(blocks_.back().data, filled));
    if (filled < target) {  // the end of the file, or a failed read
      endReading();
      // The lines left make the last chunk; the last needs no line feed unless a read failed.
      if (failed()) rest = rest.substr(0, rest.rfind('\n') + 1);
      if (!rest.empty()) chunks_.push_back(rest);
      break;
    }
    if (!chunks_.empty()) {
      carry_ = rest;
      break;
    }
    target = longLineBytes(filled);
  }
  if (rereadable_) checkRound();
  ++round_;
  if (!rereadable_ && !chunks_.empty()) rounds_.push_back(chunks_);
  return !chunks_.empty();
}

// A reading that comes to the end of a regular file before a reading before it did, or before
// the size the file had when opened, found a file that shrank. A kept file's end is never short.
void ChunkedFile::endReading() {
  atEnd_ = true;
  if (failed()) return;
  if (offset_ < endAtLeast_) changed_ = true;
  endAtLeast_ = std::max(endAtLeast_, offset_);
}

// After a round's reads of a regular file: sets changed() when fstat fails or says the text
// may differ from the open's, or a chunk's text from its first reading's.
void ChunkedFile::checkRound() {
  checkChunkHashes();
  struct stat info;
  if (::fstat(fd_, &info) != 0 || textMayDiffer(*openStatus_, FileStatus(info))) changed_ = true;
}

// Hashes the round's chunks on all threads; a chunk read before must hash as it did then.
void ChunkedFile::checkChunkHashes() {
  const int64_t count = static_cast<int64_t>(chunks_.size());
  std::vector<uint64_t> hashes(chunks_.size());
#pragma omp parallel for schedule(dynamic, 1) if (count > 1)
  for (int64_t k = 0; k < count; ++k) hashes[k] = textHash(chunks_[k]);
  for (uint64_t hash : hashes) {
    if (chunksRead_ == chunkHashes_.size()) chunkHashes_.push_back(hash);
    if (chunkHashes_[chunksRead_++] != hash) changed_ = true;
  }
}

// The first reading starts with one chunk, so that a file that is wrong from its first lines
// costs little.
size_t ChunkedFile::roundBytes() const {
  return chunkBytes_ * (round_ == 0 && !rewound_ ? 1 : maxRoundChunks_);
}

// Twice `filled`, as a block that holds `filled` bytes and not one chunk must grow.
size_t ChunkedFile::longLineBytes(size_t filled) const {
  return withinFile(filled, filled + std::max(filled, roundBytes()));
}

// `bytes`, for a regular file at most the `filled` bytes read and the rest of the file and one
// byte, so that its end is seen without growing again: a small file takes a small block, and
// a last line without a line feed takes no more than the same line with one.
size_t ChunkedFile::withinFile(size_t filled, size_t bytes) const {
  if (!rereadable_ || sizeHint_ < offset_) return bytes;
  return static_cast<size_t>(std::min<uint64_t>(bytes, filled + (sizeHint_ - offset_) + 1));
}

// Makes the block of the new round, of at least `bytes`, with the unfinished line of the last
// round at its front: the one block of a rereadable file, else a new one.
bool ChunkedFile::startBlock(size_t bytes) {
  if (rereadable_ && !blocks_.empty()) {
    Block& block = blocks_.back();
    if (!carry_.empty()) std::memmove(block.data, carry_.data(), carry_.size());
    return reserve(block, bytes);
  }
  blocks_.push_back(Block());
  if (!reserve(blocks_.back(), bytes)) return false;
  if (!carry_.empty()) std::memcpy(blocks_.back().data, carry_.data(), carry_.size());
  return true;
}

// Grows `block` to hold `bytes`, keeping what it holds; false, with the shortfall, when the
// memory is not to be had.
bool ChunkedFile::reserve(Block& block, size_t bytes) {
  if (bytes <= block.capacity) return true;
  const size_t growth = bytes - block.capacity;
  if (const std::optional<AvailableMemory> available = shortOf(growth, available_)) {
    shortfall_ = MemoryShortfall{growth, available};
    return false;
  }
  char* data = static_cast<char*>(std::realloc(block.data, bytes));
  if (data == nullptr) {
    shortfall_ = MemoryShortfall{growth, std::nullopt};
    return false;
  }
  block.data = data;
  block.capacity = bytes;
  return true;
}

// Reads until the block holds `target` bytes, the file ends, a read fails or memory falls
// short; returns the bytes it holds. A regular file's block is grown to `target` at once, to be
// read by pieces on all threads; a kept file's block grows as its data comes, so that a short
// pipe takes a short block.
size_t ChunkedFile::fillTo(size_t filled, size_t target) {
  while (filled < target) {
    Block& block = blocks_.back();
    const size_t grown = rereadable_ ? target : std::min(target, 2 * block.capacity);
    if (filled == block.capacity && !reserve(block, grown)) break;
    const size_t room = std::min(target, block.capacity) - filled;
    const size_t got = fill(block.data + filled, room);
    filled += got;
    if (got < room) break;
  }
  return filled;
}

// Reads up to `bytes` at the read position; fewer only at the end of the file or when a read
// failed.
size_t ChunkedFile::fill(char* to, size_t bytes) {
  if (!readable_) waitUntilReadable();
  const size_t got = rereadable_ ? preadPieces(to, bytes) : readFull(fd_, to, bytes, readError_);
  offset_ += got;
  return got;
}

// Reads by pieces of a chunk on all threads. The text ends at the first piece that came
// short: the end of the file (where it shrank, if it did), or a read failed.
size_t ChunkedFile::preadPieces(char* to, size_t bytes) {
  const int64_t pieces = static_cast<int64_t>((bytes + chunkBytes_ - 1) / chunkBytes_);
  std::vector<Piece> results(pieces);
#pragma omp parallel for schedule(dynamic, 1) if (pieces > 1)
  for (int64_t i = 0; i < pieces; ++i) {
    const size_t offset = static_cast<size_t>(i) * chunkBytes_;
    results[i] = readAt(fd_, to + offset, std::min(chunkBytes_, bytes - offset), offset_ + offset);
  }
  size_t got = 0;
  for (const Piece& piece : results) {
    got += piece.got;
    if (piece.error != 0) readError_ = piece.error;
    if (piece.got < chunkBytes_) break;
  }
  return got;
}

// Appends the chunks that end in `text`, which starts where a chunk starts: each ends at the
// first line feed from its chunkBytes_-th byte on. So chunks fall in the same places however
// the file is split into rounds. Returns the rest of `text`.
std::string_view ChunkedFile::cutLines(std::string_view text) {
  size_t begin = 0;
  while (text.size() - begin >= chunkBytes_) {
    const size_t feed = text.find('\n', begin + chunkBytes_ - 1);
    if (feed == std::string_view::npos) break;
    chunks_.push_back(text.substr(begin, feed + 1 - begin));
    begin = feed + 1;
  }
  return text.substr(begin);
}

}  // namespace utils
