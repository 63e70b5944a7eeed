#pragma once

#include <optional>
#include <string>

namespace rariduze {

// Directory of the running executable, without a trailing separator except at the root;
// nothing when the system cannot tell.
std::optional<std::string> KnownExecutableDirectory();
// The same, "." when the system cannot tell.
std::string ExecutableDirectory();

// File name of the running executable ("rariduze").
std::string ExecutableName();

// The user's base folder for temporary files ($TMPDIR, else /tmp), without trailing separator.
std::string UserTempBase();

// A short tag that tells this user apart from others on the machine (the user id).
std::string CurrentUserTag();

// Makes sure parent/name is a directory that only the current user can reach: created with
// owner-only access when missing; refused when it is a symbolic link, not a directory, owned
// by someone else, or open to group or others. Returns its path (no trailing separator) or
// nothing with the reason in *error.
std::optional<std::string> PreparePrivateDirectory(const std::string& parent,
                                                   const std::string& name, std::string* error);

}  // namespace rariduze
