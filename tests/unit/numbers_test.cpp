// Numbers read from files, links and settings.
#include <gtest/gtest.h>

#include "base/text.h"
#include "forms/form.h"

namespace tav {
namespace {

TEST(WholeNumbers, FractionsRoundToTheNearestWithHalvesToEven) {
  EXPECT_EQ(parse_int32("14235.7"), 14236);
  EXPECT_EQ(parse_int32("2.5"), 2);
  EXPECT_EQ(parse_int32("3.5"), 4);
  EXPECT_EQ(parse_int32("-2.5"), -2);
  EXPECT_EQ(parse_int32(" +7 "), 7);
  EXPECT_EQ(parse_int32("007"), 7);
  EXPECT_EQ(parse_int32(".5"), 0);
  EXPECT_EQ(parse_int32("4."), 4);
}

TEST(WholeNumbers, TextsThatAreNoNumberOrTooLargeAreRefused) {
  for (const char* text : {"", " ", "abc", "12abc", "1,000", "1e3", "--1", ".", "0x10",
                           "2147483648", "2147483647.5", "-2147483649", "-2147483648.6",
                           "99999999999999999999999999999999999999"}) {
    EXPECT_FALSE(parse_int32(text)) << text;
    EXPECT_EQ(to_int32(text), 0) << text;
  }
  EXPECT_EQ(parse_int32("2147483647"), 2147483647);
  EXPECT_EQ(parse_int32("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(parse_int32("2147483647.4"), 2147483647);
}

TEST(WholeNumbers, TwipsBecomePixelsForEveryThirtyTwoBitValue) {
  EXPECT_EQ(Form::twips_to_pixels(2147483647), 143165576);
  EXPECT_EQ(Form::twips_to_pixels(-2147483647 - 1), -143165577);
  EXPECT_EQ(Form::twips_to_pixels(14235), 949);
  EXPECT_EQ(Form::twips_to_pixels(7), 0);
  EXPECT_EQ(Form::twips_to_pixels(8), 1);
  EXPECT_EQ(clamp_int32(1LL << 40), 2147483647);
  EXPECT_EQ(clamp_int32(-(1LL << 40)), -2147483647 - 1);
}

}  // namespace
}  // namespace tav
