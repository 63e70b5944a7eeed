#pragma once

#include <optional>
#include <string>

namespace rariduze {

// Makes a new folder for one run of the updater inside parent (a path ending in the
// separator), reachable by the current user alone, with a name no other run has; returns its
// path ending in the separator, or nothing with the reason in *error. (On Windows the system's
// own accounts and the administrators, who can reach every file anyway, keep their access, so
// that an installer run with an administrator's account can read what lies beside it.)
std::optional<std::string> MakeRunDirectory(const std::string& parent, std::string* error);

// Deletes folder with everything in it, by the names exactly as stored, never following a
// link, junction or mount point out of it. True when it is gone afterwards.
bool RemoveDirectoryTree(const std::string& folder);

}  // namespace rariduze
