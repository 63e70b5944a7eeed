// Arbitrary bytes as the header buffer of an information request: the results stay within
// what the control's properties can show, and nothing is read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "transfer/header_block.h"

namespace {

constexpr std::size_t kHeaderBufferSize = 1024;

void Check(const rariduze::RemoteFileInfo& info, std::string_view text) {
  if (info.size < -1) __builtin_trap();
  if (info.last_modified.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    __builtin_trap();
  }
  // The date is either the fixed text or a piece of what came.
  if (info.last_modified != "Not Available" &&
      text.find(info.last_modified) == std::string_view::npos) {
    __builtin_trap();
  }
  if (info.exists && text.find("HTTP/1.1 404 File Not Found") != std::string_view::npos) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kHeaderBufferSize) return -1;
  const char* bytes = reinterpret_cast<const char*>(data);

  // As the control hands it over: a buffer of blanks, the answer written over its start.
  std::string buffer(kHeaderBufferSize, ' ');
  std::memcpy(buffer.data(), bytes, size);
  std::string_view text(buffer.data(), std::strlen(buffer.c_str()));
  Check(rariduze::ParseHeaderBlock(buffer.data(), buffer.size()), text);

  // Exactly the bytes, in a block of their own: a read past them is caught.
  auto exact = std::make_unique<char[]>(size);
  if (size > 0) std::memcpy(exact.get(), bytes, size);
  text = std::string_view(exact.get(), size);
  text = text.substr(0, text.find('\0'));
  Check(rariduze::ParseHeaderBlock(exact.get(), size), text);
  return 0;
}
