#include "utils/chunked_file.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

namespace {

std::string tempPath(const char* name) {
  return testing::TempDir() + "chunked_file_" + std::to_string(::getpid()) + "_" + name;
}

// The chunks of `path`, joined; each chunk must hold whole lines.
std::string readJoined(const std::string& path, size_t chunkBytes) {
  utils::ChunkedFile file(chunkBytes);
  EXPECT_TRUE(file.open(path));
  file.read();
  EXPECT_FALSE(file.failed());
  std::string joined;
  const auto& chunks = file.chunks();
  for (size_t k = 0; k < chunks.size(); ++k) {
    EXPECT_FALSE(chunks[k].empty());
    if (k + 1 < chunks.size()) {
      EXPECT_EQ(chunks[k].back(), '\n') << "chunk " << k;
    }
    joined += chunks[k];
  }
  return joined;
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
      ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
      std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << text; });
      EXPECT_EQ(readJoined(fifo, chunkBytes), text) << "fifo " << chunkBytes;
      writer.join();
      std::remove(fifo.c_str());
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

TEST(ChunkedFileTest, AFolderOpensButFailsToReadAndAMissingFileDoesNotOpen) {
  utils::ChunkedFile file;
  EXPECT_FALSE(file.open(tempPath("absent")));
  ASSERT_TRUE(file.open(testing::TempDir()));
  file.read();
  EXPECT_TRUE(file.failed());
  EXPECT_EQ(file.readError(), EISDIR);
  EXPECT_TRUE(file.chunks().empty());
}

}  // namespace
