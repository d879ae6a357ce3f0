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

using Lines = std::vector<std::string>;

// Block sizes of 3 and 16 bytes: lines longer than a block and files inside one.
TEST(LineReaderTest, SplitsAtEveryLineFeedAndTheLastLineNeedsNone) {
  const std::string a(100, 'a');
  const std::string b(37, 'b');
  const std::vector<std::pair<std::string, Lines>> cases = {
      {"", {}},
      {"a b\nc d", {"a b", "c d"}},
      {"a\nb\n", {"a", "b"}},
      {"\na\n\n\n", {"", "a", "", ""}},
      {"a\r\nb\r\n", {"a\r", "b\r"}},
      {a + "\n" + b, {a, b}},
  };
  for (const auto& [content, lines] : cases) {
    TempFile file(content);
    for (size_t blockBytes : {3, 16}) EXPECT_EQ(readAll(file.path(), blockBytes), lines) << content;
  }
}

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

TEST(LineReaderTest, EstimateLeavesTheReadingPositionAlone) {
  const TempFile file("one\ntwo\n");
  utils::LineReader reader;
  ASSERT_TRUE(reader.open(file.path()));
  std::string_view line;
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(reader.estimateLines(), 2u);
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "two");
}

TEST(LineReaderTest, MissingFileDoesNotOpenAndADirectoryOpensButItsReadFails) {

  utils::LineReader reader;
  std::string_view line;
  EXPECT_FALSE(reader.open(testing::TempDir() + "no_such_file_here.txt"));
  EXPECT_FALSE(reader.next(line));
  ASSERT_TRUE(reader.open(testing::TempDir()));
  EXPECT_FALSE(reader.next(line));
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(reader.readError(), EISDIR);
  TempFile file("one\n");
  ASSERT_TRUE(reader.open(file.path()));
  EXPECT_FALSE(reader.failed());
  EXPECT_EQ(reader.readError(), 0);
}

TEST(LineReaderTest, ReopeningStartsAfresh) {
  TempFile first("one\ntwo");
  TempFile second("three\n");
  utils::LineReader reader(2);
  ASSERT_TRUE(reader.open(first.path()));
  EXPECT_EQ(reader.fileBytes(), 7u);
  std::string_view line;
  ASSERT_TRUE(reader.next(line));
  ASSERT_TRUE(reader.open(second.path()));
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "three");
  EXPECT_FALSE(reader.next(line));
}

}  // namespace
