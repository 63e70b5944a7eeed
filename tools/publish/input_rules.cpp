#include "tools/publish/input_rules.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <system_error>

#include "app/version.h"
#include "unzip/library/windows_names.h"
#include "unzip/library/zip_names.h"

namespace rariduze::publish {
namespace fs = std::filesystem;
namespace {

// The updater's own files in the folder it extracts the archive into: an entry of the same
// name would take their place.
constexpr const char* kUpdaterTemporaryNames[] = {"ZTVersion", "ZTVersion.minisig", "setupZT.zip",
                                                  "setupZT.zip.minisig"};

// The largest whole number a double holds exactly: the updater reads versions as doubles.
constexpr char kLargestExactNumber[] = "9007199254740992";

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A name as a message may show it: bytes that are no UTF-8 text, and control characters,
// written as \xNN.
std::string Shown(const std::string& name) {
  if (unziplib::IsUtf8(name) &&
      std::none_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; })) {
    return name;
  }
  std::string shown;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string Quoted(const std::string& name) { return "\"" + Shown(name) + "\""; }

std::string InstallerNameProblem(const std::string& name) {
  if (Lower(name) == Lower(kInstaller)) {
    return "the installer is named " + Quoted(name) +
           ", but the updater runs \"setupZT.exe\", with exactly these capital letters";
  }
  return "the installer is named " + Quoted(name) +
         "; the updater runs \"setupZT.exe\": rename it, or give the folder that holds it";
}

bool Readable(const fs::path& file) { return std::ifstream(file, std::ios::binary).is_open(); }

// Why a file named name cannot go into the archive's top; nothing when it can.
std::optional<std::string> EntryNameProblem(const std::string& name) {
  if (!unziplib::IsUtf8(name)) {
    return "the name " + Quoted(name) + " is not UTF-8 text, so the updater would give it another";
  }
  if (name.find('\\') != std::string::npos) {
    return "the name " + Quoted(name) + " holds \"\\\", which the updater takes for a folder";
  }
  if (std::optional<std::string> problem = unziplib::WindowsNameProblem(name)) {
    return "the name " + Quoted(name) + " cannot be extracted on Windows: " + *problem;
  }
  for (const char* own : kUpdaterTemporaryNames) {
    if (Lower(name) == Lower(own)) {
      return "the name " + Quoted(name) + " is the updater's own \"" + own +
             "\" in the folder it extracts the archive into";
    }
  }
  return std::nullopt;
}

// Where a file of that name lies below folder, a folder level or more too deep.
std::optional<std::string> InstallerBelow(const fs::path& folder) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it.depth() > 0 && it->path().filename() == kInstaller) {
      return PathText(fs::relative(it->path(), folder, error).generic_string());
    }
    if (it.depth() >= 3) it.disable_recursion_pending();
  }
  return std::nullopt;
}

void CollectFolder(const fs::path& folder, InstallerLayout& layout) {
  std::error_code error;
  std::map<std::string, fs::directory_entry> entries;  // by name, so messages come in order
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    entries.emplace(PathText(it->path().filename()), *it);
  }
  if (error) {
    layout.problems.push_back("the folder " + PathText(folder) +
                              " cannot be read: " + error.message());
    return;
  }

  if (entries.count(kInstaller) == 0) {
    std::string problem = PathText(folder) + " holds no \"setupZT.exe\" at its top";
    const auto same_but_case = std::find_if(entries.begin(), entries.end(), [](const auto& entry) {
      return Lower(entry.first) == Lower(kInstaller);
    });
    if (same_but_case != entries.end()) {
      problem = InstallerNameProblem(same_but_case->first);
    } else if (std::optional<std::string> deeper = InstallerBelow(folder)) {
      problem += ", but " + Quoted(*deeper) + " lies deeper: give the folder that holds it (" +
                 PathText((folder / Utf8Path(*deeper)).parent_path()) + ")";
    } else {
      problem += ", the installer that the updater runs";
    }
    layout.problems.push_back(problem);
  }

  std::map<std::string, std::string> by_lower_name;
  for (const auto& [name, entry] : entries) {
    const fs::file_status status = entry.symlink_status(error);
    if (fs::is_symlink(status)) {
      layout.problems.push_back(Quoted(name) + " is a symbolic link: put the file itself there");
      continue;
    }
    if (fs::is_directory(status)) {
      layout.problems.push_back(
          Quoted(name) +
          " is a folder: the updater extracts every file into one folder, so the installer "
          "would not find the files in it where they are now");
      continue;
    }
    if (!fs::is_regular_file(status)) {
      layout.problems.push_back(Quoted(name) + " is not a file");
      continue;
    }
    if (std::optional<std::string> problem = EntryNameProblem(name)) {
      layout.problems.push_back(*problem);
      continue;
    }
    auto [earlier, inserted] = by_lower_name.emplace(Lower(name), name);
    if (!inserted) {
      layout.problems.push_back(Quoted(earlier->second) + " and " + Quoted(name) +
                                " differ only in case: on Windows one would replace the other");
      continue;
    }
    if (!Readable(entry.path())) {
      layout.problems.push_back(Quoted(name) + " cannot be read");
      continue;
    }
    InstallerFile file{entry.path(), name};
    if (name == kInstaller) {
      layout.files.insert(layout.files.begin(), file);
    } else {
      layout.files.push_back(file);
    }
  }
}

}  // namespace

std::vector<std::string> PublishedNames() {
  return {kVersionFile, kSetupArchive, std::string(kVersionFile) + kSignatureSuffix,
          std::string(kSetupArchive) + kSignatureSuffix};
}

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path Utf8Path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::optional<std::string> VersionProblem(const std::string& version,
                                          const std::optional<std::string>& previous) {
  const std::string example = ", as 1.0.23";
  if (version.empty())
    return "the version is empty: give numbers separated by full stops" + example;
  const std::string named = "the version " + Quoted(version);
  if (version.find_first_not_of("0123456789.") != std::string::npos) {
    return named + " holds other characters than digits and full stops" + example;
  }
  std::string digits;  // as the updater lines them up: four per part
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = std::min(version.find('.', start), version.size());
    const std::string part = version.substr(start, dot - start);
    if (part.empty()) return named + " has an empty part" + example;
    if (part.size() > 4) {
      return named + " has a part of more than four digits, which the updater compares wrongly";
    }
    digits += std::string(4 - part.size(), '0') + part;
    if (dot == version.size()) break;
    start = dot + 1;
  }
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  const std::string largest = kLargestExactNumber;
  if (digits.size() > largest.size() || (digits.size() == largest.size() && digits > largest)) {
    return named + " has too many parts for the updater to compare it exactly";
  }
  if (previous && *previous != version && !ModuloUp::IsNewerVersion(*previous, version)) {
    return named + " is not newer than " + Quoted(*previous) +
           ", which the output folder holds now: users of that version would not be offered it";
  }
  return std::nullopt;
}

InstallerLayout CollectInstaller(const fs::path& installer) {
  InstallerLayout layout;
  std::error_code error;
  const fs::file_status status = fs::status(installer, error);
  if (!fs::exists(status)) {
    layout.problems.push_back("there is no file or folder " + PathText(installer));
  } else if (fs::is_directory(status)) {
    CollectFolder(installer, layout);
  } else if (!fs::is_regular_file(status)) {
    layout.problems.push_back(PathText(installer) + " is neither a file nor a folder");
  } else if (installer.filename() != kInstaller) {
    layout.problems.push_back(InstallerNameProblem(PathText(installer.filename())));
  } else if (!Readable(installer)) {
    layout.problems.push_back(PathText(installer) + " cannot be read");
  } else {
    layout.files.push_back({installer, kInstaller});
  }
  // An empty installer is no program on any system.
  if (!layout.files.empty() && layout.files.front().name == kInstaller &&
      fs::file_size(layout.files.front().source, error) == 0) {
    layout.problems.emplace_back("\"setupZT.exe\" is empty");
  }
  return layout;
}

std::optional<std::string> OutputFolderProblem(const fs::path& folder) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(folder, error);
  if (!fs::exists(status)) return std::nullopt;
  if (!fs::is_directory(fs::status(folder, error))) {
    return "the output folder " + PathText(folder) + " is not a folder";
  }
  const std::vector<std::string> published = PublishedNames();
  std::vector<std::string> others;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = PathText(it->path().filename());
    const bool ours = std::find(published.begin(), published.end(), name) != published.end();
    if (!ours || !it->is_regular_file(error) || it->is_symlink(error)) others.push_back(name);
  }
  if (error) return "the output folder " + PathText(folder) + " cannot be read: " + error.message();
  if (others.empty()) return std::nullopt;
  std::sort(others.begin(), others.end());
  std::string problem = "the output folder " + PathText(folder) + " holds " + Quoted(others[0]);
  if (others.size() > 1) problem += " and " + std::to_string(others.size() - 1) + " more";
  if (others.size() == 1 && others[0].rfind(kStagingPrefix, 0) == 0) {
    return problem + ", left by a publication that was interrupted: delete it";
  }
  return problem +
         ", which no publication put there: give a new or empty folder, or one that holds "
         "only an earlier publication";
}

}  // namespace rariduze::publish
