#pragma once

#include <stdexcept>
#include <string>

namespace rariduze {

// Numbers of the runtime failures the program reports or relies on.
enum FailureNumber : int {
  kFailureOverflow = 6,
  kFailureSubscriptOutOfRange = 9,
  kFailureTypeMismatch = 13,
  kFailureBadFileName = 52,
  kFailureFileNotFound = 53,
  kFailureInputPastEndOfFile = 62,
  kFailurePathNotFound = 76,
  kFailureInvalidPropertyValue = 380,
};

// The usual English description of a failure number ("Overflow", "Type mismatch", ...).
std::string StandardFailureDescription(int number);

// A runtime failure raised to the caller: a number, a description and the failing source.
class RuntimeFailure : public std::runtime_error {
 public:
  explicit RuntimeFailure(int number, std::string description = {},
                          std::string source = "RARiduze");

  int number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

 private:
  int number_;
  std::string description_;
  std::string source_;
};

}  // namespace rariduze
