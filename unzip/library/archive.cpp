#include "unzip/library/archive.h"

namespace rariduze::unziplib {
namespace {

// The system numbers of the "version made by" field and the Unix file type bits, as the zip
// format fixes them (not taken from the host's headers: they hold on every platform).
constexpr std::uint8_t kMadeOnUnix = 3;
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kTypeFolder = 0040000;
constexpr std::uint32_t kTypeLink = 0120000;

}  // namespace

std::string MethodName(std::uint16_t method) {
  switch (method) {
    case 0:
      return "Stored";
    case 1:
      return "Shrunk";
    case 2:
    case 3:
    case 4:
    case 5:
      return "Reduced";
    case 6:
      return "Imploded";
    case 8:
      return "Deflated";
    case 9:
      return "Deflate64";
    case 12:
      return "BZip2";
    case 14:
      return "LZMA";
    case 95:
      return "XZ";
    default:
      return "Method" + std::to_string(method);
  }
}

std::optional<std::uint32_t> UnixModeOf(std::uint8_t made_by_system, std::uint32_t attributes) {
  if (made_by_system != kMadeOnUnix || (attributes >> 16) == 0) return std::nullopt;
  return attributes >> 16;
}

EntryKind KindOf(const std::string& name, const std::optional<std::uint32_t>& unix_mode) {
  if ((!name.empty() && name.back() == '/') ||
      (unix_mode && (*unix_mode & kTypeMask) == kTypeFolder)) {
    return EntryKind::kFolder;
  }
  if (unix_mode && (*unix_mode & kTypeMask) == kTypeLink) return EntryKind::kSymlink;
  return EntryKind::kFile;
}

}  // namespace rariduze::unziplib
