#include "unzip/library/entry_path.h"

#include <algorithm>

namespace rariduze::unziplib {
namespace {

PathParts Split(const std::string& path) {
  PathParts parts;
  std::string part;
  for (char c : path) {
    if (c == '/') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

std::optional<PathParts> RelativeEntryPath(const std::string& name, std::string* problem) {
  if (!name.empty() && name.front() == '/') {
    *problem = "absolute path";
    return std::nullopt;
  }
  PathParts kept;
  for (std::string& part : Split(name)) {
    if (part == "..") {
      *problem = "path leads outside the target folder";
      return std::nullopt;
    }
    if (part.empty() || part == ".") continue;
    kept.push_back(std::move(part));
  }
  return kept;
}

PathParts OutputPath(const PathParts& parts, bool use_folder_names, bool space_to_underscore) {
  PathParts out;
  if (use_folder_names) {
    out = parts;
  } else if (!parts.empty()) {
    out.push_back(parts.back());
  }
  if (space_to_underscore) {
    for (std::string& part : out) std::replace(part.begin(), part.end(), ' ', '_');
  }
  return out;
}

std::string JoinPath(const PathParts& parts) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += '/';
    joined += part;
  }
  return joined;
}

bool LinkTargetStaysInside(const std::string& target) {
  if (target.empty() || target.front() == '/') return false;
  PathParts parts = Split(target);
  return std::none_of(parts.begin(), parts.end(), [](const std::string& p) { return p == ".."; });
}

}  // namespace rariduze::unziplib
