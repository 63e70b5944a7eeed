#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rariduze {

// What LastModified says when the server gave no date.
inline constexpr const char* kNotAvailable = "Not Available";

// What the raw header block of an answer to a HEAD request says about the remote file.
struct RemoteFileInfo {
  bool exists = false;
  // The Last-Modified value as received, or "Not Available". Never holds CR, LF or NUL.
  std::string last_modified;
  // The Content-Length, or -1 when there is none or it is no whole number from 0 to
  // 2,147,483,647.
  std::int32_t size = -1;
};

// Reads the header buffer as the header query filled it: the status line and header lines,
// each ended by CR LF, then a NUL. The text ends at the first NUL, or at the buffer's end when
// there is none. A header is found by its name in any case followed by a colon and exactly
// one blank. The file is missing when the status is 404 or 410 (any version, any reason text)
// or the block holds "HTTP/1.1 404 File Not Found".
RemoteFileInfo ParseHeaderBlock(const char* buffer, std::size_t length);

}  // namespace rariduze
