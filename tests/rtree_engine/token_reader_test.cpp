#include "rtree_engine/token_reader.h"

#include <gtest/gtest.h>

#include "tests/rtree_engine/test_files.h"

namespace {

std::vector<std::string> allTokens(TokenReader& reader) {
  std::vector<std::string> tokens;
  std::string token;
  while (reader.next(token)) tokens.push_back(token);
  EXPECT_TRUE(token.empty());
  return tokens;
}

std::vector<std::string> tokensOf(const std::string& text) {
  const std::string path = scratchPath("tokens");
  writeFile(path, text);
  TokenReader reader(path);
  EXPECT_TRUE(reader.isOpen());
  return allTokens(reader);
}

TEST(TokenReaderTest, AnyMixOfWhiteSpaceSeparates) {
  EXPECT_EQ(tokensOf(" a\tb\r\nc\vd\fe  \n\n f"),
            (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
}

TEST(TokenReaderTest, LastTokenNeedsNoLineEnd) {
  EXPECT_EQ(tokensOf("a b"), tokensOf("a b\n"));
  EXPECT_EQ(tokensOf("a b"), (std::vector<std::string>{"a", "b"}));
}

TEST(TokenReaderTest, EmptyOrBlankFileHasNoToken) {
  EXPECT_TRUE(tokensOf("").empty());
  EXPECT_TRUE(tokensOf(" \n\t\r\n").empty());
}

TEST(TokenReaderTest, TokensSpanningBufferChunksStayWhole) {
  const std::string longToken(200000, 'x');
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "tok" + std::to_string(i) + " ";
  text += longToken + "\nend";
  const std::vector<std::string> tokens = tokensOf(text);
  ASSERT_EQ(tokens.size(), 30002u);
  EXPECT_EQ(tokens[12345], "tok12345");
  EXPECT_EQ(tokens[30000], longToken);
  EXPECT_EQ(tokens[30001], "end");
}

TEST(TokenReaderTest, MissingFileIsNotOpen) {
  TokenReader reader(scratchPath("absent"));
  EXPECT_FALSE(reader.isOpen());
  EXPECT_TRUE(allTokens(reader).empty());
  EXPECT_FALSE(reader.readFailed());
}

TEST(TokenReaderTest, DirectoryCannotBeRead) {
  TokenReader reader(testing::TempDir());
  EXPECT_TRUE(reader.isOpen());
  EXPECT_TRUE(allTokens(reader).empty());
  EXPECT_TRUE(reader.readFailed());
}

}  // namespace
