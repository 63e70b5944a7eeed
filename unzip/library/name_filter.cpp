#include "unzip/library/name_filter.h"

#include <algorithm>
#include <cctype>

namespace rariduze::unziplib {

NameFilter::NameFilter(std::vector<std::string> includes, const std::vector<std::string>& excludes,
                       bool case_sensitive)
    : includes_(std::move(includes)),
      matched_(includes_.size(), false),
      case_sensitive_(case_sensitive) {
  for (const std::string& name : includes_) include_keys_.push_back(Key(name));
  for (const std::string& name : excludes) exclude_keys_.push_back(Key(name));
}

std::string NameFilter::Key(const std::string& name) const {
  std::string key = name;
  std::replace(key.begin(), key.end(), '\\', '/');
  if (!case_sensitive_) {
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

bool NameFilter::Takes(const std::string& entry_name) {
  std::string key = Key(entry_name);
  if (std::find(exclude_keys_.begin(), exclude_keys_.end(), key) != exclude_keys_.end()) {
    return false;
  }
  if (include_keys_.empty()) return true;
  bool taken = false;
  for (std::size_t i = 0; i < include_keys_.size(); ++i) {
    if (include_keys_[i] == key) {
      matched_[i] = true;
      taken = true;
    }
  }
  return taken;
}

std::vector<std::string> NameFilter::UnmatchedIncludes() const {
  std::vector<std::string> unmatched;
  for (std::size_t i = 0; i < includes_.size(); ++i) {
    if (!matched_[i]) unmatched.push_back(includes_[i]);
  }
  return unmatched;
}

}  // namespace rariduze::unziplib
