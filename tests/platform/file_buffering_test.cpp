#include <gtest/gtest.h>

#include <string>

#include "platform/failure.h"
#include "platform/file_system.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

// A download hands the file 2 KiB at a time, and the file gathers those pieces: the bytes must
// still arrive whole, in order and at the positions meant.
TEST(FileBuffering, SmallWritesArriveWholeAndInOrderAtFlushSeekAndClose) {
  testing::TestDir dir;
  const std::string path = dir.File("f");
  std::unique_ptr<WritableFile> file = FileSystem::Default().OpenForWriting(path, true);
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::string chunk(2048, static_cast<char>('a' + i % 26));
    file->Write(chunk.data(), chunk.size());
    expected += chunk;
  }
  file->Flush();
  EXPECT_TRUE(testing::ReadFile(path) == expected);

  // The bytes before a move go where they were meant to, not after it.
  file->Write("tail", 4);
  file->Seek(0);
  file->Write("HEAD", 4);
  file->Close();
  expected += "tail";
  expected.replace(0, 4, "HEAD");
  EXPECT_TRUE(testing::ReadFile(path) == expected);
}

TEST(FileBuffering, LargeAndSmallWritesKeepTheirOrderAndDestructionWritesTheRest) {
  testing::TestDir dir;
  const std::string path = dir.File("f");
  const std::string large(100 * 1024, 'L');
  {
    std::unique_ptr<WritableFile> file = FileSystem::Default().OpenForWriting(path, true);
    file->Write("abc", 3);
    file->Write(large.data(), large.size());
    file->Write("xyz", 3);
  }
  EXPECT_TRUE(testing::ReadFile(path) == "abc" + large + "xyz");
}

TEST(FileBuffering, BytesThatCannotBeWrittenAreRaisedByFlushAndByClose) {
  // /dev/full opens, then refuses every byte: "no space left on device".
  std::unique_ptr<WritableFile> file = FileSystem::Default().OpenForWriting("/dev/full", false);
  file->Write("x", 1);
  EXPECT_THROW(file->Flush(), RuntimeFailure);
  file->Write("y", 1);
  EXPECT_THROW(file->Close(), RuntimeFailure);
  EXPECT_THROW(file->Write("z", 1), RuntimeFailure);
  EXPECT_NO_THROW(file->Close());

  // With nobody left to tell, destruction drops the failure.
  EXPECT_NO_THROW({
    std::unique_ptr<WritableFile> other = FileSystem::Default().OpenForWriting("/dev/full", false);
    other->Write("x", 1);
  });
}

}  // namespace
}  // namespace rariduze
