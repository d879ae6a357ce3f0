// Reads the white-space separated fields of one input line in place, with the rules of
// formatted stream extraction in the classic locale, but without a stream, a locale or a copy.
//
// White space is blank, tab, line feed, vertical tab, form feed and carriage return; it is
// skipped before every field. A text field runs to the next white space. A number field takes
// the longest run of characters that can continue a number of its kind (an optional sign and
// digits; for a double also one decimal point before an exponent mark e/E with its own optional
// sign) and leaves whatever follows for the next field: "12abc" is 12 followed by "abc".
// Thread-compatible: one instance per line, no shared state.
#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

enum class FieldStatus {
  kOk,          // the field was read
  kMissing,     // only white space is left on the line
  kMalformed,   // the characters do not form a complete number ("abc", "+", ".", "1e")
  kOutOfRange,  // a number too large for its type
};

class LineFields {
 public:
  explicit LineFields(std::string_view line) : rest_(line) {}

  // kOk or kMissing.
  FieldStatus text(std::string_view& field);

  // A double. kMalformed sets 0; kOutOfRange sets the largest double of the number's sign. A
  // number too small for a double reads as 0 or a subnormal value and is kOk.
  FieldStatus number(double& value);

  // A 32-bit signed decimal integer. kMalformed sets 0; kOutOfRange sets the nearest bound.
  FieldStatus integer(int32_t& value);

  // The characters of the next field, up to the next white space, without consuming them. After a
  // failed number field this is the text that failed.
  std::string_view peek() const;

 private:
  // Skips white space; false when nothing else is left.
  bool skipSpace();

  std::string_view rest_;
};

}  // namespace engine
