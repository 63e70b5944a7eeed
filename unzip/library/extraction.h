#pragma once

#include <optional>
#include <string>

#include "unzip/library/archive.h"
#include "unzip/library/host.h"
#include "unzip/library/name_filter.h"

namespace rariduze::unziplib {

struct ExtractionSettings {
  bool test_only = false;
  bool only_newer = false;
  bool space_to_underscore = false;
  bool prompt_to_overwrite = false;
  bool use_folder_names = false;
  bool overwrite_existing = false;
  bool convert_to_crlf = false;
  std::optional<std::string> target_folder;
};

// Extracts (or, for a test, reads and checks) every entry the filter takes. True when all of
// them were done; every failure and every skipped entry is told through the host.
bool ExtractArchive(Archive& archive, NameFilter& filter, const ExtractionSettings& settings,
                    const Host& host);

}  // namespace rariduze::unziplib
