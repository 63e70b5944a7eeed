// The binding and the object against a scripted stand-in library, which records the records it
// receives and calls the callbacks with chosen values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "platform/dynamic_library.h"
#include "platform/failure.h"
#include "platform/system_paths.h"
#include "tests/support/host.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/recording_events.h"
#include "unzip/unzip_binding.h"
#include "unzip/unzip_object.h"

namespace rariduze {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TestDir;
using testing::WriteFile;

class UnzipBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mUnzip::SetLibraryDirectory(testing::PlatformPath(SCRIPTED_LIBRARY_DIR));
  }
  void TearDown() override { mUnzip::SetLibraryDirectory(""); }

  // A script for the stand-in library; returns its path, the archive path to give.
  std::string Script(const std::string& steps) {
    std::string path = dir_.File("script" + std::to_string(++scripts_));
    WriteFile(path, steps);
    return path;
  }
  // What the stand-in noted during the calls made with script.
  std::vector<std::string> Seen(const std::string& script) {
    std::vector<std::string> lines;
    std::string text = ReadFile(script + ".seen");
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }
  bool SawLine(const std::string& script, const std::string& line) {
    auto lines = Seen(script);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TestDir dir_{"unzip-binding"};
  int scripts_ = 0;
  testing::RecordingEvents events_;
};

// The program's name without its extension, then ".VBUnzip".
std::string VBUnzipSource() { return "unzip_binding_test.VBUnzip"; }

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
struct ReleasingEvents : UnzipEvents {
  cUnzip* unzip = nullptr;
  std::vector<std::string> messages;
  std::unique_ptr<std::array<unsigned char, sizeof(cUnzip)>> reused;

  void Progress(std::int32_t, const std::string& sMsg) override {
    messages.push_back(sMsg);
    if (unzip == nullptr) return;
    delete unzip;
    unzip = nullptr;
    reused = std::make_unique<std::array<unsigned char, sizeof(cUnzip)>>();
    reused->fill(0x5a);
  }
};

TEST_F(UnzipBindingTest, AHandlerMayReleaseTheObjectDuringItsRun) {
  for (bool listing : {false, true}) {
    SCOPED_TRACE(listing);
    ReleasingEvents events;
    events.unzip = new cUnzip;
    events.unzip->SetEventHandler(&events);
    std::string script = Script(
        "print 5 first\nrecord\nprint 6 second\nlist 1 1 100 1 1 2020 0 0 45 a.txt "
        "Stored 0 32\nreturn 1\n");
    events.unzip->SetZipFile(script);
    cUnzip* released = events.unzip;
    if (listing) {
      EXPECT_EQ(released->Directory(), 0);
    } else {
      EXPECT_TRUE(released->Unzip());
    }
    // The run went on to its end, raising nothing more, and wrote nothing into the object.
    EXPECT_THAT(events.messages, ElementsAre("first"));
    EXPECT_TRUE(SawLine(script, "archive " + script));
    ASSERT_NE(events.reused, nullptr);
    EXPECT_TRUE(std::all_of(events.reused->begin(), events.reused->end(),
                            [](unsigned char byte) { return byte == 0x5a; }));
    EXPECT_EQ(mUnzip::CurrentUnzip(), nullptr);
  }
}

TEST_F(UnzipBindingTest, PrintCallbackRaisesProgressWithinItsBounds) {
  cUnzip unzip;
  unzip.SetEventHandler(&events_);
  unzip.SetZipFile(
      Script("print 1 a\nprint 5 a/b/c\nprint 32000 big\nprint 31999 big\n"
             "print 3 x/y/z\n"));
  unzip.Unzip();
  ASSERT_EQ(events_.progress.size(), 3u);
  EXPECT_EQ(events_.progress[0], "a\\b\\c");
  EXPECT_EQ(events_.progress[1].size(), 31999u);
  EXPECT_EQ(events_.progress[2], "x\\y");  // exactly count bytes
}

TEST_F(UnzipBindingTest, ReplaceCallbackAnswersWhatTheHandlerLeft) {
  cUnzip unzip;
  std::string script = Script("replace a/b.txt\n");
  unzip.SetZipFile(script);
  unzip.Unzip();  // no handler
  unzip.SetEventHandler(&events_);
  events_.overwrite_answer = 103;
  unzip.Unzip();
  events_.overwrite_answer = 102;
  events_.throw_in_overwrite = true;
  unzip.Unzip();
  EXPECT_THAT(Seen(script), ElementsAre("replace 100", "replace 103", "replace 102"));
  EXPECT_THAT(events_.overwrites, ElementsAre("a\\b.txt", "a\\b.txt"));
}

TEST_F(UnzipBindingTest, HandlerFailuresDoNotEndTheRun) {
  cUnzip unzip;
  unzip.SetEventHandler(&events_);
  events_.throw_in_progress = true;
  unzip.SetZipFile(Script("print 3 one\nprint 3 two\nreturn 1\n"));
  EXPECT_TRUE(unzip.Unzip());
  EXPECT_THAT(events_.progress, ElementsAre("one", "two"));
}

TEST_F(UnzipBindingTest, PasswordIsBoundedByBothLimitsAndAlwaysTerminated) {
  cUnzip unzip;
  unzip.SetEventHandler(&events_);
  events_.password_to_give = "  " + std::string(300, 's') + "  ";
  std::string script = Script("password 256\npassword 10\npassword 1\n");
  unzip.SetZipFile(script);
  unzip.Unzip();
  EXPECT_THAT(Seen(script),
              ElementsAre("password 0 terminated 1 guard 1 text " + std::string(254, 's'),
                          "password 0 terminated 1 guard 1 text " + std::string(9, 's'),
                          "password 1 terminated 0 guard 1 text "));
}

TEST_F(UnzipBindingTest, DeclinedPasswordIsNotAskedAgainInTheSameRun) {
  cUnzip unzip;
  unzip.SetEventHandler(&events_);
  events_.password_to_give = "   ";  // blanks only: none given
  std::string script = Script("password 256\npassword 256\n");
  unzip.SetZipFile(script);
  unzip.Unzip();
  EXPECT_EQ(events_.password_requests, 1);
  EXPECT_TRUE(mUnzip::PasswordDeclined());
  events_.password_to_give = "right";
  unzip.Unzip();  // the next run asks again, each time
  EXPECT_EQ(events_.password_requests, 3);
  EXPECT_THAT(Seen(script), ElementsAre("password 1 terminated 0 guard 1 text ",
                                        "password 1 terminated 0 guard 1 text ",
                                        "password 0 terminated 1 guard 1 text right",
                                        "password 0 terminated 1 guard 1 text right"));
}

TEST_F(UnzipBindingTest, ServiceCallbackStopsWhenTheHandlerCancels) {
  cUnzip unzip;
  std::string script =
      Script("service 9 a/one.txt\nservice 8 two.txt\nservice 1 x\nservice 3 abcdef\n");
  unzip.SetZipFile(script);
  unzip.SetEventHandler(&events_);
  events_.cancel_at = "two.txt";
  unzip.Unzip();
  EXPECT_THAT(Seen(script), ElementsAre("service 0", "service 1", "service 0", "service 0"));
  // The name is read within count bytes; count 1 raises nothing.
  EXPECT_THAT(events_.cancels, ElementsAre("a\\one.txt", "two.txt", "abc"));
}

TEST_F(UnzipBindingTest, MoreThan1023IncludeNamesFailWithNine) {
  cUnzip unzip;
  unzip.SetEventHandler(&events_);
  std::string script = Script("listmany 1025\nrecord\n");
  unzip.SetZipFile(script);
  unzip.Directory();
  ASSERT_EQ(unzip.FileCount(), 1025);
  unzip.SetFileSelected(1, false);  // 1024 selected
  try {
    unzip.Unzip();
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureSubscriptOutOfRange);
    EXPECT_EQ(failure.description(), "Subscript out of range");
    EXPECT_EQ(failure.source(), VBUnzipSource());
  }
  EXPECT_EQ(mUnzip::CurrentUnzip(), nullptr);
  EXPECT_EQ(unzip.FileCount(), 1025);

  unzip.SetFileSelected(2, false);  // 1023 still fit, with the end slot last
  std::filesystem::remove(script + ".seen");
  unzip.Unzip();
  EXPECT_TRUE(SawLine(script, "include_count 1023"));
  EXPECT_TRUE(SawLine(script, "include 1022 \"f1025.txt\""));
  EXPECT_TRUE(SawLine(script, "include 1023 \"\""));

  UnzipOptionsRecord options;
  EXPECT_THROW(mUnzip::RunUnzip(unzip, options, 2, {"only one"}, 0, {}), RuntimeFailure);
  EXPECT_THROW(mUnzip::RunUnzip(unzip, options, 0, {}, -1, {}), RuntimeFailure);
}

TEST_F(UnzipBindingTest, MissingLibraryOrEntryPointIsRaisedWithTheBindingsSource) {
  cUnzip unzip;
  unzip.SetZipFile(Script("return 1\n"));
  mUnzip::SetLibraryDirectory(dir_.path());
  try {
    unzip.Unzip();
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureFileNotFound);
    EXPECT_EQ(failure.description(), "File not found: " + dir_.path() + PathSeparator() +
                                         SharedLibraryFileName("vbuzip10"));
    EXPECT_EQ(failure.source(), VBUnzipSource());
  }
  EXPECT_EQ(mUnzip::CurrentUnzip(), nullptr);

  mUnzip::SetLibraryDirectory(testing::PlatformPath(HOLLOW_LIBRARY_DIR));
  try {
    unzip.Directory();
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), mUnzip::kFailureEntryPointMissing);
    EXPECT_THAT(failure.description(), HasSubstr("Wiz_SingleEntryUnzip"));
    EXPECT_EQ(failure.source(), VBUnzipSource());
  }

  // GetVersion has no trap of its own: the failure keeps the runtime's source.
  mUnzip::SetLibraryDirectory(dir_.path());
  std::int32_t major = 0, minor = 0, revision = 0;
  UnzipDate date{};
  std::string extra;
  try {
    unzip.GetVersion(major, minor, revision, date, extra);
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureFileNotFound);
    EXPECT_EQ(failure.source(), "RARiduze");
  }
}

TEST_F(UnzipBindingTest, GetVersionReadsTheInterfaceVersionAndBetaLevel) {
  cUnzip unzip;
  std::int32_t major = 0, minor = 0, revision = 0;
  UnzipDate date = UnzipDate{std::chrono::seconds(12345)};
  std::string extra;
  unzip.GetVersion(major, minor, revision, date, extra);
  EXPECT_EQ(extra, "ok        ");  // the record arrived prepared; padded to ten
  EXPECT_EQ(major, 3);
  EXPECT_EQ(minor, 4);
  EXPECT_EQ(revision, 5);
  EXPECT_EQ(date, UnzipDate{std::chrono::seconds(12345)});
}

TEST_F(UnzipBindingTest, EntryGettersRefuseIndexesOutsideTheTable) {
  cUnzip unzip;
  EXPECT_EQ(testing::FailureNumberOf([&] { unzip.Filename(1); }), kFailureSubscriptOutOfRange);
  unzip.SetZipFile(
      Script("list 7 4 50 1 1 2020 0 0 45 a.txt Deflated 0 32\n"
             "list 50 1 -3 1 1 2020 0 0 45 b.txt Deflated 0 32\n"
             "list 2147483647 1 100 1 1 2020 0 0 45 c.txt Deflated 0 32\n"));
  unzip.Directory();
  EXPECT_EQ(testing::FailureNumberOf([&] { unzip.Filename(0); }), kFailureSubscriptOutOfRange);
  EXPECT_EQ(testing::FailureNumberOf([&] { unzip.FileDate(4); }), kFailureSubscriptOutOfRange);
  EXPECT_EQ(testing::FailureNumberOf([&] { unzip.SetFileSelected(4, false); }),
            kFailureSubscriptOutOfRange);
  EXPECT_EQ(unzip.FilePackedSize(1), 3);
  EXPECT_EQ(unzip.FilePackedSize(2), -1);
  EXPECT_EQ(testing::FailureNumberOf([&] { unzip.FilePackedSize(3); }), kFailureOverflow);
}

TEST(UnzipSplitEntryPathTest, SplitsAtTheLastSeparator) {
  std::string text = "a/b/c";
  EXPECT_EQ(mUnzip::SlashesToBackslashes(text), 5);
  EXPECT_EQ(text, "a\\b\\c");
  std::string plain = "abc";
  EXPECT_EQ(mUnzip::SlashesToBackslashes(plain), 1);

  std::string path = "docs/";
  std::string folder = "kept";
  mUnzip::SplitEntryPath(path, folder);
  EXPECT_EQ(folder, "docs");
  EXPECT_EQ(path, "");
  path = std::string("top.txt\0junk/x", 14);
  folder = "kept";
  mUnzip::SplitEntryPath(path, folder);
  EXPECT_EQ(path, "top.txt");
  EXPECT_EQ(folder, "kept");
}

}  // namespace
}  // namespace rariduze
