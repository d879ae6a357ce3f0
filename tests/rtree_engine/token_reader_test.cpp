#include "rtree_engine/token_reader.h"

#include <gtest/gtest.h>

#include "tests/rtree_engine/test_files.h"

namespace {

using Tokens = std::vector<std::string>;

Tokens tokensOf(const std::string& text) {
  const std::string path = scratchPath("tokens");
  writeFile(path, text);
  TokenReader reader(path);
  EXPECT_TRUE(reader.isOpen());
  Tokens tokens;
  std::string token;
  while (reader.next(token)) tokens.push_back(token);
  EXPECT_TRUE(token.empty());
  EXPECT_FALSE(reader.readFailed());
  return tokens;
}

// Opening and read failures are checked through the engine's reader.
TEST(TokenReaderTest, AnyMixOfWhiteSpaceSeparatesAndNoLineEndIsNeeded) {
  const std::vector<std::pair<std::string, Tokens>> cases = {
      {" a\tb\r\nc\vd\fe  \n\n f", {"a", "b", "c", "d", "e", "f"}},
      {"a b", {"a", "b"}},
      {"a b\n", {"a", "b"}},
      {"", {}},
      {" \n\t\r\n", {}},
  };
  for (const auto& [text, tokens] : cases) EXPECT_EQ(tokensOf(text), tokens) << '"' << text << '"';
}

TEST(TokenReaderTest, TokensSpanningBufferChunksStayWhole) {
  const std::string longToken(200000, 'x');
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "tok" + std::to_string(i) + " ";
  text += longToken + "\nend";
  const Tokens tokens = tokensOf(text);
  ASSERT_EQ(tokens.size(), 30002u);
  EXPECT_EQ(tokens[12345], "tok12345");
  EXPECT_EQ(tokens[30000], longToken);
  EXPECT_EQ(tokens[30001], "end");
}

}  // namespace
