#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "signing/signature_format.h"
#include "tools/publish/input_rules.h"

namespace rariduze::publish {

// Checks a publication in folder the way the updater will take it: the version file read by
// the updater's own reader names version; with a key, both signatures hold for it and the
// archive's trusted comment names that version; the unzip library lists exactly files at the
// archive's top, and extracts them as the updater does (into one folder, replacing) with the
// bytes they have, the installer executable. scratch is a folder the check may fill; the
// caller removes it. Returns what is wrong, one sentence each; empty when all holds.
std::vector<std::string> CheckPublication(const std::filesystem::path& folder,
                                          const std::string& version,
                                          const std::vector<InstallerFile>& files,
                                          const std::optional<PublicKey>& key,
                                          const std::filesystem::path& scratch);

}  // namespace rariduze::publish
