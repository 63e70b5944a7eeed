#include "signing/trusted_comment.h"

#include <gtest/gtest.h>

namespace rariduze::testing {
namespace {

TEST(TrustedCommentTest, NamesTheVersionOfItsOneVersionWord) {
  EXPECT_TRUE(TrustedCommentNamesVersion("version:1.0.23", "1.0.23"));
  EXPECT_TRUE(TrustedCommentNamesVersion("  version:1.0.23  ", "1.0.23"));
  EXPECT_TRUE(TrustedCommentNamesVersion("version:1.0.23 hashed", "1.0.23"));
  // The tool's own words are separated by tabs.
  EXPECT_TRUE(TrustedCommentNamesVersion(
      "timestamp:1700000000\tfile:setupZT.zip\tversion:1.0.23\thashed", "1.0.23"));
  EXPECT_EQ(VersionInTrustedComment("file:a version:2.5 b"), "2.5");
}

TEST(TrustedCommentTest, NamesNoOtherVersionThanTheExactText) {
  for (const char* version :
       {"1.0.22", "1.0.023", "1.0.23.0", "1.0.2", "1.0.233", " 1.0.23", "1.0.23 ", "V1.0.23", ""}) {
    EXPECT_FALSE(TrustedCommentNamesVersion("version:1.0.23", version)) << version;
  }
}

TEST(TrustedCommentTest, ACommentWithoutOneClearVersionWordNamesNone) {
  for (const char* comment :
       {"", "timestamp:1700000000\tfile:setupZT.zip", "1.0.23", "Version:1.0.23", "VERSION:1.0.23",
        "myversion:1.0.23", "file:version:1.0.23", "version 1.0.23", "version=1.0.23"}) {
    EXPECT_EQ(VersionInTrustedComment(comment), std::nullopt) << comment;
    EXPECT_FALSE(TrustedCommentNamesVersion(comment, "1.0.23")) << comment;
  }
  // Two versions name none, even when one of them is the one asked for.
  EXPECT_EQ(VersionInTrustedComment("version:1.0.22 version:1.0.23"), std::nullopt);
  EXPECT_FALSE(TrustedCommentNamesVersion("version:1.0.22 version:1.0.23", "1.0.23"));
  EXPECT_FALSE(TrustedCommentNamesVersion("version:1.0.23\tversion:1.0.23", "1.0.23"));
  // An empty value names no version, not even an empty one.
  EXPECT_EQ(VersionInTrustedComment("version:"), "");
  EXPECT_FALSE(TrustedCommentNamesVersion("version:", ""));
  // Punctuation stays part of the word.
  EXPECT_FALSE(TrustedCommentNamesVersion("version:1.0.23,", "1.0.23"));
}

}  // namespace
}  // namespace rariduze::testing
