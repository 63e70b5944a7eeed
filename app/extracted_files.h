#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace rariduze {

// What extractions into one folder wrote, learnt from what the unzip library reports as it
// writes, so that the unload takes away exactly that: the files, then the folders, if nothing
// else has been put in them. An entry the library refused is never reported, so a name that
// the system would read as another ("victim." for "victim") is never deleted; nor is a path
// that could lead anywhere but below the folder.
class ExtractedFiles {
 public:
  // Notes a report of the library about an extraction into folder (ending in the separator):
  // "extracted P" and "linked P" name a file it wrote, "folder P\" a folder it made, P below
  // folder with "\" between its parts. Every other report is passed over.
  void NoteReport(const std::string& folder, const std::string& report);

  // Deletes the noted files, then the noted folders that are empty, the deepest first, and
  // forgets them. Failures are ignored.
  void RemoveAll(FileSystem& files);

  // The files noted so far, full paths.
  const std::vector<std::string>& files() const { return files_; }

 private:
  std::vector<std::string> files_;
  std::vector<std::string> folders_;  // full paths without separator
};

}  // namespace rariduze
