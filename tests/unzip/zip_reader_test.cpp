// The library's own zip reader on archives made by the zip tool, whole and damaged in chosen
// places: what it lists, what it hands out, and how it refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"
#include "tests/unzip/zip_bytes.h"
#include "unzip/library/byte_source.h"
#include "unzip/library/zip_reader.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using unziplib::Archive;
using unziplib::ArchiveEntry;
using unziplib::EntryKind;
using unziplib::EntryReader;
using unziplib::OpenProblem;

std::uint32_t Crc(const std::string& data) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// How reading one entry ended.
struct Outcome {
  OpenProblem problem = OpenProblem::kNone;
  bool complete = false;  // read to its end and checked
  std::string data;       // what was handed out
  std::string error;
};

Outcome ReadEntry(Archive& archive, std::uint64_t index, const char* password = nullptr) {
  Outcome outcome;
  ArchiveEntry entry;
  if (!archive.Entry(index, &entry, &outcome.error)) {
    outcome.problem = OpenProblem::kDamaged;
    return outcome;
  }
  std::unique_ptr<EntryReader> reader =
      archive.OpenEntry(entry, password, &outcome.problem, &outcome.error);
  if (!reader) return outcome;
  char buffer[7000];  // an odd size, so that pieces end anywhere
  for (int reads = 0; reads < 100000; ++reads) {
    std::int64_t n = reader->Read(buffer, sizeof buffer, &outcome.error);
    if (n <= 0) {
      outcome.complete = n == 0;
      break;
    }
    outcome.data.append(buffer, static_cast<std::size_t>(n));
    EXPECT_LE(outcome.data.size(), entry.size) << "more than declared was handed out";
  }
  return outcome;
}

class ZipReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFiles(src_, {{"a.txt", text_a_}, {"b.txt", "bee"}, {"sub/c.txt", text_c_}});
  }

  // The zip tool run in the source folder through the shell; "$1" is the archive.
  std::string Zip(const std::string& name, const std::string& command) {
    std::string archive = dir_.File(name);
    EXPECT_TRUE(RunShell(src_, command, archive));
    return archive;
  }

  std::unique_ptr<Archive> Open(const std::string& path) {
    std::string error;
    std::unique_ptr<Archive> archive = unziplib::OpenZipReaderArchive(path, &error);
    EXPECT_NE(archive, nullptr) << error;
    return archive;
  }

  // The error that opening bytes as an archive gives; empty when it opens.
  std::string OpenError(std::string bytes) {
    std::string error;
    std::unique_ptr<Archive> archive =
        unziplib::OpenZipReaderArchive(unziplib::MemorySource(std::move(bytes)), &error);
    return archive ? "" : error;
  }

  std::unique_ptr<Archive> OpenBytes(std::string bytes) {
    std::string error;
    std::unique_ptr<Archive> archive =
        unziplib::OpenZipReaderArchive(unziplib::MemorySource(std::move(bytes)), &error);
    EXPECT_NE(archive, nullptr) << error;
    return archive;
  }

  TestDir dir_{"zip-reader"};
  std::string src_ = dir_.File("src");
  std::string text_a_ = Text(50000, 1);
  std::string text_c_ = Text(3000, 2);
};

TEST_F(ZipReaderTest, ReadsStoredDeflatedZip64AndStreamedEntries) {
  for (const char* command :
       {"zip -q -r \"$1\" .", "zip -q -r -0 \"$1\" .", "zip -q -r -fz \"$1\" .",
        "zip -q -r - . | cat > \"$1\"", "zip -q -r -0 - . | cat > \"$1\""}) {
    SCOPED_TRACE(command);
    std::unique_ptr<Archive> archive = Open(Zip("a.zip", command));
    ASSERT_NE(archive, nullptr);
    std::map<std::string, std::string> found;
    for (std::uint64_t i = 0; i < archive->EntryCount(); ++i) {
      ArchiveEntry entry;
      std::string error;
      ASSERT_TRUE(archive->Entry(i, &entry, &error)) << error;
      if (entry.kind == EntryKind::kFolder) {
        found[entry.name] = "(folder)";
        continue;
      }
      Outcome read = ReadEntry(*archive, i);
      EXPECT_TRUE(read.complete) << entry.name << ": " << read.error;
      EXPECT_EQ(entry.crc, Crc(read.data));
      EXPECT_EQ(entry.size, read.data.size());
      found[entry.name] = read.data;
    }
    EXPECT_EQ(
        found,
        (std::map<std::string, std::string>{
            {"a.txt", text_a_}, {"b.txt", "bee"}, {"sub/", "(folder)"}, {"sub/c.txt", text_c_}}));
    archive.reset();  // Windows removes no file that is open
    fs::remove(Utf8Path(dir_.File("a.zip")));
  }
}

TEST_F(ZipReaderTest, ReadsZip64DataDescriptors) {
  // Streamed with -fz, the zip tool writes ZIP64 sizes into the data descriptors, but marks the
  // directory's offset without writing a ZIP64 end record: refused until the offset is mended.
  std::string bytes = ReadFile(Zip("z.zip", "zip -q -fz - a.txt b.txt | cat > \"$1\""));
  EXPECT_THAT(OpenError(bytes), HasSubstr("outside the archive"));
  std::size_t directory = bytes.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(directory, std::string::npos);
  Put32(bytes, bytes.size() - 22 + field::kEndDirectoryOffset,
        static_cast<std::uint32_t>(directory));
  std::unique_ptr<Archive> archive = OpenBytes(bytes);
  ASSERT_NE(archive, nullptr);
  Outcome a = ReadEntry(*archive, 0);
  EXPECT_TRUE(a.complete) << a.error;
  EXPECT_EQ(a.data, text_a_);
  EXPECT_EQ(ReadEntry(*archive, 1).data, "bee");
  // The wide descriptor holds the CRC and both sizes in 8 bytes each; a wrong size fails.
  std::size_t descriptor = bytes.find(std::string("PK\x07\x08", 4));
  ASSERT_NE(descriptor, std::string::npos);
  Put32(bytes, descriptor + 8, Get32(bytes, descriptor + 8) + 1);
  archive = OpenBytes(bytes);
  ASSERT_NE(archive, nullptr);
  a = ReadEntry(*archive, 0);
  EXPECT_FALSE(a.complete);
  EXPECT_THAT(a.error, HasSubstr("data descriptor"));
}

TEST_F(ZipReaderTest, EntryRecordsCarryTheArchivesValues) {
  SetModified(src_ + "/b.txt", LocalTime(2022, 11, 30, 23, 58) + 4);
  // The shell removes the link it made: under Wine the file system library cannot remove a
  // folder in which a link outlives its target.
  std::unique_ptr<Archive> archive =
      Open(Zip("a.zip",
               "trap 'rm -f link' EXIT; chmod 751 a.txt && ln -s b.txt link && "
               "zip -q -y \"$1\" a.txt b.txt link"));
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(archive->EntryCount(), 3u);
  ArchiveEntry a, b, link;
  std::string error;
  ASSERT_TRUE(archive->Entry(0, &a, &error) && archive->Entry(1, &b, &error) &&
              archive->Entry(2, &link, &error));
  EXPECT_EQ(a.method, 8);
  EXPECT_LT(a.packed_size, a.size);
  EXPECT_EQ(a.unix_mode.value_or(0) & 07777, 0751u);
  EXPECT_EQ(b.method, 0);  // too small to deflate
  EXPECT_EQ(b.modified, LocalTime(2022, 11, 30, 23, 58) + 4);
  EXPECT_EQ(link.kind, EntryKind::kSymlink);
  EXPECT_EQ(ReadEntry(*archive, 2).data, "b.txt");
  EXPECT_FALSE(archive->Entry(3, &a, &error));
}

TEST_F(ZipReaderTest, NamesBecomeUtf8AndBackslashesSeparate) {
  // Names that are no UTF-8 are made by the shell, as bytes, on every system, and removed by it
  // again: under Wine they cannot be named.
  std::string names = dir_.File("names");
  fs::create_directories(Utf8Path(names));
  ASSERT_TRUE(RunShell(names,
                       "trap 'rm -f -- *' EXIT; printf 1 > \"$(printf 'caf\\303\\251.txt')\" && "
                       "printf 2 > \"$(printf '\\201\\224.txt')\" && printf 3 > 'a\\b.txt' && "
                       "printf 4 > \"$(printf '\\001\\201.txt')\" && "
                       "printf 5 > \"$(printf 'esc\\033.txt')\" && zip -q \"$1\" *",
                       dir_.File("names.zip")));
  std::unique_ptr<Archive> archive = Open(dir_.File("names.zip"));
  ASSERT_NE(archive, nullptr);
  std::vector<std::string> listed;
  for (std::uint64_t i = 0; i < archive->EntryCount(); ++i) {
    ArchiveEntry entry;
    std::string error;
    ASSERT_TRUE(archive->Entry(i, &entry, &error));
    listed.push_back(entry.name);
  }
  std::sort(listed.begin(), listed.end());
  // Code page 437 gives 0x81 as "ü", 0x94 as "ö", 0x01 as "☺" and 0x1B as "←"; a control
  // character makes a name code page 437 even when it would pass as UTF-8.
  EXPECT_THAT(listed, ElementsAre("a/b.txt", "caf\xC3\xA9.txt", "esc\xE2\x86\x90.txt",
                                  "\xC3\xBC\xC3\xB6.txt", "\xE2\x98\xBA\xC3\xBC.txt"));
}

TEST_F(ZipReaderTest, EncryptedEntriesNeedThePasswordThatChecksOut) {
  for (const char* command :
       {"zip -q -P pw \"$1\" a.txt b.txt", "zip -q -0 -P pw \"$1\" a.txt b.txt",
        "zip -q -P pw - a.txt b.txt | cat > \"$1\""}) {
    SCOPED_TRACE(command);
    std::unique_ptr<Archive> archive = Open(Zip("secret.zip", command));
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    std::string error;
    ASSERT_TRUE(archive->Entry(0, &entry, &error));
    EXPECT_TRUE(entry.encrypted);
    EXPECT_EQ(ReadEntry(*archive, 0).problem, OpenProblem::kNeedsPassword);
    // A wrong password fails the check byte, or, 1 time in 256, the data or its CRC.
    for (const char* wrong : {"wrong", "pw2", "PW", "x"}) {
      Outcome read = ReadEntry(*archive, 0, wrong);
      EXPECT_FALSE(read.complete) << wrong;
      if (read.problem == OpenProblem::kNone) {
        EXPECT_FALSE(read.error.empty());
      } else {
        EXPECT_EQ(read.problem, OpenProblem::kWrongPassword);
      }
    }
    Outcome a = ReadEntry(*archive, 0, "pw");
    EXPECT_TRUE(a.complete) << a.error;
    EXPECT_EQ(a.data, text_a_);
    EXPECT_EQ(ReadEntry(*archive, 1, "pw").data, "bee");
    archive.reset();
    fs::remove(Utf8Path(dir_.File("secret.zip")));
  }
}

TEST_F(ZipReaderTest, OtherMethodsAndEncryptionsAreUnsupported) {
  std::string bzip2 = Zip("bzip2.zip", "zip -q -Z bzip2 \"$1\" a.txt");
  std::unique_ptr<Archive> archive = Open(bzip2);
  ASSERT_NE(archive, nullptr);
  Outcome read = ReadEntry(*archive, 0);
  EXPECT_EQ(read.problem, OpenProblem::kUnsupported);
  EXPECT_THAT(read.error, HasSubstr("BZip2"));

  std::string bytes = ReadFile(Zip("a.zip", "zip -q \"$1\" a.txt"));
  ZipLayout layout = LayoutOf(bytes);
  Put16(bytes, layout.central[0] + field::kCentralMethod, 9);
  Put16(bytes, layout.local[0] + field::kLocalMethod, 9);
  archive = OpenBytes(bytes);
  ASSERT_NE(archive, nullptr);
  read = ReadEntry(*archive, 0);
  EXPECT_EQ(read.problem, OpenProblem::kUnsupported);
  EXPECT_THAT(read.error, HasSubstr("Deflate64"));
}

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
