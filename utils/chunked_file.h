// A file read from its start in rounds of whole lines, each round cut into chunks that can be
// parsed in parallel, and read again from its start as often as needed.
//
// A line is the text up to the next line feed; the last line needs no line feed. Every chunk but
// the file's last ends with a line feed, and no line is split between chunks or rounds; chunks
// are cut in the same places on every reading. The first round holds one chunk and every later
// one maxRoundChunks, so that a file that is wrong from its first lines costs little memory.
//
// A regular file is read into one buffer that every round reuses, by pieces on all OpenMP
// threads, and rewind() reads it again; each round is checked against what fstat said at the
// open and each chunk against its first reading (see changed()). A file that cannot be read
// twice (a pipe, a FIFO) is kept in memory as it is read, and rewind() replays it. The buffer
// grows only for a line that does not fit, to what the line needs. Memory that grows with the
// file is first checked against what `available` says the process may still take. Not
// thread-safe; one per file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utils/file_status.h"
#include "utils/memory.h"

namespace utils {

// The memory that a read could not have.
struct MemoryShortfall {
  uint64_t bytes = 0;                       // needed
  std::optional<AvailableMemory> available;  // empty when the allocation itself failed
};

class ChunkedFile {
 public:
  static constexpr size_t kDefaultChunkBytes = size_t{1} << 20;

  // REQUIRES: chunkBytes >= 1, maxRoundChunks >= 1. Chunks hold about chunkBytes (more for a
  // longer line).
  ChunkedFile(size_t chunkBytes, size_t maxRoundChunks, MemoryProbe available);
  ~ChunkedFile();
  ChunkedFile(const ChunkedFile&) = delete;
  ChunkedFile& operator=(const ChunkedFile&) = delete;

  // Opens `path` for reading, from its first round; false when it cannot be opened (missing,
  // unreadable). Does not wait for the writer of a FIFO: the first read does.
  bool open(const std::string& path);

  // Reads the next round into chunks(); false when there is none: at the end of the file, after
  // a failed read (failed()) or when memory could not be had (shortfall()). A read that fails
  // part-way still gives the lines completed before the failure as a last round, and a file
  // that shrank (changed()) what it still held.
  bool nextRound();
  // The chunks of the last round; valid until the next call of nextRound or rewind.
  const std::vector<std::string_view>& chunks() const { return chunks_; }

  // Starts again from the first round, which is cut as before when the file is unchanged: a
  // regular file is read again, a kept file replays the rounds read so far. A regular file last
  // written within a tick of the clock that stamps files is read again only once that clock is
  // a tick past its stamps (waitPastStamps), so that a write its stamps do not show has begun
  // before the second reading and is seen by the chunks' hashes.
  // REQUIRES: no read failed and no memory fell short.
  void rewind();

  // A regular file changed while it was read: after a round's reads, fstat no longer says what
  // it said at the open (textMayDiffer: written, grown, cut or touched, even back to the same
  // size), or a chunk read again hashes otherwise than at its first reading, or a reading ended
  // before the size the file had when opened or before where a reading before it ended (a file
  // whose stamps do not move, as under /proc). Set by the nextRound that found it, before its
  // chunks are parsed; stays set until the next open.
  bool changed() const { return changed_; }
  // A read failed (e.g. the path is a folder, or the device failed).
  bool failed() const { return readError_ != 0; }
  // The errno value of the failed read (0 while none failed).
  int readError() const { return readError_; }
  // The memory the text needed and could not have, if any.
  const std::optional<MemoryShortfall>& shortfall() const { return shortfall_; }

  // Bytes taken for the text now.
  size_t heldBytes() const;

  // Frees the text; the chunks are gone with it.
  void release();

 private:
  struct Block {
    char* data = nullptr;
    size_t capacity = 0;
  };

  bool readRound();
  void endReading();
  void checkRound();
  void checkChunkHashes();
  bool replayRound();
  void waitUntilReadable();
  size_t roundBytes() const;
  size_t longLineBytes(size_t filled) const;
  size_t withinFile(size_t filled, size_t bytes) const;
  bool startBlock(size_t bytes);
  bool reserve(Block& block, size_t bytes);
  size_t fillTo(size_t filled, size_t target);
  size_t fill(char* to, size_t bytes);
  size_t preadPieces(char* to, size_t bytes);
  std::string_view cutLines(std::string_view text);

  int fd_ = -1;
  size_t chunkBytes_;
  size_t maxRoundChunks_;
  MemoryProbe available_;
  bool rereadable_ = false;  // a regular file: read again by rewind instead of kept
  bool readable_ = false;    // reads wait for data (no longer open without waiting)
  uint64_t sizeHint_ = 0;    // the file's size when it was opened
  uint64_t endAtLeast_ = 0;  // sizeHint_, or where a reading found the end when further
  bool changed_ = false;     // see changed()
  std::optional<FileStatus> openStatus_;  // of a regular file, at the open
  std::vector<uint64_t> chunkHashes_;     // textHash of each chunk, at its first reading
  size_t chunksRead_ = 0;                 // in this reading
  uint64_t offset_ = 0;      // of the next byte to read
  size_t round_ = 0;         // rounds read or replayed since the start
  bool atEnd_ = false;
  bool rewound_ = false;  // a kept file then replays its rounds
  std::vector<Block> blocks_;             // one, reused, for a rereadable file
  std::string_view carry_;                // the unfinished line at the end of the last block
  std::vector<std::string_view> chunks_;  // of the last round
  std::vector<std::vector<std::string_view>> rounds_;  // every round of a kept file
  int readError_ = 0;
  std::optional<MemoryShortfall> shortfall_;
};

}  // namespace utils
