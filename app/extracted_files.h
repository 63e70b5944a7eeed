#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace rariduze {

// What extractions into one folder wrote, learnt from the archive's listing before each runs,
// so that the unload can take away exactly that: the files, then the folders the extraction
// made, if nothing else has been put in them. An entry whose name could lead anywhere but
// below the folder (".." and the like) is never noted, so nothing outside it is ever deleted.
class ExtractedFiles {
 public:
  // Notes where a listed entry lands when extracted into folder (ending in the separator):
  // entry_folder is the entry's folder as listed ("\" between its parts, empty at the top);
  // use_folder_names and space_to_underscore are the extraction's options. Call it before
  // the extraction, so that the folders that are not there yet are known.
  void Expect(FileSystem& files, const std::string& folder, const std::string& entry_folder,
              const std::string& name, bool use_folder_names, bool space_to_underscore);

  // Deletes the noted files, then the noted folders that are empty, the
  // deepest first, and forgets them. Failures are ignored.
  void RemoveAll(FileSystem& files);

  // The files noted so far, full paths.
  const std::vector<std::string>& files() const { return files_; }

 private:
  std::vector<std::string> files_;
  std::vector<std::string> folders_;  // made by an extraction, full paths without separator
};

}  // namespace rariduze
