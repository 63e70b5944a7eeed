#include "platform/failure.h"

#include <utility>

namespace rariduze {

std::string StandardFailureDescription(int number) {
  switch (number) {
    case kFailureOverflow:
      return "Overflow";
    case kFailureSubscriptOutOfRange:
      return "Subscript out of range";
    case kFailureTypeMismatch:
      return "Type mismatch";
    case kFailureBadFileName:
      return "Bad file name or number";
    case kFailureFileNotFound:
      return "File not found";
    case kFailureInputPastEndOfFile:
      return "Input past end of file";
    case kFailurePathNotFound:
      return "Path not found";
    case kFailureInvalidPropertyValue:
      return "Invalid property value";
    default:
      return "Application-defined or object-defined error";
  }
}

RuntimeFailure::RuntimeFailure(int number, std::string description, std::string source)
    : std::runtime_error(description.empty() ? StandardFailureDescription(number) : description),
      number_(number),
      description_(description.empty() ? StandardFailureDescription(number)
                                       : std::move(description)),
      source_(std::move(source)) {}

}  // namespace rariduze
