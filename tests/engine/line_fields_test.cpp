#include "engine/line_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace {

using engine::FieldStatus;
using engine::LineFields;

constexpr double kMaxDouble = std::numeric_limits<double>::max();

// Reads one double from `text`; `next` receives the following text field ("" when none).
FieldStatus readNumber(const std::string& text, double& value, std::string& next) {
  LineFields fields(text);
  const FieldStatus status = fields.number(value);
  std::string_view rest;
  next = (status == FieldStatus::kOk && fields.text(rest) == FieldStatus::kOk) ? rest : "";
  return status;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(LineFieldsTest, TextFieldsSplitAtEveryKindOfWhiteSpace) {
  LineFields fields(" \ta\rb\vc\fd  e\r");
  std::string_view field;
  for (const char* expected : {"a", "b", "c", "d", "e"}) {
    ASSERT_EQ(fields.text(field), FieldStatus::kOk);
    EXPECT_EQ(field, expected);
  }
  EXPECT_EQ(fields.text(field), FieldStatus::kMissing);
}

TEST(LineFieldsTest, OnlyWhiteSpaceLeftIsMissingForEveryKind) {
  LineFields fields("  \r");
  double number = 5.0;
  int32_t integer = 5;
  EXPECT_EQ(fields.number(number), FieldStatus::kMissing);
  EXPECT_EQ(fields.integer(integer), FieldStatus::kMissing);
  EXPECT_EQ(number, 5.0);
  EXPECT_EQ(integer, 5);
}

TEST(LineFieldsTest, NumberEndsWhereItCannotContinue) {
  double value = 0.0;
  std::string next;
  EXPECT_EQ(readNumber("12abc", value, next), FieldStatus::kOk);
  EXPECT_EQ(value, 12.0);
  EXPECT_EQ(next, "abc");
  EXPECT_EQ(readNumber("1.5.3", value, next), FieldStatus::kOk);
  EXPECT_EQ(value, 1.5);
  EXPECT_EQ(next, ".3");
  EXPECT_EQ(readNumber("1e5.5", value, next), FieldStatus::kOk);
  EXPECT_EQ(value, 1e5);
  EXPECT_EQ(next, ".5");
  EXPECT_EQ(readNumber("0x10", value, next), FieldStatus::kOk);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(next, "x10");
  EXPECT_EQ(readNumber("7-3", value, next), FieldStatus::kOk);
  EXPECT_EQ(next, "-3");
}

TEST(LineFieldsTest, AcceptedNumberForms) {
  const std::pair<const char*, double> cases[] = {
      {"1e5", 1e5}, {"1E5", 1e5}, {"1e+5", 1e5}, {"25e-1", 2.5}, {"+.5", 0.5}, {"-.5", -0.5},
      {"5.", 5.0},  {".5", 0.5},  {"1.e2", 100}, {"007", 7.0},   {"+3", 3.0},  {"0.1", 0.1}};
  for (const auto& [text, expected] : cases) {
    double value = 0.0;
    std::string next;
    EXPECT_EQ(readNumber(text, value, next), FieldStatus::kOk) << text;
    EXPECT_EQ(value, expected) << text;
    EXPECT_EQ(next, "") << text;
  }
}

TEST(LineFieldsTest, NegativeZeroKeepsItsSign) {
  double value = 1.0;
  std::string next;
  ASSERT_EQ(readNumber("-0.0", value, next), FieldStatus::kOk);
  EXPECT_TRUE(sameBits(value, -0.0));
}

TEST(LineFieldsTest, IncompleteNumbersAreMalformedAndReadZero) {
  for (const char* text : {"1e", "1e+", "+", "-", ".", "+-5", ".e5", "e5", "abc", "inf", "nan"}) {
    double value = 9.0;
    std::string next;
    EXPECT_EQ(readNumber(text, value, next), FieldStatus::kMalformed) << text;
    EXPECT_EQ(value, 0.0) << text;
  }
}

TEST(LineFieldsTest, FailedNumberLeavesItsTextForTheMessage) {
  LineFields fields("  1ex rest");
  double value = 0.0;
  ASSERT_EQ(fields.number(value), FieldStatus::kMalformed);
  EXPECT_EQ(fields.peek(), "1ex");
}

TEST(LineFieldsTest, TooLargeIsOutOfRangeAtTheLargestDouble) {
  double value = 0.0;
  std::string next;
  EXPECT_EQ(readNumber("1e400", value, next), FieldStatus::kOutOfRange);
  EXPECT_EQ(value, kMaxDouble);
  EXPECT_EQ(readNumber("-2e308", value, next), FieldStatus::kOutOfRange);
  EXPECT_EQ(value, -kMaxDouble);
  EXPECT_EQ(readNumber("0.0000000001e319", value, next), FieldStatus::kOutOfRange);
  EXPECT_EQ(readNumber("1e99999999999999999999999", value, next), FieldStatus::kOutOfRange);
}

TEST(LineFieldsTest, TooSmallReadsZeroOrSubnormal) {
  double value = 1.0;
  std::string next;
  EXPECT_EQ(readNumber("1e-400", value, next), FieldStatus::kOk);
  EXPECT_TRUE(sameBits(value, 0.0));
  EXPECT_EQ(readNumber("-1e-400", value, next), FieldStatus::kOk);
  EXPECT_TRUE(sameBits(value, -0.0));
  EXPECT_EQ(readNumber("100000e-330", value, next), FieldStatus::kOk);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(readNumber("4e-320", value, next), FieldStatus::kOk);
  EXPECT_GT(value, 0.0);
  EXPECT_LT(value, std::numeric_limits<double>::min());
  EXPECT_EQ(readNumber("1e-99999999999999999999999", value, next), FieldStatus::kOk);
  EXPECT_EQ(value, 0.0);
}

TEST(LineFieldsTest, IntegerFlagForms) {
  const std::pair<const char*, int32_t> ok[] = {
      {"1", 1}, {"01", 1}, {"+1", 1}, {"1.0", 1}, {"1abc", 1}, {"-1", -1},
      {"-0", 0}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
  for (const auto& [text, expected] : ok) {
    LineFields fields(text);
    int32_t value = 99;
    EXPECT_EQ(fields.integer(value), FieldStatus::kOk) << text;
    EXPECT_EQ(value, expected) << text;
  }
}

TEST(LineFieldsTest, IntegerThatIsNotOneReadsZeroOrClamps) {
  const std::tuple<const char*, FieldStatus, int32_t> cases[] = {
      {"abc", FieldStatus::kMalformed, 0},
      {"+", FieldStatus::kMalformed, 0},
      {".5", FieldStatus::kMalformed, 0},
      {"2147483648", FieldStatus::kOutOfRange, 2147483647},
      {"-2147483649", FieldStatus::kOutOfRange, -2147483647 - 1},
      {"99999999999999999999999", FieldStatus::kOutOfRange, 2147483647}};
  for (const auto& [text, status, expected] : cases) {
    LineFields fields(text);
    int32_t value = 1;
    EXPECT_EQ(fields.integer(value), status) << text;
    EXPECT_EQ(value, expected) << text;
  }
}

// Random short texts over the characters that matter must read as stream extraction reads them:
// the same success, the same value (bit for bit), the same text left behind.
template <typename T>
void expectStreamAgreement(const std::string& alphabet, uint32_t seed) {
  std::mt19937 random(seed);
  for (int trial = 0; trial < 20000; ++trial) {
    std::string text(1 + random() % 8, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    std::istringstream stream(text);
    T expected{};
    std::string expectedNext;
    const bool streamOk = static_cast<bool>(stream >> expected);
    if (streamOk) stream >> expectedNext;

    LineFields fields(text);
    T value{};
    FieldStatus status;
    if constexpr (std::is_same_v<T, double>) status = fields.number(value);
    else status = fields.integer(value);
    std::string_view next;
    if (status == FieldStatus::kOk) fields.text(next);
    ASSERT_EQ(status == FieldStatus::kOk, streamOk) << '"' << text << '"';
    if (status == FieldStatus::kMissing) continue;  // the stream leaves the value alone
    ASSERT_TRUE(sameBits(static_cast<double>(value), static_cast<double>(expected)))
        << '"' << text << "\" read " << value << ", stream " << expected;
    ASSERT_EQ(std::string(next), expectedNext) << '"' << text << '"';
  }
}

TEST(LineFieldsTest, DoublesReadAsStreamExtractionReadsThem) {
  expectStreamAgreement<double>("0123456789+-.eEx \r", 7);
  expectStreamAgreement<double>("0195+-.e", 8);
}

TEST(LineFieldsTest, IntegersReadAsStreamExtractionReadsThem) {
  expectStreamAgreement<int32_t>("0123456789+-.x \t", 9);
  expectStreamAgreement<int32_t>("91-", 10);  // long runs of digits overflow
}

// Plain decimals of up to 25 digits, the point anywhere: within and beyond the 19 digits, the
// 2^53 and the 22 decimals that a quick exact conversion can take.
TEST(LineFieldsTest, PlainDecimalsOfEveryLengthReadAsStreamExtractionReadsThem) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 50000; ++trial) {
    std::string text = trial % 3 == 0 ? "-" : (trial % 7 == 0 ? "+" : "");
    const size_t digits = 1 + random() % 25;
    const size_t point = random() % (digits + 2);  // digits + 1: no point
    for (size_t i = 0; i < digits; ++i) {
      if (i == point) text += '.';
      text += static_cast<char>('0' + (trial % 5 == 0 ? 9 : random() % 10));
    }
    if (point == digits) text += '.';
    std::istringstream stream(text);
    double expected = 0.0;
    ASSERT_TRUE(stream >> expected) << text;
    const std::string line = text + " next";
    LineFields fields(line);
    double value = 1.0;
    std::string_view next;
    ASSERT_EQ(fields.number(value), FieldStatus::kOk) << text;
    ASSERT_TRUE(sameBits(value, expected)) << text << ": " << value << " vs " << expected;
    ASSERT_EQ(fields.text(next), FieldStatus::kOk);
    ASSERT_EQ(next, "next") << text;
  }
  for (const char* text : {"9007199254740991", "9007199254740992", "9007199254740993",
                           "0.9007199254740993", "1.0000000000000000000001",
                           "0.0000000000000000000001", "-0.000", "00000000000000000000123.5"}) {
    std::istringstream stream(text);
    double expected = 0.0;
    stream >> expected;
    LineFields fields(text);
    double value = 1.0;
    EXPECT_EQ(fields.number(value), FieldStatus::kOk) << text;
    EXPECT_TRUE(sameBits(value, expected)) << text << ": " << value << " vs " << expected;
  }
}

TEST(LineFieldsTest, ExtremeExponentsReadAsStreamExtractionReadsThem) {
  for (const char* text : {"1e308", "1.7976931348623157e308", "1.7976931348623159e308",
                           "2.4e-324", "2.5e-324", "0.00001e-320", "123456789e300",
                           "0.000e999", "-9e-999", "4.9406564584124654e-324"}) {
    std::istringstream stream(text);
    double expected = 0.0;
    const bool streamOk = static_cast<bool>(stream >> expected);
    LineFields fields(text);
    double value = 1.0;
    EXPECT_EQ(fields.number(value) == FieldStatus::kOk, streamOk) << text;
    EXPECT_TRUE(sameBits(value, expected)) << text << ": " << value << " vs " << expected;
  }
}

}  // namespace
