// What the publisher's tool refuses before it writes anything: versions the updater would not
// read or compare rightly, installers it would not find or run, and output folders that hold
// anything a publication would not replace. Each behaviour is one table; a case is a row.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/test_dir.h"
#include "tools/publish/input_rules.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using publish::CollectInstaller;
using publish::InstallerFile;
using publish::InstallerLayout;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Matcher;

struct VersionCase {
  const char* version;
  std::optional<std::string> previous;
  const char* problem;  // a part of the refusal; nullptr: taken
};

TEST(PublishRules, VersionsTheUpdaterReadsAndComparesRightly) {
  const VersionCase cases[] = {
      {"1.0.23", {}, nullptr},
      {"2.3.0.104", {}, nullptr},
      {"0", {}, nullptr},
      // The largest that the updater's comparison still holds exactly.
      {"9007.1992.5474.992", {}, nullptr},
      {"", {}, "the version is empty"},
      {"1.0.23 ", {}, "other characters than digits"},
      {"v1.0.23", {}, "other characters than digits"},
      {"1,0,23", {}, "other characters than digits"},
      {"1..23", {}, "has an empty part"},
      {".1", {}, "has an empty part"},
      {"1.0.", {}, "has an empty part"},
      {"1.00023", {}, "more than four digits"},
      {"9007.1992.5474.993", {}, "too many parts"},
      {"1.0.0.0.1", {}, "too many parts"},
      // Over an earlier publication: users of that version must be offered this one.
      {"1.0.24", "1.0.23", nullptr},
      {"1.1", "1.0.23", nullptr},
      {"1.0.23", "1.0.23", nullptr},  // the same again: a repaired archive
      {"1.0.22", "1.0.23", "is not newer than \"1.0.23\""},
      // The updater compares only as many parts as the installed version has.
      {"1.0.23.1", "1.0.23", "is not newer than \"1.0.23\""},
  };
  for (const VersionCase& row : cases) {
    SCOPED_TRACE(std::string("version \"") + row.version + "\" over " +
                 row.previous.value_or("nothing"));
    const std::optional<std::string> problem = publish::VersionProblem(row.version, row.previous);
    if (row.problem == nullptr) {
      EXPECT_EQ(problem, std::nullopt);
    } else {
      EXPECT_THAT(problem.value_or(""), HasSubstr(row.problem));
    }
  }
}

// What a row lays out: a name and its content, or one of these kinds.
const std::string kFolder = "<folder>";
const std::string kLink = "<link to setupZT.exe>";
const std::string kPipe = "<pipe>";

struct LayoutCase {
  const char* label;
  std::map<std::string, std::string> entries;  // name (may hold a folder) -> content or kind
  const char* installer;                       // the argument below the row's folder
  std::vector<std::string> files;              // what goes into the archive, in order
  std::vector<std::string> problems;           // a part of each refusal, in order
};

void LayOut(const fs::path& root, const std::map<std::string, std::string>& entries) {
  for (const auto& [name, content] : entries) {
    const fs::path path = root / name;
    fs::create_directories(path.parent_path());
    if (content == kFolder) {
      fs::create_directory(path);
    } else if (content == kLink) {
      fs::create_symlink("setupZT.exe", path);
    } else if (content == kPipe) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else {
      WriteFile(path.string(), content);
    }
  }
}

TEST(PublishRules, InstallerLayoutsTheUpdaterRuns) {
  const LayoutCase cases[] = {
      {"the installer alone", {{"setupZT.exe", "x"}}, "setupZT.exe", {"setupZT.exe"}, {}},
      {"a folder: the installer first, then the rest by name",
       {{"b.dat", "b"},
        {"setupZT.exe", "x"},
        {"a.txt", "a"},
        {"\xC3\x9C"
         "ber.txt",
         "u"}},
       "",
       {"setupZT.exe", "a.txt", "b.dat",
        "\xC3\x9C"
        "ber.txt"},
       {}},
      {"the installer's name in lower case",
       {{"setupzt.exe", "x"}},
       "setupzt.exe",
       {},
       {"named \"setupzt.exe\", but the updater runs \"setupZT.exe\""}},
      {"the installer under another name",
       {{"zentri-1.0.23.exe", "x"}},
       "zentri-1.0.23.exe",
       {},
       {"named \"zentri-1.0.23.exe\"; the updater runs \"setupZT.exe\""}},
      {"a folder whose installer's name differs in case",
       {{"SetupZT.EXE", "x"}, {"a.txt", "a"}},
       "",
       {},
       {"named \"SetupZT.EXE\", but the updater runs \"setupZT.exe\""}},
      {"the installer a folder level too deep",
       {{"dist/setupZT.exe", "x"}, {"dist/a.txt", "a"}},
       "",
       {},
       {"\"dist/setupZT.exe\" lies deeper: give the folder that holds it ({root}/dist)",
        "\"dist\" is a folder"}},
      {"no installer at all",
       {{"readme.txt", "r"}},
       "",
       {},
       {"holds no \"setupZT.exe\" at its top"}},
      {"a sub-folder beside the installer",
       {{"setupZT.exe", "x"}, {"data/table.bin", "t"}},
       "",
       {},
       {"\"data\" is a folder: the updater extracts every file into one folder"}},
      {"a symbolic link",
       {{"setupZT.exe", "x"}, {"latest.exe", kLink}},
       "",
       {},
       {"\"latest.exe\" is a symbolic link"}},
      {"a named pipe", {{"setupZT.exe", "x"}, {"pipe", kPipe}}, "", {}, {"\"pipe\" is not a file"}},
      {"names that differ only in case",
       {{"setupZT.exe", "x"}, {"Readme.txt", "1"}, {"README.TXT", "2"}},
       "",
       {},
       {"\"README.TXT\" and \"Readme.txt\" differ only in case"}},
      {"names Windows does not take",
       {{"setupZT.exe", "x"}, {"CON.txt", "c"}, {"a:b", "s"}, {"notes.", "d"}, {"a?", "q"}},
       "",
       {},
       {"\"CON.txt\" cannot be extracted on Windows", "\"a:b\" cannot be extracted on Windows",
        "\"a?\" cannot be extracted on Windows", "\"notes.\" cannot be extracted on Windows"}},
      {"a backslash, which the updater takes for a folder",
       {{"setupZT.exe", "x"}, {"docs\\a.txt", "a"}},
       "",
       {},
       {"\"docs\\a.txt\" holds \"\\\""}},
      {"a name that is not UTF-8",
       {{"setupZT.exe", "x"}, {"caf\xE9.txt", "c"}},
       "",
       {},
       {"\"caf\\xE9.txt\" is not UTF-8 text"}},
      {"the updater's own files where it extracts",
       {{"setupZT.exe", "x"}, {"setupZT.zip", "z"}, {"ztversion", "v"}},
       "",
       {},
       {"\"setupZT.zip\" is the updater's own \"setupZT.zip\"",
        "\"ztversion\" is the updater's own \"ZTVersion\""}},
      {"an empty installer", {{"setupZT.exe", ""}}, "", {}, {"\"setupZT.exe\" is empty"}},
      {"nothing there", {}, "absent", {}, {"there is no file or folder {root}/absent"}},
  };
  for (const LayoutCase& row : cases) {
    SCOPED_TRACE(row.label);
    TestDir dir("publish-layout");
    const fs::path root = dir.path();
    LayOut(root, row.entries);
    const InstallerLayout layout =
        CollectInstaller(std::string(row.installer).empty() ? root : root / row.installer);

    std::vector<Matcher<std::string>> problems;
    for (std::string problem : row.problems) {
      if (std::size_t at = problem.find("{root}"); at != std::string::npos) {
        problem.replace(at, 6, root.string());
      }
      problems.push_back(HasSubstr(problem));
    }
    EXPECT_THAT(layout.problems, ElementsAreArray(problems));
    if (!row.problems.empty()) continue;
    std::vector<std::string> names;
    for (const InstallerFile& file : layout.files) {
      names.push_back(file.name);
      EXPECT_EQ(ReadFile(file.source.string()), row.entries.at(file.name)) << file.name;
    }
    EXPECT_EQ(names, row.files);
  }
}

struct OutputCase {
  const char* label;
  std::map<std::string, std::string> entries;  // as in LayoutCase; none: the folder is absent
  const char* problem;                         // a part of the refusal; nullptr: taken
};

TEST(PublishRules, OutputFoldersAPublicationMayFill) {
  const OutputCase cases[] = {
      {"absent", {}, nullptr},
      {"empty", {{".", kFolder}}, nullptr},
      {"an earlier publication",
       {{"versionZT.dat", "1"},
        {"setupZT.zip", "z"},
        {"versionZT.dat.minisig", "s"},
        {"setupZT.zip.minisig", "s"}},
       nullptr},
      {"another file",
       {{"versionZT.dat", "1"}, {"notes.txt", "n"}},
       "holds \"notes.txt\", which no publication put there"},
      {"more files", {{"a", "a"}, {"b", "b"}, {"c", "c"}}, "holds \"a\" and 2 more"},
      {"a folder of a published name", {{"setupZT.zip", kFolder}}, "holds \"setupZT.zip\""},
      {"what an interrupted publication left",
       {{".rariduze-publish-0badcafe", kFolder}},
       "left by a publication that was interrupted: delete it"},
  };
  for (const OutputCase& row : cases) {
    SCOPED_TRACE(row.label);
    TestDir dir("publish-out");
    const fs::path out = fs::path(dir.path()) / "out";
    LayOut(out, row.entries);
    const std::optional<std::string> problem = publish::OutputFolderProblem(out);
    if (row.problem == nullptr) {
      EXPECT_EQ(problem, std::nullopt);
    } else {
      EXPECT_THAT(problem.value_or(""), HasSubstr(row.problem));
    }
  }

  TestDir dir("publish-out");
  WriteFile(dir.File("server"), "not a folder");
  EXPECT_THAT(publish::OutputFolderProblem(dir.File("server")).value_or(""),
              HasSubstr("is not a folder"));
}

}  // namespace
}  // namespace rariduze::testing
