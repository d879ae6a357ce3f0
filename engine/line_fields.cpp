#include "engine/line_fields.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace engine {
namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSign(char c) { return c == '+' || c == '-'; }

// Where the parts of a double's text lie, found by the extraction grammar.
struct DoubleText {
  size_t length = 0;  // characters that belong to the number
  size_t intEnd = 0;  // end of the integer digits (the decimal point or the exponent mark)
  size_t firstNonzero = std::string_view::npos;  // first non-zero mantissa digit
  size_t dot = std::string_view::npos;
  int64_t exponent = 0;  // saturated far beyond any double's range
};

void addExponentDigit(int64_t& exponent, char digit, bool negative) {
  constexpr int64_t kSaturated = int64_t{1} << 40;
  if (exponent > kSaturated || exponent < -kSaturated) return;
  exponent = exponent * 10 + (negative ? -(digit - '0') : digit - '0');
}

// Scans the longest prefix of `s` that stream extraction would take for a double.
DoubleText scanDouble(std::string_view s) {
  DoubleText text;
  size_t i = (!s.empty() && isSign(s[0])) ? 1 : 0;
  bool digits = false, inExponent = false, negativeExponent = false;
  size_t exponentMark = std::string_view::npos;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (isDigit(c)) {
      if (inExponent) {
        addExponentDigit(text.exponent, c, negativeExponent);
      } else if (c != '0' && text.firstNonzero == std::string_view::npos) {
        text.firstNonzero = i;
      }
      digits = true;
    } else if (c == '.' && text.dot == std::string_view::npos && !inExponent) {
      text.dot = i;
    } else if ((c == 'e' || c == 'E') && !inExponent && digits) {
      inExponent = true;
      exponentMark = i;
      if (i + 1 < s.size() && isSign(s[i + 1])) negativeExponent = s[++i] == '-';
    } else {
      break;
    }
  }
  text.length = i;
  text.intEnd = text.dot != std::string_view::npos ? text.dot : std::min(exponentMark, i);
  return text;
}

// For a number out of a double's range: whether it is too large (else it is too small). The
// two cases lie hundreds of decimal orders apart, so the order of magnitude decides.
bool isTooLarge(const DoubleText& text) {
  if (text.firstNonzero == std::string_view::npos) return false;
  int64_t magnitude = text.exponent;
  if (text.firstNonzero < text.intEnd)
    magnitude += static_cast<int64_t>(text.intEnd - text.firstNonzero);
  else
    magnitude -= static_cast<int64_t>(text.firstNonzero - text.dot - 1);
  return magnitude > 0;
}

// The value of a plain decimal "[sign]digits[.digits]" that ends the field (white space or the
// end of the line follows), when it converts exactly: at most 19 digits whose integer is below
// 2^53 and at most 22 of them after the point. Then integer / 10^k, both exact doubles, is the
// correctly rounded value, the one std::from_chars gives. Otherwise false and nothing is read.
bool plainDecimal(std::string_view s, double& value, size_t& length) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr uint64_t kExactLimit = uint64_t{1} << 53;
  size_t i = isSign(s[0]) ? 1 : 0;
  uint64_t mantissa = 0;
  int digits = 0, fractionDigits = 0;
  bool dot = false;
  for (; i < s.size() && !isSpace(s[i]); ++i) {
    if (isDigit(s[i])) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(s[i] - '0');
      fractionDigits += dot;
      if (++digits > 19) return false;
    } else if (s[i] == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || mantissa >= kExactLimit || fractionDigits > 22) return false;
  value = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
  if (s[0] == '-') value = -value;
  length = i;
  return true;
}

}  // namespace

bool LineFields::skipSpace() {
  size_t i = 0;
  while (i < rest_.size() && isSpace(rest_[i])) ++i;
  rest_.remove_prefix(i);
  return !rest_.empty();
}

std::string_view LineFields::peek() const {
  size_t i = 0;
  while (i < rest_.size() && isSpace(rest_[i])) ++i;
  size_t end = i;
  while (end < rest_.size() && !isSpace(rest_[end])) ++end;
  return rest_.substr(i, end - i);
}

FieldStatus LineFields::text(std::string_view& field) {
  if (!skipSpace()) return FieldStatus::kMissing;
  size_t end = 0;
  while (end < rest_.size() && !isSpace(rest_[end])) ++end;
  field = rest_.substr(0, end);
  rest_.remove_prefix(end);
  return FieldStatus::kOk;
}

FieldStatus LineFields::number(double& value) {
  if (!skipSpace()) return FieldStatus::kMissing;
  size_t length = 0;
  if (plainDecimal(rest_, value, length)) {
    rest_.remove_prefix(length);
    return FieldStatus::kOk;
  }
  const DoubleText text = scanDouble(rest_);
  const char* first = rest_.data() + (rest_[0] == '+' ? 1 : 0);  // from_chars takes no '+'
  const char* last = rest_.data() + text.length;
  const std::from_chars_result result = std::from_chars(first, last, value);
  const bool negative = rest_[0] == '-';
  if (result.ec == std::errc::result_out_of_range) {
    if (isTooLarge(text)) {
      value = negative ? std::numeric_limits<double>::lowest() : std::numeric_limits<double>::max();
      return FieldStatus::kOutOfRange;
    }
    value = negative ? -0.0 : 0.0;
  } else if (result.ec != std::errc() || result.ptr != last) {
    value = 0.0;
    return FieldStatus::kMalformed;
  }
  rest_.remove_prefix(text.length);
  return FieldStatus::kOk;
}

FieldStatus LineFields::integer(int32_t& value) {
  if (!skipSpace()) return FieldStatus::kMissing;
  constexpr int64_t kBeyond = int64_t{1} << 32;  // past either bound; stop growing here
  const bool negative = rest_[0] == '-';
  size_t i = isSign(rest_[0]) ? 1 : 0;
  const size_t firstDigit = i;
  int64_t magnitude = 0;
  for (; i < rest_.size() && isDigit(rest_[i]); ++i)
    if (magnitude < kBeyond) magnitude = magnitude * 10 + (rest_[i] - '0');
  if (i == firstDigit) {
    value = 0;
    return FieldStatus::kMalformed;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue < std::numeric_limits<int32_t>::min()) {
    value = std::numeric_limits<int32_t>::min();
    return FieldStatus::kOutOfRange;
  }
  if (signedValue > std::numeric_limits<int32_t>::max()) {
    value = std::numeric_limits<int32_t>::max();
    return FieldStatus::kOutOfRange;
  }
  value = static_cast<int32_t>(signedValue);
  rest_.remove_prefix(i);
  return FieldStatus::kOk;
}

}  // namespace engine
