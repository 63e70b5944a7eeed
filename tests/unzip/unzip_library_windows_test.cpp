// The unzip library's Windows target folder, through the real library under Wine: the names
// Windows would take to mean something else, links, names in any script, what already stands
// in the target folder.
#include <windows.h>
// After windows.h, which it needs.
#include <winioctl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tests/support/child_process.h"
#include "tests/unzip/unzip_library_fixture.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The type bits of a symbolic link and of a file in an archive made on a Unix system.
constexpr std::uint32_t kUnixLink = 0120777;
constexpr std::uint32_t kUnixFile = 0100644;

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

TEST_F(UnzipLibraryTest, NamesThatWindowsWouldTakeForSomethingElseAreRefused) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"C:drive.txt", "absolute path (a drive letter)"},
      {outside_ + "/escape.txt", "absolute path (a drive letter)"},
      {"\\\\server\\share\\unc.txt", "absolute path"},
      {"//server/share/unc.txt", "absolute path"},
      {"\\\\.\\COM1", "absolute path"},
      {"\\\\?\\" + outside_ + "\\device.txt", "absolute path"},
      {"../outside/climb.txt", "path leads outside the target folder"},
      {"ads.txt:hidden", "\":\" in a name (a drive or an alternate data stream)"},
      {"docs/ads.txt:$DATA", "\":\" in a name"},
      {"CON", "a reserved device name"},
      {"prn.txt", "a reserved device name"},
      {"Aux.tar.gz", "a reserved device name"},
      {"docs/NUL", "a reserved device name"},
      {"nul .txt", "a reserved device name"},
      {"COM1.log", "a reserved device name"},
      {"com9", "a reserved device name"},
      {"LPT1.dat", "a reserved device name"},
      {"lpt9.txt", "a reserved device name"},
      {"CON/inside.txt", "a reserved device name"},
      {"dot.", "a name ending in a dot or a blank"},
      {"blank ", "a name ending in a dot or a blank"},
      {"folder./inside.txt", "a name ending in a dot or a blank"},
      {"what?.txt", "a character that Windows does not allow in names"},
      {"a<b>.txt", "a character that Windows does not allow in names"},
      {"pipe|.txt", "a character that Windows does not allow in names"},
  };
  std::vector<CraftedEntry> entries = {{"good.txt", "fine"}, {"docs/fine.txt", "fine"}};
  for (const auto& [name, problem] : refused) entries.push_back({name, "x"});
  entries.push_back({"aux/", ""});  // a folder entry of a device's name
  std::string archive = dir_.File("names.zip");
  CraftArchive(archive, entries);

  unzip_.SetUseFolderNames(true);
  unzip_.SetOverwriteExisting(true);
  EXPECT_FALSE(Extract(archive, out_));
  // Nothing but the ordinary names: no stream beside a file, no device opened and written to.
  EXPECT_THAT(TreeBelow(out_), ElementsAre("docs", "docs/fine.txt", "good.txt"));
  EXPECT_EQ(ReadFile(out_ + "/good.txt"), "fine");
  for (const auto& [name, problem] : refused) {
    EXPECT_TRUE(events_.Told("refused " + Backslashed(name) + ": " + problem))
        << name << "\n"
        << ::testing::PrintToString(events_.progress);
  }
  EXPECT_TRUE(events_.Told("refused aux\\: a reserved device name"));

  // Without the folders every file goes to the top, under its last name, by the same rules.
  unzip_.SetUseFolderNames(false);
  events_.progress.clear();
  std::string flat = dir_.File("flat");
  EXPECT_FALSE(Extract(archive, flat));
  EXPECT_THAT(TreeBelow(flat), ElementsAre("fine.txt", "good.txt", "inside.txt"));
  EXPECT_TRUE(events_.Told("refused docs\\NUL: a reserved device name"));
  EXPECT_TRUE(events_.Told("refused docs\\ads.txt:$DATA: \":\" in a name"));
}

TEST_F(UnzipLibraryTest, NoLinkIsMadeFromAnArchive) {
  std::string archive = dir_.File("links.zip");
  CraftArchive(archive, {{"good.txt", "fine", kUnixFile},
                         {"inner", "good.txt", kUnixLink},
                         {"abs", outside_, kUnixLink},
                         {"abs/escape.txt", "inside", kUnixFile},
                         {"rel", "../outside", kUnixLink},
                         {"rel/escape.txt", "inside", kUnixFile}});
  unzip_.SetUseFolderNames(true);
  EXPECT_FALSE(Extract(archive, out_));
  // The links were refused, so the files meant to go through them landed in plain folders.
  EXPECT_THAT(TreeBelow(out_),
              ElementsAre("abs", "abs/escape.txt", "good.txt", "rel", "rel/escape.txt"));
  for (const std::string& path : {out_ + "/abs", out_ + "/rel"}) {
    DWORD attributes = ::GetFileAttributesW(Utf8Path(path).c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << path;
  }
  for (const char* name : {"inner", "abs", "rel"}) {
    EXPECT_TRUE(events_.Told(std::string("refused ") + name +
                             ": symbolic links are not made on this system"))
        << name;
  }
}

TEST_F(UnzipLibraryTest, NamesInAnyScriptAreWrittenAsTheArchiveHasThem) {
  std::string archive = dir_.File("scripts.zip");
  CraftArchive(archive,
               {// UTF-8, marked as such: Chinese, the euro sign, Greek.
                {"\xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC.txt", "utf-8"},
                {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1/\xC3\xBC.txt", "greek"},
                // Code page 437, unmarked: 0x81 is "ü", 0x94 "ö", 0x01 "☺".
                CraftedEntry("\x81"
                             "ber-\x94.txt",
                             "cp437")
                    .Cp437Name(),
                CraftedEntry("\x01.txt", "glyph").Cp437Name()});
  unzip_.SetUseFolderNames(true);
  EXPECT_TRUE(Extract(archive, out_)) << ::testing::PrintToString(events_.progress);
  EXPECT_THAT(TreeBelow(out_),
              ElementsAre("\xC3\xBC"
                          "ber-\xC3\xB6.txt",
                          "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1",
                          "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1/\xC3\xBC.txt",
                          "\xE2\x98\xBA.txt", "\xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC.txt"));
  EXPECT_EQ(ReadFile(out_ + "/\xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC.txt"), "utf-8");
  EXPECT_EQ(ReadFile(out_ + "/\xC3\xBC"
                            "ber-\xC3\xB6.txt"),
            "cp437");
  // The same names as Linux sees them below drive Z:, through the shell.
  ProgramRun run = RunProgram({"sh", "-c", "cd \"$0\" && ls", out_});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_THAT(run.output, HasSubstr("\xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC.txt\n"));
  EXPECT_THAT(run.output, HasSubstr("\xC3\xBC"
                                    "ber-\xC3\xB6.txt\n"));
}

// A junction at link pointing to target, as Windows makes them; false when the system cannot.
bool MakeJunction(const std::string& link, const std::string& target, std::string* why) {
  const std::wstring link_path = Utf8Path(link).wstring();
  const std::wstring substitute = L"\\??\\" + Utf8Path(target).wstring();
  if (!::CreateDirectoryW(link_path.c_str(), nullptr)) {
    *why = "CreateDirectoryW failed";
    return false;
  }
  HANDLE handle = ::CreateFileW(link_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *why = "the folder cannot be opened for a reparse point";
    return false;
  }
  // The mount point record: tag, lengths, then the substitute and print names, each ending in
  // a NUL.
  const std::size_t substitute_bytes = substitute.size() * sizeof(wchar_t);
  std::vector<char> record(8 + 8 + 2 * (substitute_bytes + sizeof(wchar_t)), '\0');
  auto put16 = [&record](std::size_t at, std::size_t value) {
    record[at] = static_cast<char>(value & 0xff);
    record[at + 1] = static_cast<char>((value >> 8) & 0xff);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(record.data(), &tag, sizeof tag);
  put16(4, record.size() - 8);
  put16(8, 0);                                    // substitute name offset
  put16(10, substitute_bytes);                    // its length
  put16(12, substitute_bytes + sizeof(wchar_t));  // print name offset
  put16(14, substitute_bytes);                    // its length
  std::memcpy(record.data() + 16, substitute.c_str(), substitute_bytes);
  std::memcpy(record.data() + 16 + substitute_bytes + sizeof(wchar_t), substitute.c_str(),
              substitute_bytes);
  DWORD returned = 0;
  BOOL made = ::DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, record.data(),
                                static_cast<DWORD>(record.size()), nullptr, 0, &returned, nullptr);
  DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  if (!made) {
    ::RemoveDirectoryW(link_path.c_str());
    *why = "FSCTL_SET_REPARSE_POINT fails with error " + std::to_string(error);
  }
  return made != 0;
}

TEST_F(UnzipLibraryTest, AJunctionInTheTargetFolderIsNeverFollowed) {
  std::filesystem::create_directories(Utf8Path(out_));
  std::string why;
  if (!MakeJunction(out_ + "\\pre", outside_, &why)) {
    GTEST_SKIP() << "this system makes no junctions: " << why;
  }
  std::string archive = Zip({{"pre/escape.txt", "x"}, {"good.txt", "fine"}});
  unzip_.SetUseFolderNames(true);
  unzip_.SetOverwriteExisting(true);
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_TRUE(
      events_.Told("refused pre\\escape.txt: pre\\ is a link or junction; nothing is "
                   "written through it"))
      << ::testing::PrintToString(events_.progress);
  EXPECT_EQ(ReadFile(out_ + "/good.txt"), "fine");
}

// Symbolic links made on the Linux side, which Wine shows as a reparse point (to a folder) or as
// an ordinary file (to a file); removed there again when the object goes, since under Wine the
// file system library cannot remove a folder in which a link outlives its target.
class LinuxLinks {
 public:
  // links: name in folder -> the path it leads to.
  LinuxLinks(std::string folder, const std::vector<std::pair<std::string, std::string>>& links)
      : folder_(std::move(folder)) {
    std::vector<std::string> argv = {"sh", "-c",
                                     "cd \"$0\" && while [ $# -gt 1 ]; do "
                                     "ln -s \"$2\" \"$1\" || exit 1; shift 2; done",
                                     folder_};
    for (const auto& [name, target] : links) {
      names_ += " '" + name + "'";
      argv.push_back(name);
      argv.push_back(UnixPath(target));
    }
    made_ = RunProgram(argv).exit_status == 0;
  }
  ~LinuxLinks() { RunShell(folder_, "rm -f" + names_); }
  LinuxLinks(const LinuxLinks&) = delete;
  LinuxLinks& operator=(const LinuxLinks&) = delete;

  bool made() const { return made_; }

 private:
  std::string folder_;
  std::string names_;
  bool made_ = false;
};

TEST_F(UnzipLibraryTest, ALinkInTheTargetFolderIsNeverFollowed) {
  MakeFiles(outside_, {{"kept.txt", "the user's own"}});
  std::filesystem::create_directories(Utf8Path(out_));
  LinuxLinks links(out_, {{"pre", outside_}, {"kept.txt", outside_ + "/kept.txt"}});
  ASSERT_TRUE(links.made());
  std::string archive = Zip({{"pre/escape.txt", "x"}, {"kept.txt", "from the archive"}});
  unzip_.SetUseFolderNames(true);
  unzip_.SetOverwriteExisting(true);
  EXPECT_FALSE(Extract(archive, out_));
  EXPECT_TRUE(
      events_.Told("refused pre\\escape.txt: pre\\ is a link or junction; nothing is "
                   "written through it"))
      << ::testing::PrintToString(events_.progress);
  // The link to a file is replaced by the archive's file; what it led to is left as it was.
  EXPECT_EQ(ReadFile(out_ + "/kept.txt"), "from the archive");
  EXPECT_EQ(ReadFile(outside_ + "/kept.txt"), "the user's own");
  EXPECT_TRUE(RunShell(out_, "test -L pre && ! test -L kept.txt"));
  EXPECT_THAT(TreeBelow(outside_), ElementsAre("kept.txt"));
  // The check at the end wants the folder beside the target empty.
  std::filesystem::remove(Utf8Path(outside_ + "/kept.txt"));
}

TEST_F(UnzipLibraryTest, AFileThatCannotBeReplacedIsLeftWholeAndNothingElseRemains) {
  std::string archive = Zip({{"locked.txt", "new"}, {"readonly.txt", "new"}});
  MakeFiles(out_, {{"locked.txt", "old"}, {"readonly.txt", "old"}});
  const std::wstring readonly = Utf8Path(out_ + "/readonly.txt").wstring();
  ASSERT_TRUE(::SetFileAttributesW(readonly.c_str(), FILE_ATTRIBUTE_READONLY));
  // Another program has the file open and lets nobody delete or rename it meanwhile.
  HANDLE held = ::CreateFileW(Utf8Path(out_ + "/locked.txt").wstring().c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  unzip_.SetOverwriteExisting(true);
  bool done = Extract(archive, out_);
  ::CloseHandle(held);
  EXPECT_FALSE(done);
  EXPECT_TRUE(events_.Told("error: locked.txt: ")) << ::testing::PrintToString(events_.progress);
  EXPECT_TRUE(events_.Told("error: readonly.txt: cannot replace it: the file is read-only"))
      << ::testing::PrintToString(events_.progress);
  EXPECT_EQ(ReadFile(out_ + "/locked.txt"), "old");
  EXPECT_EQ(ReadFile(out_ + "/readonly.txt"), "old");
  // No temporary file of the refused writes is left behind.
  EXPECT_THAT(TreeBelow(out_), ElementsAre("locked.txt", "readonly.txt"));
  ::SetFileAttributesW(readonly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace rariduze::testing
