// The positioning rules both internet backends share, at their edges.
#include "platform/http_range.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace rariduze {
namespace {

TEST(PositionTargetTest, StaysWithinWhatAPositionHolds) {
  EXPECT_EQ(PositionTarget(100, -100, nullptr), 0);
  EXPECT_EQ(PositionTarget(100, -101, nullptr), std::nullopt);
  EXPECT_EQ(PositionTarget(INT32_MAX, 0, nullptr), INT32_MAX);
  EXPECT_EQ(PositionTarget(INT32_MAX, 1, nullptr), std::nullopt);
  EXPECT_EQ(PositionTarget(0, INT32_MAX, nullptr), INT32_MAX);
}

TEST(PositionTargetTest, AValidatorThatCouldEndItsHeaderLineGoesNowhere) {
  const std::string date = "Tue, 08 Oct 2024 08:00:00 GMT";
  EXPECT_EQ(PositionTarget(0, 40, &date), 40);
  for (const std::string& broken : {std::string(), date + "\r\nX-Smuggled: 1", date + "\n",
                                    std::string("a\0b", 3), std::string("a\x7f")}) {
    EXPECT_EQ(PositionTarget(0, 40, &broken), std::nullopt);
  }
  // Staying in place sends nothing, so no validator stands in the way.
  const std::string empty;
  EXPECT_EQ(PositionTarget(40, 0, &empty), 40);
}

TEST(RangeRunsToTheEndTest, OnlyTheRestOfTheFileFromTheAskedByte) {
  EXPECT_TRUE(RangeRunsToTheEnd("bytes 100-4999/5000", 100));
  EXPECT_TRUE(RangeRunsToTheEnd("Bytes 100-4999/*", 100));
  EXPECT_FALSE(RangeRunsToTheEnd("bytes 100-3999/5000", 100));
  EXPECT_FALSE(RangeRunsToTheEnd("bytes 101-4999/5000", 100));
  EXPECT_FALSE(RangeRunsToTheEnd("bytes 100-99/5000", 100));
  EXPECT_FALSE(RangeRunsToTheEnd("bytes 100-4999/many", 100));
  EXPECT_FALSE(RangeRunsToTheEnd("bytes 100-9999999999999999999/*", 100));
}

}  // namespace
}  // namespace rariduze
