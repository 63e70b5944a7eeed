#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rariduze::unziplib {

using PathParts = std::vector<std::string>;

// The parts of an entry's stored name ("/" or "\" separated) as a path below the target folder.
// Empty parts and "." are dropped. A name that is absolute, starts with a drive letter or holds
// a ".." part is refused: nothing, with the reason in *problem.
std::optional<PathParts> RelativeEntryPath(const std::string& name, std::string* problem);

// Where an entry's file goes: the whole path when folders are kept, else its last part only;
// blanks become "_" when asked.
PathParts OutputPath(const PathParts& parts, bool use_folder_names, bool space_to_underscore);

// The parts joined with "/".
std::string JoinPath(const PathParts& parts);

// True when a symbolic link to target, made anywhere below the target folder, can only lead
// below it: the target is relative and never climbs with ".." ("/" and "\" alike).
bool LinkTargetStaysInside(const std::string& target);

}  // namespace rariduze::unziplib
