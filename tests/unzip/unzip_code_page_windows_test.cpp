// The unzip library's interface in the process's ANSI code page. This test program carries no
// manifest, so it runs in the code page that GetACP names, Wine's default (1252 for an English
// locale): a path or name with a character of that code page reaches the library and comes back
// whole; one with a character outside it is refused with a message naming the code page.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/failure.h"
#include "tests/unzip/unzip_library_fixture.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// text (UTF-8) in code page, as the system converts it; nothing when it cannot hold it all.
std::optional<std::string> InCodePage(const std::string& text, UINT code_page) {
  std::wstring wide = Utf8Path(text).wstring();
  BOOL used_default = FALSE;
  int length =
      ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &used_default);
  if (length <= 0 || used_default) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        narrow.data(), length, nullptr, nullptr);
  return narrow;
}

// Letters of several scripts (UTF-8): one that the code page holds, one that it cannot.
struct Letters {
  std::string held;
  std::string outside;
};
std::optional<Letters> LettersFor(UINT code_page) {
  // é, ü, Ж, α, 中, あ, ก
  const char* const candidates[] = {"\xC3\xA9",     "\xC3\xBC",     "\xD0\x96",    "\xCE\xB1",
                                    "\xE4\xB8\xAD", "\xE3\x81\x82", "\xE0\xB8\x81"};
  Letters letters;
  for (const char* candidate : candidates) {
    std::string& slot = InCodePage(candidate, code_page) ? letters.held : letters.outside;
    if (slot.empty()) slot = candidate;
  }
  if (letters.held.empty() || letters.outside.empty()) return std::nullopt;
  return letters;
}

class UnzipCodePageTest : public UnzipLibraryTest {
 protected:
  void SetUp() override {
    UnzipLibraryTest::SetUp();
    code_page_ = ::GetACP();
    if (code_page_ == CP_UTF8) GTEST_SKIP() << "the code page is UTF-8: it holds every path";
    std::optional<Letters> letters = LettersFor(code_page_);
    if (!letters) GTEST_SKIP() << "no letters to try in code page " << code_page_;
    held_ = letters->held;
    outside_letter_ = letters->outside;
  }

  // What the binding's failure says of a text the code page cannot hold.
  std::string Refusal(const std::string& what, const std::string& text) const {
    return what + " \"" + text + "\" cannot be handed to the unzip library: the system code page " +
           std::to_string(code_page_) + " cannot hold all of its characters";
  }

  UINT code_page_ = 0;
  std::string held_;
  std::string outside_letter_;
};

TEST_F(UnzipCodePageTest, ThePathsOfAnExtractionReachTheLibraryInTheCodePage) {
  const std::string archive =
      Zip({{"caf" + held_ + "/r" + held_ + ".txt", "held"}, {"plain.txt", "plain"}});
  const std::string renamed = dir_.File("archive " + held_ + ".zip");
  fs::rename(Utf8Path(archive), Utf8Path(renamed));
  const std::string folder = dir_.File("out " + held_);

  unzip_.SetUseFolderNames(true);
  unzip_.SetZipFile(renamed);
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 2) << ::testing::PrintToString(events_.progress);
  const int held_entry = unzip_.Filename(1) == "plain.txt" ? 2 : 1;
  EXPECT_EQ(unzip_.Filename(held_entry), "r" + held_ + ".txt");
  EXPECT_EQ(unzip_.FileDirectory(held_entry), "caf" + held_);
  // Only that entry: its name goes to the library as an include name.
  unzip_.SetFileSelected(3 - held_entry, false);
  unzip_.SetUnzipFolder(folder);
  EXPECT_TRUE(unzip_.Unzip()) << ::testing::PrintToString(events_.progress);
  EXPECT_THAT(TreeBelow(folder), ElementsAre("caf" + held_, "caf" + held_ + "/r" + held_ + ".txt"));
  EXPECT_EQ(ReadFile(folder + "/caf" + held_ + "/r" + held_ + ".txt"), "held");
  EXPECT_TRUE(events_.Told("extracted caf" + held_ + "\\r" + held_ + ".txt"));
  EXPECT_THAT(events_.cancels, ElementsAre("caf" + held_ + "\\r" + held_ + ".txt"));
}

TEST_F(UnzipCodePageTest, APathTheCodePageCannotHoldIsRefusedAndNothingIsWritten) {
  const std::string archive = Zip({{"a.txt", "a"}});
  const std::string renamed = dir_.File("archive " + outside_letter_ + ".zip");
  fs::copy_file(Utf8Path(archive), Utf8Path(renamed));
  const std::string folder = dir_.File("out " + outside_letter_);

  unzip_.SetZipFile(renamed);
  unzip_.SetUnzipFolder(out_);
  try {
    unzip_.Unzip();
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureBadFileName);
    EXPECT_EQ(failure.description(), Refusal("the archive path", renamed));
    EXPECT_THAT(failure.source(), ::testing::EndsWith(".VBUnzip"));
  }
  unzip_.SetZipFile(archive);
  unzip_.SetUnzipFolder(folder);
  try {
    unzip_.Unzip();
    FAIL() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureBadFileName);
    EXPECT_EQ(failure.description(), Refusal("the target folder", folder));
  }
  EXPECT_EQ(mUnzip::CurrentUnzip(), nullptr);
  EXPECT_THAT(events_.progress, IsEmpty());  // the library was not called
  EXPECT_FALSE(FileIsThere(folder));
  EXPECT_FALSE(FileIsThere(out_));
}

TEST_F(UnzipCodePageTest, AnEntryNameTheCodePageCannotHoldIsWrittenButNotListed) {
  std::string archive = dir_.File("names.zip");
  const std::string name = "x" + outside_letter_ + ".txt";
  CraftArchive(archive, {{"plain.txt", "plain"}, {name, "outside"}});

  unzip_.SetZipFile(archive);
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 1);
  EXPECT_EQ(unzip_.Filename(1), "plain.txt");
  EXPECT_TRUE(events_.Told("error: entry 2 (x?.txt) is not listed: the system code page " +
                           std::to_string(code_page_) + " cannot hold its name"))
      << ::testing::PrintToString(events_.progress);

  // The library writes every name as the archive has it, whatever the caller's code page; only
  // its messages show "?" where the code page has no letter.
  events_.progress.clear();
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("plain.txt", name));
  EXPECT_EQ(ReadFile(out_ + "/" + name), "outside");
  EXPECT_TRUE(events_.Told("extracted x?.txt")) << ::testing::PrintToString(events_.progress);
}

// The binding against the scripted stand-in, which notes the bytes it receives.
class UnzipCodePageBindingTest : public UnzipCodePageTest {
 protected:
  void SetUp() override {
    UnzipCodePageTest::SetUp();
    mUnzip::SetLibraryDirectory(PlatformPath(SCRIPTED_LIBRARY_DIR));
  }
  std::string Script(const std::string& steps) {
    std::string path = dir_.File("script" + std::to_string(++scripts_));
    WriteFile(path, steps);
    return path;
  }
  std::string Ansi(const std::string& utf8) const { return InCodePage(utf8, code_page_).value(); }

  int scripts_ = 0;
};

TEST_F(UnzipCodePageBindingTest, TextsGoToTheLibraryInTheCodePageAndComeBackAsUtf8) {
  const std::string word = "caf" + held_;
  const std::string ansi = Ansi(word);
  std::string script = Script("list 1 1 100 1 1 2020 0 0 45 " + ansi + "/" + ansi +
                              ".txt Stored 0 32\n"
                              "list 1 1 100 1 1 2020 0 0 45 other.txt Stored 0 32\n"
                              "record\nprint " +
                              std::to_string(ansi.size()) + " " + ansi + "\nreplace " + ansi +
                              "\nservice 9 " + ansi + "\npassword 256\n");
  events_.password_to_give = word;
  unzip_.SetZipFile(script);
  unzip_.SetUnzipFolder("C:\\" + word);
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 2);
  EXPECT_EQ(unzip_.FileDirectory(1), word);
  EXPECT_EQ(unzip_.Filename(1), word + ".txt");
  unzip_.SetFileSelected(2, false);
  // What the extraction alone hands over and raises.
  fs::remove(Utf8Path(script + ".seen"));
  events_ = RecordingEvents();
  events_.password_to_give = word;
  unzip_.Unzip();
  const std::string seen = ReadFile(script + ".seen");
  EXPECT_THAT(seen, HasSubstr("include 0 \"" + ansi + "/" + ansi + ".txt\"\n"));
  EXPECT_THAT(seen, HasSubstr("target \"C:\\" + ansi + "\"\n"));
  EXPECT_THAT(seen, HasSubstr("password 0 terminated 1 guard 1 text " + ansi + "\n"));
  EXPECT_THAT(events_.progress, ElementsAre(word));
  EXPECT_THAT(events_.overwrites, ElementsAre(word));
  EXPECT_THAT(events_.cancels, ElementsAre(word));
}

TEST_F(UnzipCodePageBindingTest, APasswordTheCodePageCannotHoldCountsAsNoneGiven) {
  std::string script = Script("password 256\npassword 256\nreturn 1\n");
  events_.password_to_give = "pass" + outside_letter_;
  unzip_.SetZipFile(script);
  EXPECT_TRUE(unzip_.Unzip());
  // Asked once; then declined for the rest of the run, as for a password left empty.
  EXPECT_EQ(events_.password_requests, 1);
  EXPECT_EQ(ReadFile(script + ".seen"),
            "password 1 terminated 0 guard 1 text \npassword 1 terminated 0 guard 1 text \n");
}

}  // namespace
}  // namespace rariduze::testing
