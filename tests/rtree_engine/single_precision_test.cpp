#include "rtree_engine/single_precision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

TEST(SinglePrecisionTest, RoundsToTheNearestFloatAndWidens) {
  EXPECT_EQ(readSinglePrecision("0.1"), static_cast<double>(0.1f));
  EXPECT_NE(readSinglePrecision("0.1"), 0.1);
  EXPECT_EQ(readSinglePrecision("16777217"), 16777216.0);
  EXPECT_EQ(readSinglePrecision("-2.5e3"), -2500.0);
  EXPECT_EQ(readSinglePrecision("+.5"), 0.5);
}

TEST(SinglePrecisionTest, ReadsTheLongestLeadingNumberAndIgnoresTheRest) {
  EXPECT_EQ(readSinglePrecision("12abc"), 12.0);
  EXPECT_EQ(readSinglePrecision("1e"), 1.0);
  EXPECT_EQ(readSinglePrecision("3.5.7"), 3.5);
  EXPECT_EQ(readSinglePrecision("1,5"), 1.0);
}

TEST(SinglePrecisionTest, ReadsHexadecimalInfinityAndNan) {
  EXPECT_EQ(readSinglePrecision("0x1p3"), 8.0);
  EXPECT_EQ(readSinglePrecision("0x"), 0.0);
  EXPECT_EQ(readSinglePrecision("-inf"), -HUGE_VAL);
  EXPECT_EQ(readSinglePrecision("Infinity"), HUGE_VAL);
  EXPECT_TRUE(std::isnan(readSinglePrecision("nan")));
}

TEST(SinglePrecisionTest, TokenWithoutLeadingNumberIsInvalid) {
  for (const char* token : {"", "abc", "-", ".", "+.e1", "e5", " 5", "M1:metal1"})
    EXPECT_THROW(readSinglePrecision(token), std::invalid_argument) << '"' << token << '"';
}

TEST(SinglePrecisionTest, OverflowAndInexactUnderflowAreOutOfRange) {
  EXPECT_EQ(readSinglePrecision("3.4e38"), static_cast<double>(3.4e38f));
  for (const char* token : {"3.5e38", "-1e39", "1e-45", "1e-38", "1e-50"})
    EXPECT_THROW(readSinglePrecision(token), std::out_of_range) << token;
}

TEST(SinglePrecisionTest, SmallestNormalAndExactSubnormalAreInRange) {
  EXPECT_EQ(readSinglePrecision("0x1p-126"), std::ldexp(1.0, -126));
  EXPECT_EQ(readSinglePrecision("0x1p-149"), std::ldexp(1.0, -149));
  EXPECT_EQ(readSinglePrecision("0"), 0.0);
}

}  // namespace
