// The binding's callbacks, limits and loading against the scripted stand-in library, which
// calls the callbacks with chosen values.
#include "tests/unzip/unzip_binding_fixture.h"

namespace rariduze {
namespace {

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
