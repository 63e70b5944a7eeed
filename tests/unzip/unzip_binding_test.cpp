// The binding and the object against a scripted stand-in library, which records the records it
// receives: options, selections, listings.
#include "tests/unzip/unzip_binding_fixture.h"

namespace rariduze {
namespace {

TEST_F(UnzipBindingTest, ExtractionWithoutNamesHandsOverEmptyListsTheArchiveAndTheFolder) {
  cUnzip unzip;
  std::string script = Script("record\nreturn 1\n");
  unzip.SetZipFile(script);
  unzip.SetUnzipFolder("/some/folder");
  EXPECT_TRUE(unzip.Unzip());
  EXPECT_THAT(Seen(script), ::testing::IsSupersetOf(std::vector<std::string>{
                                "include_count 0", "include 0 \"\"", "include 1 null",
                                "include 1023 null", "exclude_count 0", "exclude 0 \"\"",
                                "exclude 1 null", "archive " + script, "target \"/some/folder\""}));
  EXPECT_EQ(mUnzip::CurrentUnzip(), &unzip);
  // A folder never assigned arrives as a null pointer.
  cUnzip unassigned;
  unassigned.SetZipFile(script);
  unassigned.Unzip();
  EXPECT_TRUE(SawLine(script, "target null"));
}

TEST_F(UnzipBindingTest, EveryOptionReachesTheLibraryInAFieldOfItsOwn) {
  // The option lines the library receives for an extraction with one option changed.
  auto options_sent = [&](const std::function<void(cUnzip&)>& change) {
    cUnzip unzip;
    std::string script = Script("record\n");
    unzip.SetZipFile(script);
    change(unzip);
    unzip.Unzip();
    std::vector<std::string> options;
    for (const std::string& line : Seen(script)) {
      if (line.starts_with("option ")) options.push_back(line);
    }
    return options;
  };
  struct Flag {
    void (cUnzip::*set)(bool);
    bool (cUnzip::*get)() const;
  };
  const std::vector<Flag> flags = {
      {&cUnzip::SetExtractOnlyNewer, &cUnzip::ExtractOnlyNewer},
      {&cUnzip::SetSpaceToUnderScore, &cUnzip::SpaceToUnderScore},
      {&cUnzip::SetPromptToOverwrite, &cUnzip::PromptToOverwrite},
      {&cUnzip::SetTestZip, &cUnzip::TestZip},
      {&cUnzip::SetUseFolderNames, &cUnzip::UseFolderNames},
      {&cUnzip::SetOverwriteExisting, &cUnzip::OverwriteExisting},
      {&cUnzip::SetConvertCRToCRLF, &cUnzip::ConvertCRToCRLF},
      {&cUnzip::SetCaseSensitiveFileNames, &cUnzip::CaseSensitiveFileNames}};
  // Each change and how it should arrive: a flag turned on as 1 and turned off as 0, the
  // message level as its number.
  std::vector<std::pair<std::string, std::function<void(cUnzip&)>>> changes;
  for (const Flag& flag : flags) {
    const bool normal = (cUnzip().*flag.get)();
    changes.push_back({normal ? "0" : "1", [flag, normal](cUnzip& unzip) {
                         (unzip.*flag.set)(!normal);
                         EXPECT_EQ((unzip.*flag.get)(), !normal);
                       }});
  }
  changes.push_back({"7", [](cUnzip& unzip) { unzip.SetMessageLevel(7); }});

  const std::vector<std::string> normal = options_sent([](cUnzip&) {});
  std::set<std::string> fields;
  for (const auto& [value, change] : changes) {
    const std::vector<std::string> sent = options_sent(change);
    ASSERT_EQ(sent.size(), normal.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      if (sent[i] != normal[i]) changed.push_back(sent[i]);
    }
    ASSERT_EQ(changed.size(), 1u) << ::testing::PrintToString(changed);
    EXPECT_TRUE(changed[0].ends_with(" " + value)) << changed[0];
    EXPECT_TRUE(fields.insert(changed[0].substr(0, changed[0].rfind(' '))).second)
        << changed[0] << " carries a second option";
  }
}

TEST_F(UnzipBindingTest, ListingAsksForTheListOnlyWithAnEmptyFolderAndAlwaysAnswersZero) {
  cUnzip unzip;
  std::string script = Script("record\nreturn 5\n");
  unzip.SetZipFile(script);
  unzip.SetUnzipFolder("/ignored");
  EXPECT_EQ(unzip.Directory(), 0);
  EXPECT_TRUE(SawLine(script, "option 7 1"));
  EXPECT_TRUE(SawLine(script, "target \"\""));
}

TEST_F(UnzipBindingTest, UnzipAnswersWhetherTheLibraryReturnedNonZero) {
  cUnzip unzip;
  unzip.SetZipFile(Script("return 0\n"));
  EXPECT_FALSE(unzip.Unzip());
  unzip.SetZipFile(Script("return 7\n"));
  EXPECT_TRUE(unzip.Unzip());
}

TEST_F(UnzipBindingTest, EmptyZipFileReturnsFalseWithoutTouchingTheLibrary) {
  mUnzip::SetLibraryDirectory(dir_.File("no-library-here"));
  cUnzip unzip;
  unzip.SetEventHandler(&events_);
  EXPECT_FALSE(unzip.Unzip());
  unzip.SetZipFile("");
  EXPECT_FALSE(unzip.Unzip());
  EXPECT_TRUE(events_.progress.empty());
}

// Entries for readme.txt, bin/tool.exe, a folder entry and docs/a.txt.
const char kThreeFilesAndAFolder[] =
    "list 10 4 40 1 2 2020 3 4 45 readme.txt Deflated 11 32\n"
    "list 20 20 100 1 2 2020 3 4 45 bin/tool.exe Stored 22 32\n"
    "list 0 0 0 1 2 2020 3 4 100 docs/ Stored 0 32\n"
    "list 30 3 10 1 2 2020 3 4 45 docs/a.txt Deflated 33 69\n";

TEST_F(UnzipBindingTest, ASelectionPassesItsNamesInTableOrder) {
  cUnzip unzip;
  std::string script = Script(std::string(kThreeFilesAndAFolder) + "record\n");
  unzip.SetZipFile(script);
  unzip.Directory();
  ASSERT_EQ(unzip.FileCount(), 3);  // the folder entry is left out
  EXPECT_EQ(unzip.FileDirectory(3), "docs");
  unzip.SetFileSelected(3, false);
  EXPECT_FALSE(unzip.FileSelected(3));
  EXPECT_TRUE(unzip.FileSelected(1));
  std::filesystem::remove(script + ".seen");
  unzip.Unzip();
  EXPECT_THAT(Seen(script), ::testing::IsSupersetOf({"include_count 2", "include 0 \"readme.txt\"",
                                                     "include 1 \"bin/tool.exe\"", "include 2 \"\"",
                                                     "include 3 null"}));
}

TEST_F(UnzipBindingTest, ListingTwiceListsTwiceUntilZipFileIsAssigned) {
  cUnzip unzip;
  std::string script = Script(kThreeFilesAndAFolder);
  unzip.SetZipFile(script);
  unzip.Directory();
  unzip.Directory();
  EXPECT_EQ(unzip.FileCount(), 6);
  unzip.SetZipFile(script);
  EXPECT_EQ(unzip.FileCount(), 0);
  unzip.Directory();
  EXPECT_EQ(unzip.FileCount(), 3);
}

TEST_F(UnzipBindingTest, SelectingAllOrNothingAsksForTheWholeArchive) {
  cUnzip unzip;
  std::string script = Script(std::string(kThreeFilesAndAFolder) + "record\n");
  unzip.SetZipFile(script);
  unzip.Directory();
  std::filesystem::remove(script + ".seen");
  unzip.Unzip();
  EXPECT_TRUE(SawLine(script, "include_count 0"));
  for (int i = 1; i <= unzip.FileCount(); ++i) unzip.SetFileSelected(i, false);
  std::filesystem::remove(script + ".seen");
  unzip.Unzip();
  EXPECT_TRUE(SawLine(script, "include_count 0"));
  EXPECT_TRUE(SawLine(script, "include 0 \"\""));
}

TEST_F(UnzipBindingTest, ListCallbackFillsTheTable) {
  cUnzip unzip;
  unzip.SetZipFile(
      Script("list 1000 400 40 2 29 4 13 5 45 /top.txt Deflated 4294967295 32\n"
             "list 5 5 131071 13 1 99 0 0 45 docs/sub/readme.txt Stored 7 69\n"
             "list 0 0 0 1 1 2020 0 0 100 docs/ Stored 0 32\n"
             "list 1 1 100 1 32 2021 25 61 45 late.txt Stored 0 101\n"
             "list 1 1 100 1 1 2021 0 0 45 - Stored 0 32\n"
             "listlong 300\n"));
  unzip.Directory();
  ASSERT_EQ(unzip.FileCount(), 4);
  using namespace std::chrono;
  EXPECT_EQ(unzip.FileDirectory(1), "");
  EXPECT_EQ(unzip.Filename(1), "top.txt");
  EXPECT_EQ(unzip.FileSize(1), 1000);
  EXPECT_EQ(unzip.FileCompressionRatio(1), 40);
  EXPECT_EQ(unzip.FilePackedSize(1), 400);
  EXPECT_EQ(unzip.FileCompressionMethod(1), "Deflated");
  EXPECT_EQ(unzip.FileCRC(1), -1);
  EXPECT_FALSE(unzip.FileEncrypted(1));
  EXPECT_TRUE(unzip.FileSelected(1));
  EXPECT_EQ(unzip.FileDate(1), local_days{2004y / February / 29} + 13h + 5min);

  EXPECT_EQ(unzip.FileDirectory(2), "docs\\sub");
  EXPECT_EQ(unzip.Filename(2), "readme.txt");
  EXPECT_EQ(unzip.FileCompressionRatio(2), -1);  // low 16 bits, signed
  EXPECT_TRUE(unzip.FileEncrypted(2));
  EXPECT_EQ(unzip.FileDate(2), local_days{2000y / January / 1});  // month 13 of 1999

  // Day 32 and 25:61 carry on into February.
  EXPECT_EQ(unzip.Filename(3), "late.txt");
  EXPECT_EQ(unzip.FileDate(3), local_days{2021y / February / 2} + 2h + 1min);
  EXPECT_TRUE(unzip.FileEncrypted(3));  // 'e' has bit 0x40 too

  // A path is read no further than 256 bytes.
  EXPECT_EQ(unzip.Filename(4), std::string(256, 'p'));
}

TEST_F(UnzipBindingTest, ExtremeListDatesAreHeldToTheDatesATableCanShow) {
  cUnzip unzip;
  unzip.SetZipFile(
      Script("list 1 1 100 1 -2147483648 2020 0 0 45 early-day.txt Stored 0 32\n"
             "list 1 1 100 -2147483648 1 2020 0 0 45 early-month.txt Stored 0 32\n"
             "list 1 1 100 1 2147483647 2020 0 0 45 late-day.txt Stored 0 32\n"
             "list 1 1 100 2147483647 2147483647 32767 32767 32767 45 late-all.txt Stored 0 32\n"
             "list 1 1 100 12 31 9999 23 59 45 last.txt Stored 0 32\n"
             "list 1 1 100 1 -11000000 32767 0 0 45 back.txt Stored 0 32\n"));
  unzip.Directory();
  ASSERT_EQ(unzip.FileCount(), 6);
  using namespace std::chrono;
  const UnzipDate earliest = local_days{year(100) / January / 1};
  const UnzipDate latest = local_days{year(9999) / December / 31} + 23h + 59min;
  EXPECT_EQ(unzip.FileDate(1), earliest);
  EXPECT_EQ(unzip.FileDate(2), earliest);
  EXPECT_EQ(unzip.FileDate(3), latest);
  EXPECT_EQ(unzip.FileDate(4), latest);
  EXPECT_EQ(unzip.FileDate(5), latest);
  // A year far out that the days bring back into range counts on exactly.
  EXPECT_EQ(unzip.FileDate(6), local_days{year(32767) / January / 1} - days(11000001));
}

// Releases the object it serves at the first message, then takes memory of the same size and
// fills it, so that a write into the released object shows in that memory.
}  // namespace
}  // namespace rariduze
