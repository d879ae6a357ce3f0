#include "utils/chunked_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <omp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string tempPath(const char* name) {
  return testing::TempDir() + "chunked_file_" + std::to_string(::getpid()) + "_" + name;
}

// Every chunk of every round of `file`, from where it stands to its end.
std::vector<std::string> allChunks(utils::ChunkedFile& file) {
  std::vector<std::string> chunks;
  while (file.nextRound())
    for (std::string_view chunk : file.chunks()) chunks.emplace_back(chunk);
  return chunks;
}

// The chunks of `path`, joined; each chunk must hold whole lines, and reading the file again
// after rewind must give the same chunks.
std::string readJoined(const std::string& path, size_t chunkBytes) {
  utils::ChunkedFile file(chunkBytes, 3, nullptr);
  EXPECT_TRUE(file.open(path));
  const std::vector<std::string> chunks = allChunks(file);
  EXPECT_FALSE(file.failed());
  file.rewind();
  EXPECT_EQ(allChunks(file), chunks) << "read again";
  std::string joined;
  for (size_t k = 0; k < chunks.size(); ++k) {
    EXPECT_FALSE(chunks[k].empty());
    if (k + 1 < chunks.size()) {
      EXPECT_EQ(chunks[k].back(), '\n') << "chunk " << k;
    }
    joined += chunks[k];
  }
  return joined;
}

// Writes `text` into the FIFO at `path` on another thread while `read` reads it.
template <typename Read>
auto readThroughFifo(const std::string& path, const std::string& text, Read&& read) {
  EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(path, std::ios::binary) << text; });
  const auto result = read();
  writer.join();
  std::remove(path.c_str());
  return result;
}

// Random texts of short and long lines, blank lines and CRLF pairs, with and without a final
// line feed, read from a regular file and through a FIFO, with chunks (and read pieces) of every
// small size and a few thread counts: the chunks always join to the text.
TEST(ChunkedFileTest, ChunksJoinToTheTextWhateverTheChunkSizeThreadsAndFileKind) {
  const std::string regular = tempPath("regular"), fifo = tempPath("fifo");
  std::mt19937 random(7);
  for (int trial = 0; trial < 12; ++trial) {
    std::string text;
    const int lines = random() % 40;
    for (int i = 0; i < lines; ++i) {
      text +=
          std::string(random() % 3 == 0 ? 0 : random() % (trial % 4 == 0 ? 300 : 20), 'a' + i % 26);
      text += random() % 4 == 0 ? "\r\n" : "\n";
    }
    if (trial % 2 == 1) text += "last line without a line feed";
    std::ofstream(regular, std::ios::binary) << text;
    for (size_t chunkBytes : {1, 2, 3, 5, 8, 61, 1 << 20}) {
      omp_set_num_threads(1 + static_cast<int>(chunkBytes % 8));
      EXPECT_EQ(readJoined(regular, chunkBytes), text) << chunkBytes;
      EXPECT_EQ(readThroughFifo(fifo, text, [&] { return readJoined(fifo, chunkBytes); }), text)
          << "fifo " << chunkBytes;
    }
  }
  std::remove(regular.c_str());
}

// A file shorter than its size says, as when it shrinks while it is read (here a sysfs file,
// whose size is always 4096 bytes), is read to its end.
TEST(ChunkedFileTest, AFileShorterThanItsSizeIsReadToItsEnd) {
  const char* path = "/sys/devices/system/cpu/online";
  std::ifstream file(path);
  if (!file) GTEST_SKIP() << "no " << path;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(readJoined(path, 1 << 20), text);
}

// A regular file whose read fails (here the process's own memory at address 0, which the
// kernel answers with EIO) is a failed read, not an empty file.
TEST(ChunkedFileTest, AReadThatFailsIsNotTheEndOfTheFile) {
  utils::ChunkedFile file(utils::ChunkedFile::kDefaultChunkBytes, 1, nullptr);
  if (!file.open("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem";
  EXPECT_FALSE(file.nextRound());
  EXPECT_TRUE(file.failed());
  EXPECT_EQ(file.readError(), EIO);
}

TEST(ChunkedFileTest, AFolderOpensButFailsToReadAndAMissingFileDoesNotOpen) {
  utils::ChunkedFile file(utils::ChunkedFile::kDefaultChunkBytes, 1, nullptr);
  EXPECT_FALSE(file.open(tempPath("absent")));
  ASSERT_TRUE(file.open(testing::TempDir()));
  EXPECT_FALSE(file.nextRound());
  EXPECT_TRUE(file.failed());
  EXPECT_EQ(file.readError(), EISDIR);
  EXPECT_TRUE(file.chunks().empty());
}

// A line of 300 KB read in chunks of 100 bytes: the block that holds it grows to what the line
// needs in a regular file, and a last line without a line feed takes no more than the same line
// with one, from a regular file or a FIFO.
TEST(ChunkedFileTest, AnUnfinishedLastLineTakesNoMoreThanTheLineNeeds) {
  const std::string regular = tempPath("long_line"), fifo = tempPath("long_line_fifo");
  const std::string line = "cell A 0 0 1 1 " + std::string(300000, 'x');
  size_t held[2][2];  // [from a FIFO][with a line feed]
  for (int fromFifo = 0; fromFifo < 2; ++fromFifo) {
    for (int feed = 0; feed < 2; ++feed) {
      const std::string text = line + (feed ? "\n" : "");
      auto read = [&] {
        utils::ChunkedFile file(100, 4, nullptr);
        EXPECT_TRUE(file.open(fromFifo ? fifo : regular));
        EXPECT_EQ(allChunks(file), std::vector<std::string>{text});
        return file.heldBytes();
      };
      std::ofstream(regular, std::ios::binary) << text;
      held[fromFifo][feed] = fromFifo ? readThroughFifo(fifo, text, read) : read();
    }
  }
  EXPECT_LE(held[0][0], line.size() + 1);
  EXPECT_LE(held[0][0], held[0][1]);
  EXPECT_LE(held[1][0], held[1][1]);
  std::remove(regular.c_str());
}

// Rounds of a megabyte over a file of 5 KB: the blocks hold what the file holds, not what a
// round could, from a regular file (whose size is known) or a FIFO (whose block grows as the
// data comes).
TEST(ChunkedFileTest, AShortFileTakesShortBlocksHoweverLargeTheRounds) {
  const std::string regular = tempPath("short"), fifo = tempPath("short_fifo");
  std::string text;
  for (int i = 0; i < 100; ++i) text += "cell c" + std::to_string(i) + " 0 0 1 1 N x\n";
  std::ofstream(regular, std::ios::binary) << text;
  for (const std::string* path : {&regular, &fifo}) {
    auto read = [&] {
      utils::ChunkedFile file(1000, 1000, nullptr);
      EXPECT_TRUE(file.open(*path));
      std::string joined;
      for (const std::string& chunk : allChunks(file)) joined += chunk;
      EXPECT_EQ(joined, text);
      return file.heldBytes();
    };
    EXPECT_LT(path == &fifo ? readThroughFifo(fifo, text, read) : read(), 4 * text.size())
        << *path;
  }
  std::remove(regular.c_str());
}

// Reads `file` round by round from where it stands to its end, running `between(round)` before
// each round (from 0) and once after the last. Every round read while changed() is unset must
// hold the next chunks of `expected`, the chunks of the file as written.
void readAgainst(utils::ChunkedFile& file, const std::vector<std::string>& expected,
                 const std::function<void(int)>& between) {
  size_t next = 0;
  int round = 0;
  for (between(round); file.nextRound(); between(++round)) {
    if (file.changed()) continue;
    for (std::string_view chunk : file.chunks()) {
      ASSERT_LT(next, expected.size()) << "round " << round;
      EXPECT_EQ(chunk, expected[next++]) << "round " << round;
    }
  }
}

// A regular file cut while it is read, before its first round, between two rounds of its first
// reading or of its second, or between the two readings; to nothing, to within what was read,
// mid-line or after a line, or by its last line feed alone: the round that finds the end too
// early is changed(), before its chunks are looked at, and every round before it holds whole
// chunks of the file as written. A file untouched, or read through a FIFO, is not changed; one
// grown between its two readings is.
TEST(ChunkedFileTest, AFileCutWhileItIsReadIsChangedFromTheRoundThatFindsItsEnd) {
  const std::string path = tempPath("cut"), fifo = tempPath("cut_fifo");
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += "cell C" + std::to_string(i) + " " + std::to_string(i) + " 0 1 1 N\n";
  const size_t afterLine = text.find("cell C150 ");
  constexpr size_t kChunkBytes = 16, kRoundChunks = 3;
  std::ofstream(path, std::ios::binary) << text;
  std::vector<std::string> expected;
  {
    utils::ChunkedFile file(kChunkBytes, kRoundChunks, nullptr);
    ASSERT_TRUE(file.open(path));
    expected = allChunks(file);
  }
  for (int threads : {1, 3}) {
    omp_set_num_threads(threads);
    for (bool inSecondReading : {false, true}) {
      for (int cutRound : {0, 1, 2, 30}) {
        for (size_t size : {size_t{0}, size_t{401}, afterLine, afterLine + 7, text.size() - 1}) {
          std::ofstream(path, std::ios::binary) << text;
          utils::ChunkedFile file(kChunkBytes, kRoundChunks, nullptr);
          ASSERT_TRUE(file.open(path));
          if (inSecondReading) {
            readAgainst(file, expected, [](int) {});
            ASSERT_FALSE(file.changed());
            file.rewind();
          }
          bool cut = false;
          readAgainst(file, expected, [&](int round) {
            if (round == cutRound) cut = ::truncate(path.c_str(), size) == 0;
          });
          ASSERT_TRUE(cut);
          EXPECT_TRUE(file.changed())
              << threads << " threads, second reading " << inSecondReading << ", round "
              << cutRound << ", size " << size;
          EXPECT_FALSE(file.failed());
        }
      }
    }
  }
  omp_set_num_threads(1);

  std::ofstream(path, std::ios::binary) << text;
  utils::ChunkedFile file(kChunkBytes, kRoundChunks, nullptr);
  ASSERT_TRUE(file.open(path));
  allChunks(file);
  file.rewind();
  std::ofstream(path, std::ios::binary | std::ios::app) << "cell grown 0 0 1 1\n";
  EXPECT_EQ(allChunks(file).size(), expected.size() + 1);
  EXPECT_TRUE(file.changed()) << "grown";
  EXPECT_FALSE(readThroughFifo(fifo, text, [&] {
    EXPECT_TRUE(file.open(fifo));
    allChunks(file);
    file.rewind();
    allChunks(file);
    return file.changed();
  })) << "fifo";
  std::remove(path.c_str());
}

// A moment of two readings of a file: before round `round` (from 0) of reading `reading` (0,
// or 1 after the rewind).
struct Moment {
  int reading;
  int round;
};

// Reads the file at `path` twice in rounds of 3 chunks of 16 bytes, running `act` at `when`.
// Returns the second reading's text, joined, and whether the file was changed().
std::pair<std::string, bool> readTwiceActingAt(const std::string& path, Moment when,
                                               const std::function<void()>& act) {
  utils::ChunkedFile file(16, 3, nullptr);
  EXPECT_TRUE(file.open(path));
  std::string text;
  for (int reading = 0; reading < 2; ++reading) {
    if (reading == 1) file.rewind();
    for (int round = 0;; ++round) {
      if (reading == when.reading && round == when.round) act();
      if (!file.nextRound()) break;
      for (std::string_view chunk : file.chunks())
        if (reading == 1) text += chunk;
    }
  }
  return {text, file.changed()};
}

std::string cellLines(const char* flag) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "cell C" + std::to_string(i) + " 0 0 1 1 " + flag + "\n";
  return text;
}

// Moments after the open, in the first reading, between the readings and in the second.
const Moment kMoments[] = {{0, 0}, {0, 5}, {1, 0}, {1, 5}};

// The file's stamps: modification and change time.
struct stat statusOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info;
}

// Writes `text` over the file's bytes from its start, in place.
void writeInPlace(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  ::close(fd);
}

// A regular file written while it is read, after the open, in either reading or between them,
// on 1 or 3 threads: rewritten in place at the same size (also with its modification time set
// back, as a copy that keeps times does), grown, or only touched, is changed().
TEST(ChunkedFileTest, AFileWrittenOrTouchedWhileItIsReadIsChanged) {
  const std::string path = tempPath("written");
  const std::string before = cellLines("1"), after = cellLines("0");
  auto setModified = [&](const timespec& time) {
    const timespec times[2] = {time, time};
    EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"rewritten in place", [&] { writeInPlace(path, after); }},
      {"rewritten, its time set back",
       [&] {
         const timespec modified = statusOf(path).st_mtim;
         writeInPlace(path, after);
         setModified(modified);
       }},
      {"grown", [&] { std::ofstream(path, std::ios::app) << "cell grown 0 0 1 1\n"; }},
      {"touched", [&] { EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0); }},
      {"touched to its own times", [&] { setModified(statusOf(path).st_mtim); }},
  };
  for (int threads : {1, 3}) {
    omp_set_num_threads(threads);
    for (const auto& [kind, change] : changes) {
      for (const Moment& when : kMoments) {
        std::ofstream(path, std::ios::binary) << before;
        EXPECT_TRUE(readTwiceActingAt(path, when, change).second)
            << kind << " before round " << when.round << " of reading " << when.reading << ", "
            << threads << " threads";
      }
    }
  }
  omp_set_num_threads(1);
  std::remove(path.c_str());
}

// A file read by others, renamed over, removed or given another name while it is read keeps
// its text under the open descriptor: it is read to its end as it was, not changed().
TEST(ChunkedFileTest, AFileReadRenamedOverRemovedOrLinkedWhileItIsReadIsNotChanged) {
  const std::string path = tempPath("kept"), other = tempPath("kept_other");
  const std::string text = cellLines("1");
  const std::pair<const char*, std::function<void()>> events[] = {
      {"read by another", [&] { EXPECT_EQ(readJoined(path, 7), text); }},
      {"renamed over",
       [&] {
         std::ofstream(other, std::ios::binary) << cellLines("0");
         EXPECT_EQ(std::rename(other.c_str(), path.c_str()), 0);
       }},
      {"removed", [&] { EXPECT_EQ(std::remove(path.c_str()), 0); }},
      {"linked", [&] { EXPECT_EQ(::link(path.c_str(), other.c_str()), 0); }},
  };
  for (const auto& [kind, event] : events) {
    for (const Moment& when : kMoments) {
      std::remove(other.c_str());
      std::ofstream(path, std::ios::binary) << text;
      const auto [read, changed] = readTwiceActingAt(path, when, event);
      EXPECT_EQ(read, text) << kind;
      EXPECT_FALSE(changed) << kind << " before round " << when.round << " of reading "
                            << when.reading;
    }
  }
  std::remove(path.c_str());
  std::remove(other.c_str());
}

// A file whose text changes while its stamps stay as they were (here the process's name under
// /proc, renamed to a name as long): the chunk read again is changed() by its hash.
TEST(ChunkedFileTest, AChunkThatReadsOtherwiseTheSecondTimeIsChangedThoughItsStampsStay) {
  char name[16] = {};
  ASSERT_EQ(::prctl(PR_GET_NAME, name), 0);
  ASSERT_EQ(::prctl(PR_SET_NAME, "qv_first_name"), 0);
  for (bool renamed : {false, true}) {
    utils::ChunkedFile file(utils::ChunkedFile::kDefaultChunkBytes, 1, nullptr);
    ASSERT_TRUE(file.open("/proc/self/comm"));
    EXPECT_EQ(allChunks(file), std::vector<std::string>{"qv_first_name\n"});
    if (renamed) {
      ASSERT_EQ(::prctl(PR_SET_NAME, "qv_other_name"), 0);
    }
    file.rewind();
    allChunks(file);
    EXPECT_EQ(file.changed(), renamed);
  }
  ::prctl(PR_SET_NAME, name);
}

// A file written just before it is opened is read again only once the clock that stamps files
// is more than a tick past its stamps: a write that began within their tick, which leaves them
// as they were, has begun before the second reading.
TEST(ChunkedFileTest, AFileJustWrittenIsReadAgainOnlyOnceTheClockIsATickPastItsStamps) {
  const std::string path = tempPath("just_written");
  timespec tick{};
  ASSERT_EQ(::clock_getres(CLOCK_REALTIME_COARSE, &tick), 0);
  auto nanos = [](const timespec& time) { return time.tv_sec * 1000000000LL + time.tv_nsec; };
  for (int trial = 0; trial < 3; ++trial) {
    std::ofstream(path, std::ios::binary) << cellLines("1");
    utils::ChunkedFile file(16, 3, nullptr);
    ASSERT_TRUE(file.open(path));
    allChunks(file);
    file.rewind();
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    const struct stat info = statusOf(path);
    EXPECT_GT(nanos(now), std::max(nanos(info.st_mtim), nanos(info.st_ctim)) + nanos(tick));
  }
  std::remove(path.c_str());
}

// Text that would grow beyond what the probe says is left is not read; the shortfall says how
// much it needed and what was available.
TEST(ChunkedFileTest, TextBeyondTheMemoryLeftIsNotRead) {
  const std::string path = tempPath("beyond");
  std::ofstream(path, std::ios::binary) << std::string(1 << 20, 'x') << "\nshort line\n";
  const utils::AvailableMemory left{500000, utils::MemoryBound::kControlGroup};
  utils::ChunkedFile file(1000, 2, [&] { return left; });
  ASSERT_TRUE(file.open(path));
  EXPECT_FALSE(file.nextRound());
  ASSERT_TRUE(file.shortfall().has_value());
  EXPECT_GT(file.shortfall()->bytes, left.bytes);
  EXPECT_EQ(file.shortfall()->available->bytes, left.bytes);
  EXPECT_TRUE(file.chunks().empty());
  std::remove(path.c_str());
}

}  // namespace
