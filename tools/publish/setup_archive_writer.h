#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish/input_rules.h"

namespace rariduze::publish {

// Writes a new zip archive at archive (which must not exist yet) holding files at its top,
// deflated. The installer is marked executable, since the Linux updater runs it as extracted;
// the other files keep whether they are. Nothing when written, else why not; a failure leaves
// no archive behind.
std::optional<std::string> WriteSetupArchive(const std::vector<InstallerFile>& files,
                                             const std::filesystem::path& archive);

}  // namespace rariduze::publish
