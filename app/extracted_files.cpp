#include "app/extracted_files.h"

#include <algorithm>
#include <optional>

#include "platform/system_paths.h"

namespace rariduze {
namespace {

// One part of a path below the folder: a plain name that cannot climb, name a drive or a
// stream, or hide a separator of either kind.
bool IsPlainName(const std::string& part) {
  if (part.empty() || part == "." || part == "..") return false;
  return part.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

// folder + the reported path in this system's form, and the folders on its way there;
// nothing for a path that could lead out.
std::optional<std::string> PathBelow(const std::string& folder, const std::string& reported,
                                     std::vector<std::string>* on_the_way) {
  if (folder.empty()) return std::nullopt;
  std::string path = folder;
  std::vector<std::string> passed;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = reported.find('\\', start);
    const std::string part = reported.substr(start, end == std::string::npos ? end : end - start);
    if (!IsPlainName(part)) return std::nullopt;
    path += part;
    if (end == std::string::npos) break;
    passed.push_back(path);
    path += PathSeparator();
    start = end + 1;
  }
  on_the_way->insert(on_the_way->end(), passed.begin(), passed.end());
  return path;
}

void NoteOnce(std::vector<std::string>& list, const std::string& path) {
  if (std::find(list.begin(), list.end(), path) == list.end()) list.push_back(path);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void ExtractedFiles::NoteReport(const std::string& folder, const std::string& report) {
  std::string reported;
  bool is_folder = false;
  if (StartsWith(report, "extracted ")) {
    reported = report.substr(10);
  } else if (StartsWith(report, "linked ")) {
    reported = report.substr(7);
  } else if (StartsWith(report, "folder ") && report.size() > 8 && report.back() == '\\') {
    reported = report.substr(7, report.size() - 8);
    is_folder = true;
  } else {
    return;
  }
  // The folders on the way were made for the entry too: the extraction's folder is this run's
  // own, and only empty folders are ever removed.
  std::vector<std::string> folders;
  std::optional<std::string> path = PathBelow(folder, reported, &folders);
  if (!path) return;
  for (const std::string& made : folders) NoteOnce(folders_, made);
  NoteOnce(is_folder ? folders_ : files_, *path);
}

void ExtractedFiles::RemoveAll(FileSystem& files) {
  for (const std::string& path : files_) files.Remove(path);
  // A folder's path is longer than that of any folder it lies in.
  std::sort(folders_.begin(), folders_.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& path : folders_) files.RemoveEmptyFolder(path);
  files_.clear();
  folders_.clear();
}

}  // namespace rariduze
