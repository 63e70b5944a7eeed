// The library's own zip reader on archives made by the zip tool and then damaged in chosen
// places: sizes, checksums, descriptors, directories, offsets and ZIP64 fields that disagree.
#include "tests/unzip/zip_reader_fixture.h"

namespace rariduze::testing {
namespace {

TEST_F(ZipReaderTest, EntriesThatDisagreeWithTheirSizesOrCrcFail) {
  const std::string bytes = ReadFile(Zip("a.zip", "zip -q \"$1\" a.txt b.txt"));
  const std::string stored = ReadFile(Zip("s.zip", "zip -q -0 \"$1\" a.txt b.txt"));
  const ZipLayout layout = LayoutOf(bytes);
  const ZipLayout stored_layout = LayoutOf(stored);

  auto with = [](std::string bytes, auto change) {
    change(bytes);
    return bytes;
  };
  auto set_both = [](std::string& b, const ZipLayout& l, std::size_t central_field,
                     std::size_t local_field, std::uint32_t value) {
    Put32(b, l.central[0] + central_field, value);
    Put32(b, l.local[0] + local_field, value);
  };
  struct Case {
    const char* name;
    std::string bytes;
    const char* error;
    std::size_t handed_out;
  };
  for (const Case& c : {
           Case{"longer than declared",
                with(bytes,
                     [&](std::string& b) {
                       set_both(b, layout, field::kCentralSize, field::kLocalSize, 40000);
                     }),
                "more data than its size says", 40000},
           Case{"shorter than declared",
                with(bytes,
                     [&](std::string& b) {
                       set_both(b, layout, field::kCentralSize, field::kLocalSize, 4000000);
                     }),
                "ends before its size says", 50000},
           Case{"stored with a wrong CRC",
                with(stored,
                     [&](std::string& b) {
                       set_both(b, stored_layout, field::kCentralCrc, field::kLocalCrc, 0xdeadbeef);
                     }),
                "CRC error", 50000},
           Case{"deflated with a wrong CRC",
                with(bytes,
                     [&](std::string& b) {
                       set_both(b, layout, field::kCentralCrc, field::kLocalCrc, 0xdeadbeef);
                     }),
                "CRC error", 50000},
           Case{"packed size too small",
                with(bytes,
                     [&](std::string& b) {
                       std::uint32_t packed =
                           Get32(b, layout.central[0] + field::kCentralPackedSize);
                       set_both(b, layout, field::kCentralPackedSize, field::kLocalPackedSize,
                                packed - 100);
                     }),
                "ends early", 0},
           Case{"packed size too large",
                with(bytes,
                     [&](std::string& b) {
                       std::uint32_t packed =
                           Get32(b, layout.central[0] + field::kCentralPackedSize);
                       set_both(b, layout, field::kCentralPackedSize, field::kLocalPackedSize,
                                packed + 10);
                     }),
                "shorter than its packed size says", 50000},
           Case{"flipped data",
                with(bytes, [&](std::string& b) { b[layout.local[0] + 200] ^= 0x21; }), "", 0},
       }) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Archive> archive = OpenBytes(c.bytes);
    ASSERT_NE(archive, nullptr);
    Outcome read = ReadEntry(*archive, 0);
    EXPECT_EQ(read.problem, OpenProblem::kNone);
    EXPECT_FALSE(read.complete);
    EXPECT_THAT(read.error, HasSubstr(c.error));
    if (c.handed_out > 0) {
      EXPECT_EQ(read.data.size(), c.handed_out);
    }
    // The damage stays with its entry.
    EXPECT_EQ(ReadEntry(*archive, 1).data, "bee");
  }
}

TEST_F(ZipReaderTest, DescriptorsAndLocalHeadersMustAgreeWithTheDirectory) {
  const std::string streamed = ReadFile(Zip("st.zip", "zip -q - a.txt b.txt | cat > \"$1\""));
  const ZipLayout layout = LayoutOf(streamed);
  const std::uint32_t packed = Get32(streamed, layout.central[0] + field::kCentralPackedSize);
  // The descriptor follows the data: signature, CRC, sizes.
  const std::uint32_t lengths = Get32(streamed, layout.local[0] + 26);  // name, extra field
  const std::size_t descriptor =
      layout.local[0] + 30 + (lengths & 0xffff) + (lengths >> 16) + packed;
  ASSERT_EQ(Get32(streamed, descriptor), 0x08074b50u);

  std::string bad_descriptor = streamed;
  Put32(bad_descriptor, descriptor + 4, 0x01020304);
  std::unique_ptr<Archive> archive = OpenBytes(bad_descriptor);
  ASSERT_NE(archive, nullptr);
  Outcome read = ReadEntry(*archive, 0);
  EXPECT_FALSE(read.complete);
  EXPECT_THAT(read.error, HasSubstr("data descriptor"));

  std::string bad_method = streamed;
  Put16(bad_method, layout.local[0] + field::kLocalMethod, 0);
  archive = OpenBytes(bad_method);
  ASSERT_NE(archive, nullptr);
  read = ReadEntry(*archive, 0);
  EXPECT_EQ(read.problem, OpenProblem::kDamaged);
  EXPECT_THAT(read.error, HasSubstr("method"));
}

TEST_F(ZipReaderTest, DamagedDirectoriesAndOffsetsAreRefused) {
  const std::string bytes = ReadFile(Zip("a.zip", "zip -q \"$1\" a.txt b.txt"));
  const ZipLayout layout = LayoutOf(bytes);

  EXPECT_THAT(OpenError(""), HasSubstr("not a zip archive"));
  EXPECT_THAT(OpenError(std::string(5000, 'x')), HasSubstr("not a zip archive"));
  EXPECT_THAT(OpenError(bytes.substr(0, bytes.size() - 1)), HasSubstr("not a zip archive"));
  // The directory cut in the middle of a record.
  std::string truncated = bytes;
  truncated.erase(layout.central[1] + 20, 20);
  EXPECT_THAT(OpenError(truncated), HasSubstr("central directory"));
  // The directory said to lie past the end, or to be larger than the file.
  std::string far = bytes;
  Put32(far, layout.directory_end + field::kEndDirectoryOffset, 0x7ffffff0);
  EXPECT_THAT(OpenError(far), HasSubstr("outside the archive"));
  std::string large = bytes;
  Put32(large, layout.directory_end + field::kEndDirectorySize, 0xfffffff0);
  EXPECT_THAT(OpenError(large), HasSubstr("outside the archive"));
  // Counts the directory cannot hold.
  std::string many = bytes;
  Put16(many, layout.directory_end + field::kEndEntries, 0xfffe);
  Put16(many, layout.directory_end + field::kEndEntriesHere, 0xfffe);
  EXPECT_THAT(OpenError(many), HasSubstr("more entries"));
  std::string fewer = bytes;
  Put16(fewer, layout.directory_end + field::kEndEntries, 1);
  Put16(fewer, layout.directory_end + field::kEndEntriesHere, 1);
  EXPECT_THAT(OpenError(fewer), HasSubstr("more than its entries"));
  // AES named without its extra field.
  std::string aes = bytes;
  Put16(aes, layout.central[1] + field::kCentralMethod, 99);
  EXPECT_THAT(OpenError(aes), HasSubstr("AES"));
  std::string disks = bytes;
  Put16(disks, layout.directory_end + field::kEndEntriesHere, 1);
  EXPECT_THAT(OpenError(disks), HasSubstr("several disks"));

  // A local header offset past the end, or pointing at no local header, fails that entry only.
  for (std::uint32_t offset : {0x7fffff00u, static_cast<std::uint32_t>(layout.local[0] + 3),
                               static_cast<std::uint32_t>(layout.directory_offset - 10)}) {
    std::string moved = bytes;
    Put32(moved, layout.central[0] + field::kCentralLocalOffset, offset);
    std::unique_ptr<Archive> archive = OpenBytes(moved);
    ASSERT_NE(archive, nullptr);
    Outcome read = ReadEntry(*archive, 0);
    EXPECT_EQ(read.problem, OpenProblem::kDamaged) << offset;
    EXPECT_TRUE(read.data.empty());
    EXPECT_EQ(ReadEntry(*archive, 1).data, "bee");
  }
}

TEST_F(ZipReaderTest, Zip64CountsAndSizesAreCheckedToo) {
  std::string bytes = ReadFile(Zip("z.zip", "zip -q -fz \"$1\" a.txt b.txt"));
  EXPECT_EQ(OpenError(bytes), "");
  // The ZIP64 end record: signature, record size, made by, needed, two disk numbers, then the
  // entry counts (this disk, all), the directory's size and offset.
  std::size_t zip64_end = bytes.rfind(std::string("PK\x06\x06", 4));
  ASSERT_NE(zip64_end, std::string::npos);
  const std::size_t end = bytes.size() - 22;
  std::string many = bytes;
  Put32(many, zip64_end + 24, 0);
  Put32(many, zip64_end + 28, 0x40000000);
  Put32(many, zip64_end + 32, 0);
  Put32(many, zip64_end + 36, 0x40000000);
  EXPECT_THAT(OpenError(many), HasSubstr("disagree"));  // the end record still says 2
  Put16(many, end + field::kEndEntriesHere, 0xffff);
  Put16(many, end + field::kEndEntries, 0xffff);
  EXPECT_THAT(OpenError(many), HasSubstr("more entries"));
  std::string far = bytes;
  Put32(far, zip64_end + 52, 0x10);
  Put32(far, end + field::kEndDirectoryOffset, 0xffffffff);
  EXPECT_THAT(OpenError(far), HasSubstr("outside the archive"));
}

}  // namespace
}  // namespace rariduze::testing
