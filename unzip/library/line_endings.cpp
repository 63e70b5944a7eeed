#include "unzip/library/line_endings.h"

namespace rariduze::unziplib {

const std::string& CrlfConverter::Convert(const char* data, std::size_t size) {
  out_.clear();
  out_.reserve(size + size / 8);
  for (std::size_t i = 0; i < size; ++i) {
    char c = data[i];
    if (c == '\r') {
      out_ += "\r\n";
      after_cr_ = true;
    } else if (c == '\n') {
      if (!after_cr_) out_ += "\r\n";
      after_cr_ = false;
    } else {
      out_ += c;
      after_cr_ = false;
    }
  }
  return out_;
}

}  // namespace rariduze::unziplib
