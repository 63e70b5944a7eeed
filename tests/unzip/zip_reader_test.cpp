// The library's own zip reader on archives made by the zip tool: what it lists and hands out,
// names, passwords, and the methods it does not read.
#include "tests/unzip/zip_reader_fixture.h"

namespace rariduze::testing {
namespace {

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

}  // namespace
}  // namespace rariduze::testing
