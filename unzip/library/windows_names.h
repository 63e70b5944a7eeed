#pragma once

#include <optional>
#include <string>

namespace rariduze::unziplib {

// Why Windows would not take name ("/" or "\" separated) as a path below a folder, or would
// take it to mean something else; nothing when it is an ordinary relative path there. Refused:
// drive letters, UNC and device paths, absolute paths, ".." parts, ":" in a part (alternate data
// streams), reserved device names with any extension, parts ending in a dot or a blank, and
// characters that Windows does not allow in names.
std::optional<std::string> WindowsNameProblem(const std::string& name);

}  // namespace rariduze::unziplib
