#pragma once

#include <string>
#include <vector>

namespace rariduze::unziplib {

// Which entries a run takes: every entry when no include names are given, else the entries
// named; excluded names are never taken. Names match whole entry paths ("\" and "/" alike),
// without regard to case unless asked.
class NameFilter {
 public:
  NameFilter(std::vector<std::string> includes, const std::vector<std::string>& excludes,
             bool case_sensitive);

  // True when the entry is taken; remembers which include names have matched.
  bool Takes(const std::string& entry_name);
  // Include names that matched no entry so far.
  std::vector<std::string> UnmatchedIncludes() const;

 private:
  std::string Key(const std::string& name) const;

  std::vector<std::string> includes_;
  std::vector<std::string> include_keys_;
  std::vector<bool> matched_;
  std::vector<std::string> exclude_keys_;
  bool case_sensitive_;
};

}  // namespace rariduze::unziplib
