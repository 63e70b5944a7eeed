// The unzip library on real archives: made by the zip tool, or written byte by byte where an
// archive must be hostile. Through the object, and through the C interface where only the
// library's own side can show. What every system must do alike.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "platform/failure.h"
#include "tests/unzip/unzip_library_fixture.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Text that deflates well but not to nothing.
std::string Words(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {"zentri ", "update ",   "setup ", "archive ", "entry ",
                                       "folder ", "version\n", "42 ",    "path ",    "data "};
  std::string text;
  unsigned state = seed;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text += kWords[(state >> 16) % 10];
  }
  text.resize(size);
  return text;
}

TEST_F(UnzipLibraryTest, RecreatesFoldersOrPutsEveryFileAtTheTop) {
  std::string png(3000, '\0');
  for (std::size_t i = 0; i < png.size(); ++i) png[i] = static_cast<char>(i * 7);
  std::string archive =
      Zip({{"top.txt", "top"}, {"docs/sub/readme.txt", "readme"}, {"docs/img/a.png", png}});
  fs::create_directories(Utf8Path(src_ + "/empty"));
  ASSERT_TRUE(RunZip(src_, {"-r", archive, "empty"}));

  unzip_.SetUseFolderNames(true);
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("docs", "docs/img", "docs/img/a.png", "docs/sub",
                                           "docs/sub/readme.txt", "empty", "top.txt"));
  EXPECT_EQ(ReadFile(out_ + "/docs/img/a.png"), png);
  EXPECT_EQ(ReadFile(out_ + "/docs/sub/readme.txt"), "readme");
  EXPECT_TRUE(events_.Told("docs\\sub\\readme.txt"));

  unzip_.SetUseFolderNames(false);
  std::string flat = dir_.File("flat");
  EXPECT_TRUE(Extract(archive, flat));
  EXPECT_THAT(TreeBelow(flat), ElementsAre("a.png", "readme.txt", "top.txt"));

  // Message level 1: problems only.
  events_.progress.clear();
  unzip_.SetMessageLevel(1);
  EXPECT_FALSE(Extract(archive, flat));  // the files are there already
  EXPECT_THAT(events_.progress,
              ::testing::UnorderedElementsAre("skipped a.png: it already exists",
                                              "skipped readme.txt: it already exists",
                                              "skipped top.txt: it already exists"));
}

TEST_F(UnzipLibraryTest, ListingFillsTheTableWithTheArchivesFiles) {
  std::string text = Words(20000, 1);
  MakeFiles(src_, {{"docs/readme.txt", text}, {"top.txt", "x"}});
  SetModified(src_ + "/docs/readme.txt", LocalTime(2021, 3, 4, 5, 6));
  std::string archive = Zip({});

  unzip_.SetZipFile(archive);
  EXPECT_EQ(unzip_.Directory(), 0);
  ASSERT_EQ(unzip_.FileCount(), 2);  // the folder entry docs/ is left out
  int readme = unzip_.Filename(1) == "readme.txt" ? 1 : 2;
  EXPECT_EQ(unzip_.Filename(readme), "readme.txt");
  EXPECT_EQ(unzip_.FileDirectory(readme), "docs");
  EXPECT_EQ(unzip_.FileSize(readme), 20000);
  EXPECT_EQ(unzip_.FileCompressionMethod(readme), "Deflated");
  EXPECT_EQ(static_cast<std::uint32_t>(unzip_.FileCRC(readme)), Crc32(text));
  EXPECT_FALSE(unzip_.FileEncrypted(readme));
  EXPECT_EQ(unzip_.FileDate(readme), std::chrono::local_days{std::chrono::year(2021) / 3 / 4} +
                                         std::chrono::hours(5) + std::chrono::minutes(6));
  int ratio = unzip_.FileCompressionRatio(readme);
  EXPECT_GT(ratio, 0);
  EXPECT_LT(ratio, 60);
  EXPECT_EQ(unzip_.FilePackedSize(readme), ratio * 20000 / 100);

  unzip_.Directory();
  EXPECT_EQ(unzip_.FileCount(), 4);
  unzip_.SetZipFile(archive);
  unzip_.Directory();
  EXPECT_EQ(unzip_.FileCount(), 2);
}

// What the library's list callback reported, kind letter and path.
std::vector<std::string> listed;
void NoteListed(std::uint32_t, std::uint32_t, std::int32_t, std::int32_t, std::int32_t,
                std::int32_t, std::int32_t, std::int32_t, std::int32_t kind, const char* path,
                const char* method, std::uint32_t, std::int32_t encryption) {
  listed.push_back(std::string(1, static_cast<char>(kind)) + " " + path + " " + method + " [" +
                   static_cast<char>(encryption) + "]");
}
std::vector<std::string> printed;
std::int32_t NotePrinted(const char* text, std::int32_t count) {
  printed.emplace_back(text, static_cast<std::size_t>(count));
  return 0;
}

TEST_F(UnzipLibraryTest, TheLibraryListsFolderEntriesToo) {
  std::string archive = Zip({{"docs/a.txt", "a"}});
  UnzipOptions options{};
  options.list_only = 1;
  options.archive_path = archive.c_str();
  options.target_folder = "";
  UnzipCallbacks callbacks{};
  callbacks.list = &NoteListed;
  listed.clear();
  LibraryEntry unzip;
  EXPECT_EQ(unzip(0, nullptr, 0, nullptr, &options, &callbacks), 1);
  EXPECT_THAT(listed, ElementsAre("d docs/ Stored [ ]", "- docs/a.txt Stored [ ]"));
}

TEST_F(UnzipLibraryTest, IncludeNamesMatchWithoutCaseUnlessAsked) {
  std::string archive = Zip({{"Docs/Top.txt", "top"}, {"other.txt", "o"}});
  const char* includes[UNZIP_NAME_LIST_SLOTS] = {"docs\\TOP.TXT", ""};
  UnzipOptions options{};
  options.use_folder_names = 1;
  options.archive_path = archive.c_str();
  options.target_folder = out_.c_str();
  UnzipCallbacks callbacks{};
  callbacks.print = &NotePrinted;
  LibraryEntry unzip;
  EXPECT_EQ(unzip(1, includes, 0, nullptr, &options, &callbacks), 1);
  EXPECT_THAT(TreeBelow(out_), ElementsAre("Docs", "Docs/Top.txt"));

  fs::remove_all(Utf8Path(out_));
  options.case_sensitive_names = 1;
  printed.clear();
  EXPECT_EQ(unzip(1, includes, 0, nullptr, &options, &callbacks), 0);
  EXPECT_THAT(TreeBelow(out_), IsEmpty());
  EXPECT_THAT(printed, ElementsAre("no entry named docs\\TOP.TXT"));

  // Excluded names are left out of a whole-archive run.
  const char* excludes[UNZIP_NAME_LIST_SLOTS] = {"other.txt", ""};
  EXPECT_EQ(unzip(0, nullptr, 1, excludes, &options, &callbacks), 1);
  EXPECT_THAT(TreeBelow(out_), ElementsAre("Docs", "Docs/Top.txt"));

  // No callbacks and no target folder: refused, without a crash.
  options.target_folder = nullptr;
  EXPECT_EQ(unzip(0, nullptr, 0, nullptr, &options, nullptr), 0);
}

TEST_F(UnzipLibraryTest, EncryptedEntriesNeedTheRightPassword) {
  std::string archive =
      Zip({{"a.txt", "first secret"}, {"b.txt", "second secret"}}, {"-P", "letmein"});
  unzip_.SetZipFile(archive);
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 2);
  EXPECT_TRUE(unzip_.FileEncrypted(1));

  events_.password_to_give = "wrong";
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_THAT(TreeBelow(out_), IsEmpty());
  EXPECT_TRUE(events_.Told("wrong password"));

  events_.password_requests = 0;
  events_.password_to_give = "";
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_EQ(events_.password_requests, 1);  // declined once: not asked again in that run
  EXPECT_TRUE(events_.Told("no password given"));
  EXPECT_THAT(TreeBelow(out_), IsEmpty());

  events_.password_requests = 0;
  events_.password_to_give = " letmein ";
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(events_.password_requests, 1);  // the password that worked is tried first
  EXPECT_EQ(ReadFile(out_ + "/b.txt"), "second secret");
}

TEST_F(UnzipLibraryTest, PasswordsAreTakenUpTo254Bytes) {
  std::string password(254, 'k');
  password[0] = 'K';
  password[253] = 'Z';
  std::string archive = Zip({{"long.txt", "long"}}, {"-P", password}, {"long.txt"});
  events_.password_to_give = password + std::string(46, 'y');  // 300 characters
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(ReadFile(out_ + "/long.txt"), "long");
}

TEST_F(UnzipLibraryTest, OnlyTheSelectedEntriesAreExtracted) {
  std::string archive = Zip({{"readme.txt", "r"},
                             {"bin/tool.exe", "t"},
                             {"bin/other.exe", "o"},
                             {"docs/a.txt", "a"},
                             {"docs/b.txt", "b"},
                             {"z.txt", "z"}});
  unzip_.SetZipFile(archive);
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 6);
  for (int i = 1; i <= unzip_.FileCount(); ++i) {
    std::string name = unzip_.Filename(i);
    unzip_.SetFileSelected(i, name == "readme.txt" || name == "tool.exe");
  }
  unzip_.SetUseFolderNames(true);
  unzip_.SetUnzipFolder(out_);
  EXPECT_TRUE(unzip_.Unzip());
  EXPECT_THAT(TreeBelow(out_), ElementsAre("bin", "bin/tool.exe", "readme.txt"));
  EXPECT_THAT(events_.cancels, ::testing::UnorderedElementsAre("readme.txt", "bin\\tool.exe"));
}

TEST_F(UnzipLibraryTest, MoreThan1023SelectedEntriesFailWithNine) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < 1025; ++i) files["f" + std::to_string(i)] = "";
  std::string archive = Zip(files);
  unzip_.SetZipFile(archive);
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 1025);
  unzip_.SetFileSelected(1, false);
  unzip_.SetUnzipFolder(out_);
  try {
    unzip_.Unzip();
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureSubscriptOutOfRange);
    EXPECT_THAT(failure.source(), ::testing::EndsWith(".VBUnzip"));
  }
  EXPECT_FALSE(FileIsThere(out_));
}

TEST_F(UnzipLibraryTest, AMissingLibraryFileIsRaised) {
  std::string archive = Zip({{"a.txt", "a"}});
  std::string copy = dir_.File("appdir");
  const std::string library = SharedLibraryFileName("vbuzip10");
  fs::create_directories(Utf8Path(copy));
  fs::copy_file(Utf8Path(LibraryFolder() + PathSeparator() + library),
                Utf8Path(copy + PathSeparator() + library + ".away"));
  mUnzip::SetLibraryDirectory(copy);
  try {
    Extract(archive, out_);
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureFileNotFound);
    EXPECT_EQ(failure.description(), "File not found: " + copy + PathSeparator() + library);
    EXPECT_THAT(failure.source(), ::testing::EndsWith(".VBUnzip"));
  }
  EXPECT_FALSE(FileIsThere(out_));
}

TEST_F(UnzipLibraryTest, DamagedDataLeavesNoFileUnderItsName) {
  std::string archive = dir_.File("damaged.zip");
  MakeFiles(src_, {{"big.txt", Words(200000, 2)}, {"small.txt", "small"}});
  ASSERT_TRUE(RunZip(src_, {archive, "big.txt", "small.txt"}));
  std::string bytes = ReadFile(archive);
  bytes[2000] = static_cast<char>(bytes[2000] ^ 0x5a);
  WriteFile(archive, bytes);

  unzip_.SetTestZip(true);
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_FALSE(FileIsThere(out_));  // a test writes nothing
  unzip_.SetTestZip(false);

  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("small.txt"));  // no big.txt, no temporary file
  EXPECT_TRUE(events_.Told("big.txt"));

  WriteFile(dir_.File("garbage.zip"), "this is no archive at all");
  EXPECT_FALSE(Extract(dir_.File("garbage.zip"), out_));
  EXPECT_TRUE(events_.Told("cannot read the archive"));
  EXPECT_FALSE(Extract(dir_.File("missing.zip"), out_));

  std::string good = dir_.File("good.zip");
  ASSERT_TRUE(RunZip(src_, {good, "small.txt"}));
  unzip_.SetTestZip(true);
  EXPECT_TRUE(Extract(good, dir_.File("not-made")));
  EXPECT_FALSE(FileIsThere(dir_.File("not-made")));
}

TEST_F(UnzipLibraryTest, ExistingFilesAreReplacedOnlyAsTheOptionsAllow) {
  std::string archive = Zip({{"a.txt", "new"}, {"b.txt", "new"}});
  struct Case {
    bool overwrite, prompt;
    std::int32_t answer;
    bool result;
    std::size_t prompts;
    const char* a;
    const char* b;
  };
  for (const Case& c :
       {Case{false, false, 0, false, 0, "old", "old"}, Case{true, false, 0, true, 0, "new", "new"},
        Case{false, true, 100, false, 2, "old", "old"},
        Case{false, true, 102, true, 2, "new", "new"},
        Case{false, true, 103, true, 1, "new", "new"},
        Case{false, true, 104, false, 1, "old", "old"}}) {
    SCOPED_TRACE(::testing::PrintToString(c.overwrite) + " " + std::to_string(c.answer));
    MakeFiles(out_, {{"a.txt", "old"}, {"b.txt", "old"}});
    events_.overwrites.clear();
    events_.overwrite_answer = c.answer;
    unzip_.SetOverwriteExisting(c.overwrite);
    unzip_.SetPromptToOverwrite(c.prompt);
    EXPECT_EQ(Extract(archive, out_), c.result);
    EXPECT_EQ(events_.overwrites.size(), c.prompts);
    EXPECT_EQ(ReadFile(out_ + "/a.txt"), c.a);
    EXPECT_EQ(ReadFile(out_ + "/b.txt"), c.b);
  }

  // Newer files only: a newer copy on disk stays, an older one is replaced.
  unzip_.SetOverwriteExisting(false);
  unzip_.SetPromptToOverwrite(false);
  unzip_.SetExtractOnlyNewer(true);
  MakeFiles(out_, {{"a.txt", "old"}, {"b.txt", "old"}});
  SetModified(out_ + "/a.txt", std::time(nullptr) + 86400);
  SetModified(out_ + "/b.txt", std::time(nullptr) - 86400 * 400);
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(ReadFile(out_ + "/a.txt"), "old");
  EXPECT_EQ(ReadFile(out_ + "/b.txt"), "new");

  // A folder in the way is never replaced.
  unzip_.SetExtractOnlyNewer(false);
  unzip_.SetOverwriteExisting(true);
  fs::remove(Utf8Path(out_ + "/a.txt"));
  fs::create_directories(Utf8Path(out_ + "/a.txt/inside"));
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_TRUE(FileIsThere(out_ + "/a.txt/inside"));
}

TEST_F(UnzipLibraryTest, FilesTakeTheirTimesFromTheArchive) {
  // Times in the archive are local times in two-second steps.
  const std::time_t summer = LocalTime(2019, 6, 7, 8, 9) + 10;
  const std::time_t winter = LocalTime(1999, 12, 31, 23, 58) + 58;
  std::string archive = dir_.File("times.zip");
  CraftArchive(archive, {CraftedEntry("summer.txt", "s").ModifiedAt(summer),
                         CraftedEntry("docs/winter.txt", "w").ModifiedAt(winter)});
  unzip_.SetUseFolderNames(true);
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(ModifiedTime(out_ + "/summer.txt"), summer);
  EXPECT_EQ(ModifiedTime(out_ + "/docs/winter.txt"), winter);

  // A copy on disk newer than the archive's is kept when only newer files are asked for.
  MakeFiles(out_, {{"summer.txt", "mine"}});
  SetModified(out_ + "/summer.txt", summer + 2);
  unzip_.SetExtractOnlyNewer(true);
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(ReadFile(out_ + "/summer.txt"), "mine");
  SetModified(out_ + "/summer.txt", summer - 2);
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(ReadFile(out_ + "/summer.txt"), "s");
  EXPECT_EQ(ModifiedTime(out_ + "/summer.txt"), summer);
}

TEST_F(UnzipLibraryTest, NamesAndLineEndingsAreConvertedWhenAsked) {
  std::string archive = Zip({{"my notes.txt", "a\nb\r\nc\rd\n"}});
  unzip_.SetSpaceToUnderScore(true);
  unzip_.SetConvertCRToCRLF(true);
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("my_notes.txt"));
  EXPECT_EQ(ReadFile(out_ + "/my_notes.txt"), "a\r\nb\r\nc\r\nd\r\n");
}

TEST_F(UnzipLibraryTest, CancellingStopsBeforeTheNamedEntry) {
  MakeFiles(src_, {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
  std::string archive = dir_.File("three.zip");
  ASSERT_TRUE(RunZip(src_, {archive, "one.txt", "two.txt", "three.txt"}));
  events_.cancel_at = "two.txt";
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("one.txt"));
  EXPECT_THAT(events_.cancels, ElementsAre("one.txt", "two.txt"));
}

}  // namespace
}  // namespace rariduze::testing
