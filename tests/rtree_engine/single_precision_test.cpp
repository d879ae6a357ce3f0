#include "rtree_engine/single_precision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

// The longest leading number of the token, rounded to the nearest float and widened.
TEST(SinglePrecisionTest, ReadsTheLeadingNumberThroughAFloat) {
  const std::vector<std::pair<const char*, double>> cases = {
      {"0.1", static_cast<double>(0.1f)}, {"16777217", 16777216.0}, {"-2.5e3", -2500.0},
      {"+.5", 0.5}, {"12abc", 12.0}, {"1e", 1.0}, {"3.5.7", 3.5}, {"1,5", 1.0}, {"0x1p3", 8.0},
      {"0x", 0.0}, {"-inf", -HUGE_VAL}, {"Infinity", HUGE_VAL}, {"0", 0.0},
      {"3.4e38", static_cast<double>(3.4e38f)}, {"0x1p-126", std::ldexp(1.0, -126)},
      {"0x1p-149", std::ldexp(1.0, -149)},  // the smallest subnormal, exact
  };
  for (const auto& [token, value] : cases) EXPECT_EQ(readSinglePrecision(token), value) << token;
  EXPECT_TRUE(std::isnan(readSinglePrecision("nan")));
}

TEST(SinglePrecisionTest, NoLeadingNumberIsInvalidOverflowAndInexactUnderflowOutOfRange) {
  for (const char* token : {"", "abc", "-", ".", "+.e1", "e5", " 5", "M1:metal1"})
    EXPECT_THROW(readSinglePrecision(token), std::invalid_argument) << '"' << token << '"';
  for (const char* token : {"3.5e38", "-1e39", "1e-45", "1e-38", "1e-50"})
    EXPECT_THROW(readSinglePrecision(token), std::out_of_range) << token;
}

}  // namespace
