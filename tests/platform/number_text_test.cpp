#include "platform/number_text.h"

#include <gtest/gtest.h>

namespace rariduze {
namespace {

TEST(ReadLeadingNumber, TakesTheLongestLeadingNumber) {
  EXPECT_EQ(ReadLeadingNumber("000100000022"), 100000022.0);
  EXPECT_EQ(ReadLeadingNumber("  8080abc"), 8080.0);
  EXPECT_EQ(ReadLeadingNumber("abc"), 0.0);
  EXPECT_EQ(ReadLeadingNumber(""), 0.0);
  EXPECT_EQ(ReadLeadingNumber("-12.5x"), -12.5);
  EXPECT_EQ(ReadLeadingNumber("1e3"), 1000.0);
  EXPECT_EQ(ReadLeadingNumber("1e"), 1.0);
  EXPECT_EQ(ReadLeadingNumber("0003b0004"), 3.0);
  EXPECT_EQ(ReadLeadingNumber("+"), 0.0);
}

TEST(ParseWholeNumberText, AcceptsOnlyANumberAsAWhole) {
  double n = -1;
  EXPECT_TRUE(ParseWholeNumberText(" 00 ", &n));
  EXPECT_EQ(n, 0.0);
  EXPECT_TRUE(ParseWholeNumberText("8080", &n));
  EXPECT_EQ(n, 8080.0);
  EXPECT_FALSE(ParseWholeNumberText("80a", &n));
  EXPECT_FALSE(ParseWholeNumberText("", &n));
  EXPECT_FALSE(ParseWholeNumberText("yes", &n));
}

TEST(FormatNumber, Patterns) {
  EXPECT_EQ(FormatNumber(22, "0000"), "0022");
  EXPECT_EQ(FormatNumber(12345, "0000"), "12345");
  EXPECT_EQ(FormatNumber(0, "0000"), "0000");
  EXPECT_EQ(FormatNumber(33.3333, "0.00"), "33.33");
  EXPECT_EQ(FormatNumber(0.5, "0.0"), "0.5");
  EXPECT_EQ(FormatNumber(0.5, "##.00"), ".50");
  EXPECT_EQ(FormatNumber(99.6, "##.0"), "99.6");
  EXPECT_EQ(FormatNumber(2.675, "0.00"), "2.68");
  EXPECT_EQ(FormatNumber(2.5, "0000"), "0003");
  EXPECT_EQ(FormatNumber(-1.25, "0.0"), "-1.3");
  EXPECT_EQ(FormatNumber(33.33, "0.00", ","), "33,33");
  // Rounded once, on the digits the number reads as.
  EXPECT_EQ(FormatNumber(0.124999, "0.00"), "0.12");
  EXPECT_EQ(FormatNumber(0.124999, "##.00"), ".12");
  EXPECT_EQ(FormatNumber(0.125, "0.00"), "0.13");
  EXPECT_EQ(FormatNumber(9.995, "0.00"), "10.00");
  EXPECT_EQ(FormatNumber(-0.004, "0.00"), "0.00");
  EXPECT_EQ(FormatNumber(1e20, "0"), "100000000000000000000");
}

}  // namespace
}  // namespace rariduze
