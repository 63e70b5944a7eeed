#include "platform/text_fields.h"

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

std::vector<std::string> AllFields(const std::string& text) {
  TextFieldReader reader(text);
  std::vector<std::string> fields;
  for (int guard = 0; guard < 100; ++guard) {
    try {
      fields.push_back(reader.ReadField());
    } catch (const RuntimeFailure& failure) {
      EXPECT_EQ(failure.number(), kFailureInputPastEndOfFile);
      return fields;
    }
  }
  ADD_FAILURE() << "reader never reached the end";
  return fields;
}

TEST(TextFieldReader, SplitsAtCommasAndLineEndsOfEveryKind) {
  using V = std::vector<std::string>;
  EXPECT_EQ(AllFields("10.0.0.1:8080\r\n1\r\n"), (V{"10.0.0.1:8080", "1"}));
  EXPECT_EQ(AllFields("a\nb\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(AllFields("1.2.3,more text\r\nnext"), (V{"1.2.3", "more text", "next"}));
  EXPECT_EQ(AllFields("  1.2.3  \r\n"), (V{"1.2.3  "}));
}

TEST(TextFieldReader, QuotedFieldRunsToTheNextQuoteAndKeepsCommas) {
  using V = std::vector<std::string>;
  EXPECT_EQ(AllFields("\"1.2\"\r\n"), (V{"1.2"}));
  EXPECT_EQ(AllFields("  \"a, b\" ,c\r\n"), (V{"a, b", "c"}));
  EXPECT_EQ(AllFields("\"unterminated, text"), (V{"unterminated, text"}));
}

TEST(TextFieldReader, EmptyTextAndEmptyLines) {
  EXPECT_TRUE(AllFields("").empty());
  EXPECT_EQ(AllFields("\r\nx"), (std::vector<std::string>{"", "x"}));
  EXPECT_EQ(AllFields(":\r\n0\r\n"), (std::vector<std::string>{":", "0"}));
}

TEST(TextFieldReader, OpensOnlyFilesThatCanBeRead) {
  testing::TestDir dir;
  EXPECT_FALSE(OpenTextFields(FileSystem::Default(), dir.File("missing")).has_value());
  testing::WriteFile(dir.File("v"), "1.0.22\r\n");
  auto reader = OpenTextFields(FileSystem::Default(), dir.File("v"));
  ASSERT_TRUE(reader.has_value());
  EXPECT_EQ(reader->ReadField(), "1.0.22");
}

TEST(TextFieldReader, HugeFileIsReadOnlyAsFarAsTheLimit) {
  testing::TestDir dir;
  testing::WriteFile(dir.File("big"), std::string(kMaxTextFileBytes * 3, '7'));
  auto reader = OpenTextFields(FileSystem::Default(), dir.File("big"));
  ASSERT_TRUE(reader.has_value());
  EXPECT_EQ(reader->ReadField().size(), kMaxTextFileBytes);
}

TEST(CrlfLines, EndsEveryLineWithCarriageReturnAndLineFeed) {
  EXPECT_EQ(CrlfLines({"10.0.0.1:8080", "1"}), "10.0.0.1:8080\r\n1\r\n");
  EXPECT_EQ(CrlfLines({}), "");
}

TEST(FileSystem, ReplaceContentsLeavesTheOldFileWhenTheFolderIsGone) {
  testing::TestDir dir;
  FileSystem& files = FileSystem::Default();
  files.ReplaceContents(dir.File("proxy"), "a:1\r\n1\r\n");
  EXPECT_EQ(testing::ReadFile(dir.File("proxy")), "a:1\r\n1\r\n");
  EXPECT_THROW(files.ReplaceContents(dir.File("no-such-folder/proxy"), "x"), RuntimeFailure);
}

TEST(FileSystem, OpenForWritingWritesAtPositionsAndTruncatesOnRequest) {
  testing::TestDir dir;
  FileSystem& files = FileSystem::Default();
  testing::WriteFile(dir.File("f"), "0123456789");
  {
    auto file = files.OpenForWriting(dir.File("f"), false);
    file->Seek(4);
    file->Write("ab", 2);
  }
  EXPECT_EQ(testing::ReadFile(dir.File("f")), "0123ab6789");
  files.OpenForWriting(dir.File("f"), true)->Write("x", 1);
  EXPECT_EQ(testing::ReadFile(dir.File("f")), "x");
  EXPECT_EQ(files.Length(dir.File("f")), 1);
  EXPECT_FALSE(files.Length(dir.File("gone")).has_value());
  EXPECT_THROW(files.OpenForWriting("", false), RuntimeFailure);
  EXPECT_THROW(files.OpenForWriting(dir.File("no/such/dir"), false), RuntimeFailure);
}

}  // namespace
}  // namespace rariduze
