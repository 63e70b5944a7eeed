#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rariduze::publish {

// The files of an update on the server, and the installer the updater runs, by the names the
// updater asks for.
inline constexpr char kVersionFile[] = "versionZT.dat";
inline constexpr char kSetupArchive[] = "setupZT.zip";
inline constexpr char kInstaller[] = "setupZT.exe";
inline constexpr char kSignatureSuffix[] = ".minisig";
// The folder a publication is made in, inside the output folder, until it is moved into place.
inline constexpr char kStagingPrefix[] = ".rariduze-publish-";

// Everything a publication puts into its folder.
std::vector<std::string> PublishedNames();

// Why the updater would not take version for one, or would compare it wrongly; nothing when
// it is a plain version such as 1.0.23: numbers of one to four digits separated by full
// stops, small enough to be compared exactly. previous, the version a publication in the
// output folder holds now, must not be newer or be passed over: users of previous are offered
// only a version the updater sees as newer.
std::optional<std::string> VersionProblem(const std::string& version,
                                          const std::optional<std::string>& previous = {});

// One file of the setup archive.
struct InstallerFile {
  std::filesystem::path source;
  std::string name;  // at the archive's top, UTF-8
};

// The files that go into the setup archive, the installer first, and everything that keeps
// them from being published. installer is "setupZT.exe" itself, or a folder that holds it at
// its top beside the files it needs.
struct InstallerLayout {
  std::vector<InstallerFile> files;
  std::vector<std::string> problems;  // one sentence each, for the publisher
};
InstallerLayout CollectInstaller(const std::filesystem::path& installer);

// Why folder cannot receive a publication: it is no folder, or holds anything but an earlier
// publication's files (a publication replaces those and nothing else; what an interrupted
// one left is named as such). Nothing when it is absent, empty, or holds only such files.
std::optional<std::string> OutputFolderProblem(const std::filesystem::path& folder);

// A path as UTF-8 text, and UTF-8 text as a path, on every system.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path Utf8Path(const std::string& text);

}  // namespace rariduze::publish
