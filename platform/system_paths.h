#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rariduze {

// Directory of the running executable, without a trailing separator except at the root;
// nothing when the system cannot tell.
std::optional<std::string> KnownExecutableDirectory();
// The same, "." when the system cannot tell.
std::string ExecutableDirectory();

// File name of the running executable ("rariduze", "rariduze.exe").
std::string ExecutableName();

// The separator this platform puts between a folder and a name: '/' or '\'.
char PathSeparator();

// The folder where the updater keeps its temporary files, ending in the separator. It must be
// out of other users' reach, because an installer is extracted and run from there. Nothing,
// with the reason in *error, when no such folder can be had.
std::optional<std::string> PrivateTempDirectory(std::string* error);

// The bytes the current user can still write in folder; nothing when the system cannot tell.
std::optional<std::int64_t> FreeSpaceIn(const std::string& folder);

}  // namespace rariduze
