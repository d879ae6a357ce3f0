#include "utils/line_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// A file in the test's temporary folder, removed when the test ends.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    path_ = testing::TempDir() + "line_reader_" + std::to_string(::getpid()) + "_" +
            std::to_string(counter_++);
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

std::vector<std::string> readAll(const std::string& path, size_t blockBytes) {
  utils::LineReader reader(blockBytes);
  EXPECT_TRUE(reader.open(path));
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.next(line)) lines.emplace_back(line);
  EXPECT_FALSE(reader.failed());
  return lines;
}

// The lines of `content` by the definition: split at every line feed; a final line feed ends the
// last line and starts none.
std::vector<std::string> referenceLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t feed = content.find('\n', begin);
    if (feed == std::string::npos) feed = content.size();
    lines.push_back(content.substr(begin, feed - begin));
    begin = feed + 1;
  }
  return lines;
}

// Random files against the definition: line feeds at every place, lines longer than a block and
// files inside one, the last line with or without its line feed.
TEST(LineReaderTest, AgreesWithTheDefinitionForEveryBlockSize) {
  std::mt19937 random(20240611);
  const std::string alphabet = "ab \r\n\n";
  for (int trial = 0; trial < 300; ++trial) {
    std::string content(random() % 60, ' ');
    for (char& c : content) c = alphabet[random() % alphabet.size()];
    TempFile file(content);
    const size_t blockBytes = 1 + random() % 9;
    ASSERT_EQ(readAll(file.path(), blockBytes), referenceLines(content))
        << "block " << blockBytes << " content \"" << content << "\"";
  }
}

size_t estimatedLines(const std::string& content) {
  const TempFile file(content);
  utils::LineReader reader;
  EXPECT_TRUE(reader.open(file.path()));
  return reader.estimateLines();
}

TEST(LineReaderTest, SmallFilesHaveTheirLinesCountedExactly) {
  EXPECT_EQ(estimatedLines(""), 0u);
  EXPECT_EQ(estimatedLines("a"), 1u);
  EXPECT_EQ(estimatedLines("a\n"), 1u);
  EXPECT_EQ(estimatedLines("a\n\nb"), 3u);
  EXPECT_EQ(estimatedLines(std::string(1 << 20, '\n')), size_t{1} << 20);
}

// Lines that lengthen through the file, as numbered names do: the estimate samples all of it.
TEST(LineReaderTest, LargeFilesHaveTheirLinesEstimatedClosely) {
  std::string content;
  size_t lines = 0;
  for (; content.size() < 3 * utils::LineReader::kSampleBlocks *
                              utils::LineReader::kSampleBlockBytes; ++lines)
    content += "line " + std::string(lines * 40 / 100000, 'x') + std::to_string(lines) + "\n";
  const size_t estimate = estimatedLines(content);
  EXPECT_GT(estimate, lines * 94 / 100);
  EXPECT_LT(estimate, lines * 106 / 100);
}

// Also: the estimate leaves the reading position alone.
TEST(LineReaderTest, ReopeningStartsAfreshAfterAFailedReadOrMidFile) {
  TempFile first("one\ntwo\nsix");
  TempFile second("three\n");
  utils::LineReader reader(2);
  std::string_view line;
  EXPECT_FALSE(reader.open(testing::TempDir() + "no_such_file_here.txt"));
  EXPECT_FALSE(reader.next(line));
  ASSERT_TRUE(reader.open(testing::TempDir()));
  EXPECT_FALSE(reader.next(line));
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(reader.readError(), EISDIR);
  ASSERT_TRUE(reader.open(first.path()));
  EXPECT_FALSE(reader.failed());
  EXPECT_EQ(reader.fileBytes(), 11u);
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(reader.estimateLines(), 3u);
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "two");
  ASSERT_TRUE(reader.open(second.path()));
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "three");
  EXPECT_FALSE(reader.next(line));
}

}  // namespace
