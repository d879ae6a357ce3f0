#include "engine/line_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
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
        "0.000e999", "-9e-999", "4.9406564584124654e-324", "1e-99999999999999999999999",
        "0.00000000000000000001e400", "-0.00000000000000000001e+400",
        "0.00000000000000000001e0000000000000000000000400", "100000000000000000000e-400",
        "-1e99999999999999999999999", "0.0001e99999999999999999999", "1e9223372036854775808",
        "1e-9223372036854775809"})
    expectAsStream<double>(text);
}

// The order of magnitude of a number out of a double's range counts every digit of its mantissa,
// however many zeros lead or trail it and however many digits its exponent has: 10^399 written
// with Z zeros after the point is too large, and 10^-400 written with Z zeros before it is too
// small, up to lines of twenty million characters.
TEST(LineFieldsTest, ZerosOfAMantissaDoNotHideTheMagnitudeOfAnExponent) {
  constexpr double kMax = std::numeric_limits<double>::max();
  for (size_t zeros : {20, 300, 4000, 100000, 20000000}) {
    const std::string largeExponent = std::to_string(zeros + 400);
    const std::string tooLarge = "0." + std::string(zeros, '0') + "1e" + largeExponent;
    const std::string tooSmall = "1" + std::string(zeros, '0') + "e-" + largeExponent;
    for (const bool negative : {false, true}) {
      const std::string large = (negative ? "-" : "") + tooLarge;
      const std::string small = (negative ? "-" : "") + tooSmall;
      double value = 0.0;
      EXPECT_EQ(LineFields(large).number(value), FieldStatus::kOutOfRange) << zeros;
      EXPECT_EQ(value, negative ? -kMax : kMax) << zeros;
      EXPECT_EQ(LineFields(small).number(value), kOk) << zeros;
      EXPECT_TRUE(sameBits(value, negative ? -0.0 : 0.0)) << zeros;
      if (zeros <= 100000) {  // stream extraction reads them alike (the longest left out)
        expectAsStream<double>(large);
        expectAsStream<double>(small);
      }
    }
  }
}

// A line copied to a heap block of exactly its length, so that reading a byte past its end is
// an error the address sanitizer reports.
class ExactLine {
 public:
  explicit ExactLine(std::string_view line) : bytes_(new char[line.size()]), size_(line.size()) {
    std::memcpy(bytes_.get(), line.data(), size_);
  }
  std::string_view view() const { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_;
};

// What an Error line quotes of a field: the field alone, whatever blanks lie before it and
// whatever follows it.
TEST(LineFieldsTest, PeekIsTheNextFieldAlone) {
  LineFields fields(" \t x1  y1 z");
  EXPECT_EQ(fields.peek(), "x1");
  std::string_view text;
  ASSERT_EQ(fields.text(text), FieldStatus::kOk);
  EXPECT_EQ(fields.peek(), "y1");
  ASSERT_EQ(fields.text(text), FieldStatus::kOk);
  EXPECT_EQ(fields.peek(), "z");
}

// A field of each kind last on its line, read up to the line's end and no further: the field is
// peeked, read, then peeked and read as text again.
TEST(LineFieldsTest, AFieldEndingTheLineIsReadWithoutLookingPastTheLine) {
  constexpr double kMax = std::numeric_limits<double>::max();
  constexpr FieldStatus kMissing = FieldStatus::kMissing;
  constexpr FieldStatus kMalformed = FieldStatus::kMalformed;
  constexpr FieldStatus kOutOfRange = FieldStatus::kOutOfRange;
  struct Case {
    const char* line;
    char kind;  // t: text, i: integer, n: number
    FieldStatus status;
    double value;  // of a number or an integer
    const char* field;  // the text of the field
  };
  const Case kCases[] = {
      {"name", 't', kOk, 0, "name"},
      {" \t", 't', kMissing, 0, ""},
      {"  12", 'i', kOk, 12, "12"},
      {"-7", 'i', kOk, -7, "-7"},
      {"99999999999", 'i', kOutOfRange, 2147483647, "99999999999"},
      {"+", 'i', kMalformed, 0, "+"},
      {"\v", 'i', kMissing, 0, ""},
      {"3.5", 'n', kOk, 3.5, "3.5"},
      {"-2.5e-3", 'n', kOk, -2.5e-3, "-2.5e-3"},
      {"12345678901234567890.5", 'n', kOk, 12345678901234567890.5, "12345678901234567890.5"},
      {"1e400", 'n', kOutOfRange, kMax, "1e400"},
      {"1e", 'n', kMalformed, 0, "1e"},
      {"1e+", 'n', kMalformed, 0, "1e+"},
      {"\r", 'n', kMissing, 0, ""},
  };
  for (const Case& c : kCases) {
    const ExactLine line(c.line);
    LineFields fields(line.view());
    EXPECT_EQ(fields.peek(), c.field) << '"' << c.line << '"';
    FieldStatus status = kMissing;
    double value = 0.0;
    std::string_view text;
    if (c.kind == 't') {
      status = fields.text(text);
      EXPECT_EQ(text, c.field) << '"' << c.line << '"';
    } else if (c.kind == 'i') {
      int32_t integer = 0;
      status = fields.integer(integer);
      value = integer;
    } else {
      status = fields.number(value);
    }
    EXPECT_EQ(status, c.status) << '"' << c.line << '"';
    EXPECT_EQ(value, c.value) << '"' << c.line << '"';
    const bool consumed = status == kOk || status == kMissing;
    EXPECT_EQ(fields.peek(), consumed ? "" : c.field) << '"' << c.line << '"';
    EXPECT_EQ(fields.text(text), consumed ? kMissing : kOk) << '"' << c.line << '"';
    EXPECT_EQ(fields.text(text), kMissing) << '"' << c.line << '"';
  }
}

}  // namespace
