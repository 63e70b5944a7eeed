#include "unzip/library/entry_path.h"

#include <algorithm>

namespace rariduze::unziplib {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// "C:..." names a drive wherever the archive is read; it is never a relative path.
bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Backslashes separate too: archives made on Windows may use them.
PathParts Split(const std::string& path) {
  PathParts parts;
  std::string part;
  for (char c : path) {
    if (IsSeparator(c)) {
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
  if (!name.empty() && IsSeparator(name.front())) {
    *problem = "absolute path";
    return std::nullopt;
  }
  if (HasDriveLetter(name)) {
    *problem = "absolute path (a drive letter)";
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
  if (target.empty() || IsSeparator(target.front()) || HasDriveLetter(target)) return false;
  PathParts parts = Split(target);
  return std::none_of(parts.begin(), parts.end(), [](const std::string& p) { return p == ".."; });
}

}  // namespace rariduze::unziplib
