// The unzip library built with each of its backends, libzip and its own zip reader over zlib,
// run over the same archives: made by the zip tool in every form the reader knows, and the
// fuzz seed corpus. Through the library's C interface both must list the same entries, return
// the same results and leave the same trees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/dynamic_library.h"
#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"
#include "tests/unzip/zip_bytes.h"
#include "unzip/library/unzip_api.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using ::testing::Not;

using SingleEntryUnzipFn = std::int32_t (*)(std::int32_t, const char* const*, std::int32_t,
                                            const char* const*, UnzipOptions*, UnzipCallbacks*);

// What the callbacks of the current call saw.
struct Recording {
  std::vector<std::string> listed;
  std::vector<std::string> printed;
  std::string password;
};
Recording* recording = nullptr;

std::int32_t NotePrint(const char* text, std::int32_t count) {
  recording->printed.emplace_back(text, static_cast<std::size_t>(count));
  return 0;
}
std::int32_t AnswerReplace(const char*) { return UNZIP_REPLACE_NO; }
std::int32_t GivePassword(char* buffer, std::int32_t length, const char*, const char*) {
  if (recording->password.empty() ||
      static_cast<std::size_t>(length) <= recording->password.size()) {
    return 1;
  }
  recording->password.copy(buffer, recording->password.size());
  buffer[recording->password.size()] = '\0';
  return 0;
}
void NoteListed(std::uint32_t size, std::uint32_t packed_size, std::int32_t factor,
                std::int32_t month, std::int32_t day, std::int32_t year, std::int32_t hour,
                std::int32_t minute, std::int32_t kind, const char* path, const char* method,
                std::uint32_t crc, std::int32_t encryption) {
  std::ostringstream line;
  line << size << ' ' << packed_size << ' ' << factor << ' ' << year << '-' << month << '-' << day
       << ' ' << hour << ':' << minute << ' ' << static_cast<char>(kind) << ' ' << path << ' '
       << method << ' ' << crc << ' ' << static_cast<char>(encryption);
  recording->listed.push_back(line.str());
}
std::int32_t GoOn(const char*, std::int32_t) { return 0; }

// Everything below folder: kind, name, and for files their permissions, time and contents.
std::vector<std::string> Snapshot(const std::string& folder) {
  std::vector<std::string> items;
  std::error_code ignored;
  for (const std::string& name : TreeBelow(folder)) {
    std::string path = folder + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    std::ostringstream item;
    if (S_ISLNK(st.st_mode)) {
      item << "link " << name << " -> " << fs::read_symlink(path, ignored).string();
    } else if (S_ISDIR(st.st_mode)) {
      item << "folder " << name;
    } else {
      item << "file " << name << ' ' << std::oct << (st.st_mode & 07777) << std::dec << ' '
           << st.st_mtime << ' ' << st.st_size << ' ' << std::hash<std::string>{}(ReadFile(path));
    }
    items.push_back(item.str());
  }
  return items;
}

// One build of the library, loaded from its own folder.
class Backend {
 public:
  explicit Backend(const std::string& folder) {
    std::string error;
    library_ = LoadDynamicLibrary(folder + "/" + SharedLibraryFileName("vbuzip10"), &error);
    EXPECT_NE(library_, nullptr) << error;
    if (library_) {
      unzip_ = reinterpret_cast<SingleEntryUnzipFn>(library_->Symbol("Wiz_SingleEntryUnzip"));
    }
  }

  // A listing, or an extraction into target (a test with target empty).
  std::int32_t Call(const std::string& archive, bool list, const std::string& target,
                    bool folder_names, const std::string& password, Recording* seen) {
    if (unzip_ == nullptr) return -1;
    UnzipOptions options{};
    options.list_only = list ? 1 : 0;
    options.test_only = !list && target.empty() ? 1 : 0;
    options.use_folder_names = folder_names ? 1 : 0;
    options.archive_path = archive.c_str();
    options.target_folder = target.c_str();
    UnzipCallbacks callbacks{};
    callbacks.print = &NotePrint;
    callbacks.replace = &AnswerReplace;
    callbacks.password = &GivePassword;
    callbacks.list = &NoteListed;
    callbacks.service = &GoOn;
    seen->password = password;
    recording = seen;
    std::int32_t code = unzip_(0, nullptr, 0, nullptr, &options, &callbacks);
    recording = nullptr;
    return code;
  }

 private:
  std::unique_ptr<DynamicLibrary> library_;
  SingleEntryUnzipFn unzip_ = nullptr;
};

class UnzipBackendsTest : public ::testing::Test {
 protected:
  // Runs archive through both backends in every way and expects the same outcome each time.
  // With whole set, the archive is sound: the listing and an extraction with the suite's
  // password must succeed and yield something.
  void ExpectSameOutcome(const std::string& archive, bool whole) {
    SCOPED_TRACE(archive);
    ++compared_;
    Recording libzip_list, zlib_list;
    std::int32_t listed_libzip = libzip_.Call(archive, true, "", false, "", &libzip_list);
    std::int32_t listed_zlib = zlib_.Call(archive, true, "", false, "", &zlib_list);
    EXPECT_EQ(listed_libzip, listed_zlib) << "listing";
    EXPECT_EQ(libzip_list.listed, zlib_list.listed);
    if (whole) {
      EXPECT_EQ(listed_libzip, 1) << ::testing::PrintToString(libzip_list.printed);
      EXPECT_THAT(libzip_list.listed, Not(IsEmpty()));
    }

    struct Way {
      const char* name;
      bool folder_names;
      bool test;
      const char* password;
    };
    for (const Way& way : {Way{"folders", true, false, "pw"}, Way{"flat", false, false, "pw"},
                           Way{"test", false, true, "pw"}, Way{"wrong", true, false, "wrong"}}) {
      SCOPED_TRACE(way.name);
      std::string libzip_out = way.test ? "" : dir_.File("libzip-" + std::to_string(++runs_));
      std::string zlib_out = way.test ? "" : dir_.File("zlib-" + std::to_string(runs_));
      Recording libzip_seen, zlib_seen;
      std::int32_t by_libzip =
          libzip_.Call(archive, false, libzip_out, way.folder_names, way.password, &libzip_seen);
      std::int32_t by_zlib =
          zlib_.Call(archive, false, zlib_out, way.folder_names, way.password, &zlib_seen);
      EXPECT_EQ(by_libzip, by_zlib)
          << "libzip said " << ::testing::PrintToString(libzip_seen.printed) << "\nzlib said "
          << ::testing::PrintToString(zlib_seen.printed);
      if (way.test) continue;
      std::vector<std::string> tree = Snapshot(libzip_out);
      EXPECT_EQ(tree, Snapshot(zlib_out));
      if (whole && way.password == std::string("pw")) {
        EXPECT_EQ(by_libzip, 1);
        EXPECT_THAT(tree, Not(IsEmpty()));
      }
    }
  }

  // The zip tool run in folder through the shell (for pipes); the archive's path.
  std::string ZipShell(const std::string& folder, const std::string& name,
                       const std::string& command) {
    std::string archive = dir_.File(name);
    EXPECT_TRUE(RunShell(folder, command, archive));
    return archive;
  }

  TestDir dir_{"unzip-backends"};
  Backend libzip_{LIBZIP_BACKEND_DIR};
  Backend zlib_{ZLIB_BACKEND_DIR};
  int runs_ = 0;
  int compared_ = 0;
};

std::string Text(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {"zentri ", "update ", "setup ", "archive\n", "42 "};
  std::string text;
  unsigned state = seed;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text += kWords[(state >> 16) % 5];
    if ((state >> 8) % 7 == 0) text += static_cast<char>(state >> 24);
  }
  text.resize(size);
  return text;
}

TEST_F(UnzipBackendsTest, ZipToolArchivesGiveTheSameListingsResultsAndTrees) {
  std::string src = dir_.File("src");
  MakeFiles(src, {{"top.txt", "top\n"},
                  {"docs/readme.txt", Text(20000, 1)},
                  {"docs/sub/deep.txt", "deep"},
                  {"bin/tool.sh", "#!/bin/sh\nexit 0\n"},
                  {"private.dat", "private"},
                  {"empty.txt", ""},
                  {"big.bin", Text(3 << 20, 2)},
                  {"caf\xC3\xA9 cr\xC3\xA8me.txt", "utf-8 name"},
                  {"\x81"
                   "ber-\x94.txt",
                   "code page 437 name"},
                  {"\x01\x1b\x7f\x81.txt", "code page 437 glyphs"}});
  fs::create_directories(src + "/empty-folder");
  fs::create_symlink("top.txt", src + "/link");
  fs::permissions(src + "/bin/tool.sh", static_cast<fs::perms>(0755));
  fs::permissions(src + "/private.dat", static_cast<fs::perms>(0600));
  // An odd second: the listing and the file times must agree to the second.
  SetModified(src + "/top.txt", LocalTime(2021, 3, 4, 5, 6) + 7);

  std::vector<std::pair<std::string, std::string>> ways = {
      {"stored.zip", "zip -q -r -0 \"$1\" ."},
      {"deflated.zip", "zip -q -r \"$1\" ."},
      {"best.zip", "zip -q -r -9 \"$1\" ."},
      {"links.zip", "zip -q -r -y \"$1\" ."},
      {"encrypted.zip", "zip -q -r -P pw \"$1\" ."},
      {"encrypted-stored.zip", "zip -q -r -0 -P pw \"$1\" ."},
      {"zip64.zip", "zip -q -r -fz \"$1\" ."},
      {"streamed.zip", "zip -q -r - . | cat > \"$1\""},
      {"streamed-stored.zip", "zip -q -r -0 - . | cat > \"$1\""},
      {"streamed-encrypted.zip", "zip -q -r -P pw - . | cat > \"$1\""},
      // The zip tool marks the directory's offset for ZIP64 here but writes no ZIP64 end
      // record: both refuse it, and both read it once the offset is mended below. Without -y:
      // the tool cannot store a link on a pipe and stops there.
      {"streamed-zip64.zip", "zip -q -r -fz - . | cat > \"$1\""},
      {"stdin.zip", "printf 'from a pipe\\n' | zip -q \"$1\" -"},
      {"stdin-streamed.zip", "printf 'from a pipe\\n' | zip -q - - | cat > \"$1\""},
      {"single-empty.zip", "zip -q \"$1\" empty.txt"},
      {"emptied.zip", "zip -q \"$1\" top.txt && zip -q -d \"$1\" top.txt"}};
  for (const auto& [name, command] : ways) {
    std::string archive = ZipShell(src, name, command);
    ExpectSameOutcome(archive, name != "emptied.zip" && name != "streamed-zip64.zip");
  }
  std::string mended = ReadFile(dir_.File("streamed-zip64.zip"));
  std::size_t directory = mended.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(directory, std::string::npos);
  Put32(mended, mended.size() - 22 + field::kEndDirectoryOffset,
        static_cast<std::uint32_t>(directory));
  WriteFile(dir_.File("streamed-zip64-mended.zip"), mended);
  ExpectSameOutcome(dir_.File("streamed-zip64-mended.zip"), true);
  EXPECT_EQ(compared_, 16);
}

TEST_F(UnzipBackendsTest, DamagedArchivesFailAlike) {
  std::string src = dir_.File("src");
  MakeFiles(src, {{"a.txt", Text(5000, 3)}, {"b.txt", "bee"}, {"c.txt", Text(70000, 4)}});
  std::string sound = ZipShell(src, "sound.zip", "zip -q \"$1\" a.txt b.txt c.txt");
  std::string stored = ZipShell(src, "stored.zip", "zip -q -0 \"$1\" a.txt b.txt c.txt");
  const std::string bytes = ReadFile(sound);
  const std::string stored_bytes = ReadFile(stored);
  const ZipLayout layout = LayoutOf(bytes);
  const ZipLayout stored_layout = LayoutOf(stored_bytes);
  ASSERT_EQ(layout.central.size(), 3u);

  std::vector<std::pair<std::string, std::function<void(std::string&)>>> damages = {
      {"flipped-data", [&](std::string& b) { b[layout.local[0] + 60] ^= 0x5a; }},
      {"wrong-crc-stored",
       [&](std::string& b) {
         Put32(b, stored_layout.central[1] + field::kCentralCrc, 0x12345678);
         Put32(b, stored_layout.local[1] + field::kLocalCrc, 0x12345678);
       }},
      {"shorter-than-declared",
       [&](std::string& b) {
         Put32(b, layout.central[2] + field::kCentralSize, 80000);
         Put32(b, layout.local[2] + field::kLocalSize, 80000);
       }},
      {"longer-than-declared",
       [&](std::string& b) {
         Put32(b, layout.central[2] + field::kCentralSize, 60000);
         Put32(b, layout.local[2] + field::kLocalSize, 60000);
       }},
      {"truncated-directory", [&](std::string& b) { b.erase(layout.central[1] + 10, 30); }},
      {"cut-short", [&](std::string& b) { b.resize(b.size() / 2); }},
      {"local-offset-past-end",
       [&](std::string& b) {
         Put32(b, layout.central[1] + field::kCentralLocalOffset, 0x7fffff00);
       }},
      {"huge-count",
       [&](std::string& b) {
         Put16(b, layout.directory_end + field::kEndEntries, 0xfff0);
         Put16(b, layout.directory_end + field::kEndEntriesHere, 0xfff0);
       }},
  };
  for (const auto& [name, damage] : damages) {
    std::string damaged = name == "wrong-crc-stored" ? stored_bytes : bytes;
    damage(damaged);
    std::string path = dir_.File(name + ".zip");
    WriteFile(path, damaged);
    ExpectSameOutcome(path, false);
  }
  EXPECT_EQ(compared_, 8);
}

TEST_F(UnzipBackendsTest, FuzzSeedArchivesGiveTheSameOutcome) {
  std::string corpus = dir_.File("corpus");
  ProgramRun made = RunProgram({"bash", MAKE_SEEDS, corpus});
  ASSERT_EQ(made.exit_status, 0) << made.errors;
  // fuzz_unzip's inputs begin with a mode byte; fuzz_zip_reader's are archives as they are.
  for (const auto& [target, skip] : {std::pair<std::string, std::size_t>{"fuzz_unzip", 1},
                                     std::pair<std::string, std::size_t>{"fuzz_zip_reader", 0}}) {
    std::vector<std::string> seeds = TreeBelow(corpus + "/" + target);
    EXPECT_THAT(seeds, Not(IsEmpty())) << target;
    for (const std::string& seed : seeds) {
      std::string bytes = ReadFile(corpus + "/" + target + "/" + seed);
      std::string archive = dir_.File(target + "-" + seed + ".zip");
      WriteFile(archive, bytes.substr(std::min(skip, bytes.size())));
      // Seeds named "damaged-..." are damaged on purpose.
      ExpectSameOutcome(archive, seed.rfind("damaged-", 0) != 0);
    }
  }
  EXPECT_GE(compared_, 10);
}

}  // namespace
}  // namespace rariduze::testing
