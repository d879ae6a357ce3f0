#include "engine/line_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>

namespace {

using engine::FieldStatus;
using engine::LineFields;

constexpr FieldStatus kOk = FieldStatus::kOk;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
FieldStatus read(LineFields& fields, double& value) { return fields.number(value); }
FieldStatus read(LineFields& fields, int32_t& value) { return fields.integer(value); }

// Reads the first field of `text` as stream extraction does: the same success, the same value (bit
// for bit), the same text left behind.
template <typename T>
void expectAsStream(const std::string& text) {
  std::istringstream stream(text);
  T expected{};
  std::string expectedNext;
  const bool streamOk = static_cast<bool>(stream >> expected);
  if (streamOk) stream >> expectedNext;

  LineFields fields(text);
  T value{};
  const FieldStatus status = read(fields, value);
  std::string_view next;
  if (status == kOk) fields.text(next);
  ASSERT_EQ(status == kOk, streamOk) << '"' << text << '"';
  if (status == FieldStatus::kMissing) return;  // the stream leaves the value alone
  ASSERT_TRUE(sameBits(static_cast<double>(value), static_cast<double>(expected)))
      << '"' << text << "\" read " << value << ", stream " << expected;
  ASSERT_EQ(std::string(next), expectedNext) << '"' << text << '"';
}

// Random short texts over the characters that matter.
template <typename T>
void expectRandomTextsAsStream(const std::string& alphabet, uint32_t seed) {
  std::mt19937 random(seed);
  for (int trial = 0; trial < 20000 && !testing::Test::HasFatalFailure(); ++trial) {
    std::string text(1 + random() % 8, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    expectAsStream<T>(text);
  }
}

TEST(LineFieldsTest, ShortTextsReadAsStreamExtractionReadsThem) {
  expectRandomTextsAsStream<double>("0123456789+-.eEx \r\v\f", 7);
  expectRandomTextsAsStream<double>("0195+-.e", 8);
  expectRandomTextsAsStream<int32_t>("0123456789+-.x \t", 9);
  expectRandomTextsAsStream<int32_t>("91-", 10);  // long runs of digits overflow
}

// Plain decimals of up to 25 digits, the point anywhere: within and beyond the 19 digits, the 2^53
// and the 22 decimals that a quick exact conversion can take; and extreme exponents.
TEST(LineFieldsTest, LongDecimalsAndExtremeExponentsReadAsStreamExtractionReadsThem) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 50000 && !HasFatalFailure(); ++trial) {
    std::string text = trial % 3 == 0 ? "-" : (trial % 7 == 0 ? "+" : "");
    const size_t digits = 1 + random() % 25;
    const size_t point = random() % (digits + 2);  // digits + 1: no point
    for (size_t i = 0; i < digits; ++i) {
      if (i == point) text += '.';
      text += static_cast<char>('0' + (trial % 5 == 0 ? 9 : random() % 10));
    }
    if (point == digits) text += '.';
    expectAsStream<double>(text + " next");
  }
  for (const char* text :
       {"9007199254740993", "0.9007199254740993", "1.0000000000000000000001",
        "0.0000000000000000000001", "00000000000000000000123.5", "1.7976931348623157e308",
        "1.7976931348623159e308", "2.4e-324", "2.5e-324", "0.00001e-320", "123456789e300",
        "0.000e999", "-9e-999", "4.9406564584124654e-324", "1e-99999999999999999999999"})
    expectAsStream<double>(text);
}

}  // namespace
