#pragma once

#include <string>

namespace rariduze::unziplib {

// Rewrites a stream, piece by piece, so that every line ends in CR LF: a lone LF or a lone CR
// becomes CR LF, and CR LF stays as it is.
class CrlfConverter {
 public:
  // The converted form of the next piece; valid until the next call.
  const std::string& Convert(const char* data, std::size_t size);

 private:
  std::string out_;
  bool after_cr_ = false;
};

}  // namespace rariduze::unziplib
