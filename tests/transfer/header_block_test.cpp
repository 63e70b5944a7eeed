#include "transfer/header_block.h"

#include <gtest/gtest.h>

#include <string>

namespace rariduze {
namespace {

RemoteFileInfo Parse(const std::string& bytes) {
  return ParseHeaderBlock(bytes.data(), bytes.size());
}

// The header rules themselves are tested through the control against a live responder; these
// are the blocks no well-behaved answer holds.
TEST(ParseHeaderBlock, AStrayLineBreakEndsTheDate) {
  // Found by fuzzing: a CR with no LF after it left the CR in the date.
  EXPECT_EQ(Parse("7THO0last-modified: \r").last_modified, "");
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nLast-Modified: Mon\rX-Evil: 1\r\n\r\n").last_modified, "Mon");
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nLast-Modified: Mon\nTue\r\n\r\n").last_modified, "Mon");
  // No line end at all: the date runs to the end of the text.
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nLast-Modified: Mon, 07 Oct").last_modified, "Mon, 07 Oct");
}

TEST(ParseHeaderBlock, TheTextEndsAtTheFirstNul) {
  std::string buffer =
      std::string("HTTP/1.1 200 OK\r\n\r\n") + '\0' + "Content-Length: 5\r\nLast-Modified: x\r\n";
  RemoteFileInfo info = Parse(buffer);
  EXPECT_TRUE(info.exists);
  EXPECT_EQ(info.size, -1);
  EXPECT_EQ(info.last_modified, "Not Available");
  // A buffer without a NUL is read to its end, and not a byte beyond.
  std::string block = "HTTP/1.1 200 OK\r\nContent-Length: 123";
  EXPECT_EQ(ParseHeaderBlock(block.data(), block.size() - 1).size, 12);
  EXPECT_EQ(Parse(block + std::string(1000, ' ')).size, 123);
}

TEST(ParseHeaderBlock, OnlyTheStatusLineSaysTheFileIsMissing) {
  EXPECT_FALSE(Parse("HTTP/1.1 404\r\n\r\n").exists);
  EXPECT_FALSE(Parse("HTTP/2 410\r\n\r\n").exists);
  EXPECT_TRUE(Parse("HTTP/1.1\r\nX-Code: 404 Not Found\r\n\r\n").exists);
  EXPECT_TRUE(Parse("HTTP/1.1 4040 Odd\r\n\r\n").exists);
  EXPECT_TRUE(Parse("").exists);
  // The old missing-file line counts wherever it stands.
  EXPECT_FALSE(Parse("HTTP/1.1 200 OK\r\nX-Note: HTTP/1.1 404 File Not Found\r\n\r\n").exists);
}

TEST(ParseHeaderBlock, LengthsOutsideTheSizeAreNoLength) {
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n").size, -1);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n").size, -1);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nContent-Length: \r\n").size, -1);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nContent-Length:  0042 \r\n").size, 42);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nContent-Length: 1 2\r\n").size, -1);
}

}  // namespace
}  // namespace rariduze
