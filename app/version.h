#pragma once

#include <string>

#include "platform/file_system.h"

namespace rariduze::ModuloUp {

// The first field of app_dir + "versionZT.dat"; empty when the file is absent or unreadable.
std::string ReadInstalledVersion(const std::string& app_dir, FileSystem& files);

// The first field of folder + "ZTVersion" with blanks trimmed; empty when absent or unreadable.
std::string ReadDownloadedVersion(const std::string& folder, FileSystem& files);

// True when text is shaped like a version: digits, full stops and blanks only, at least one
// digit. An error page served in place of the version file ("Error 503") is not.
bool IsVersionText(const std::string& text);

// True when downloaded names a newer version than installed. Parts are compared in order as
// whole numbers of any length (1.10 is newer than 1.9, 2.0 newer than 1.12345); only as many
// parts as the installed version has are compared, and parts the downloaded version lacks
// count as 0.
bool IsNewerVersion(const std::string& installed, const std::string& downloaded);

}  // namespace rariduze::ModuloUp
