#include "utils/text_hash.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

namespace {

// Texts of every length up to 100 bytes (each way the hash takes their bytes: by four words,
// by one, by byte): the same text hashes alike wherever it lies in memory, and flipping any one
// bit anywhere gives another hash.
TEST(TextHashTest, EveryBitOfEveryLengthCounts) {
  std::mt19937 random(11);
  for (size_t length = 0; length <= 100; ++length) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(random());
    const uint64_t hash = utils::textHash(text);
    const std::string shifted = "x" + text;
    EXPECT_EQ(utils::textHash(std::string_view(shifted).substr(1)), hash) << length;
    for (size_t byte = 0; byte < length; ++byte) {
      for (int bit = 0; bit < 8; ++bit) {
        std::string flipped = text;
        flipped[byte] = static_cast<char>(flipped[byte] ^ (1 << bit));
        EXPECT_NE(utils::textHash(flipped), hash) << "length " << length << ", byte " << byte;
      }
    }
  }
}

// Texts that hold the same bytes in another order or that differ only in their length (runs of
// one byte, where a hash that ignored the length or the order of its lanes would agree) hash
// apart.
TEST(TextHashTest, OrderAndLengthCount) {
  std::set<uint64_t> hashes;
  for (size_t length = 1; length <= 200; ++length) {
    hashes.insert(utils::textHash(std::string(length, '\0')));
    hashes.insert(utils::textHash(std::string(length, '1')));
  }
  EXPECT_EQ(hashes.size(), 400u);
  const std::string words = "aaaaaaaabbbbbbbbccccccccdddddddd";
  const std::string swapped = "bbbbbbbbaaaaaaaaccccccccdddddddd";
  EXPECT_NE(utils::textHash(words), utils::textHash(swapped));
  EXPECT_NE(utils::textHash(words + words), utils::textHash(swapped + swapped));
  EXPECT_NE(utils::textHash("seg s1 n1 0 0 1 1 M1:metal1 1 x\nseg s2 n2 0 0 1 1 M1:metal1 0 x\n"),
            utils::textHash("seg s1 n1 0 0 1 1 M1:metal1 0 x\nseg s2 n2 0 0 1 1 M1:metal1 1 x\n"));
}

}  // namespace
