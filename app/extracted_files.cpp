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

std::optional<std::vector<std::string>> SplitListedFolder(const std::string& folder) {
  std::vector<std::string> parts;
  if (folder.empty()) return parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = folder.find('\\', start);
    std::string part = folder.substr(start, end == std::string::npos ? end : end - start);
    if (!IsPlainName(part)) return std::nullopt;
    parts.push_back(std::move(part));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

void NoteOnce(std::vector<std::string>& list, const std::string& path) {
  if (std::find(list.begin(), list.end(), path) == list.end()) list.push_back(path);
}

}  // namespace

void ExtractedFiles::Expect(FileSystem& files, const std::string& folder,
                            const std::string& entry_folder, const std::string& name,
                            bool use_folder_names, bool space_to_underscore) {
  if (folder.empty() || !IsPlainName(name)) return;
  std::optional<std::vector<std::string>> parts = SplitListedFolder(entry_folder);
  if (!parts) return;
  // Without folder names every file lands at the top.
  if (!use_folder_names) parts->clear();
  parts->push_back(name);
  if (space_to_underscore) {
    for (std::string& part : *parts) std::replace(part.begin(), part.end(), ' ', '_');
  }
  std::string path = folder;
  for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
    path += (*parts)[i];
    if (!files.Exists(path)) NoteOnce(folders_, path);
    path += PathSeparator();
  }
  NoteOnce(files_, path + parts->back());
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
