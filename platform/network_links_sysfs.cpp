#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/network_links.h"

namespace rariduze {
namespace {

// No real machine has this many interfaces; a bound keeps a strange folder from costing time.
constexpr std::size_t kMaxLinks = 4096;

// The first line of a small attribute file; nothing when it cannot be read.
std::optional<std::string> ReadAttribute(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  char buffer[64];
  ssize_t got = -1;
  do {
    got = ::read(fd, buffer, sizeof buffer);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got < 0) return std::nullopt;
  std::string text(buffer, static_cast<std::size_t>(got));
  std::size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  return text;
}

std::optional<long> ParseWhole(const std::string& text, int base) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, base);
  if (errno != 0 || end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

// Administratively up, and not reported as lacking its lower layer ("unknown" is what
// point-to-point drivers without carrier reporting show while they carry traffic).
bool IsUp(const std::string& link_dir) {
  std::optional<std::string> flags = ReadAttribute(link_dir + "/flags");
  std::optional<long> value = flags ? ParseWhole(*flags, 16) : std::nullopt;
  if (!value || (*value & IFF_UP) == 0) return false;
  std::optional<std::string> state = ReadAttribute(link_dir + "/operstate");
  return !state || *state == "up" || *state == "unknown";
}

}  // namespace

std::string SystemNetworkLinksDir() { return "/sys/class/net"; }

std::vector<NetworkLink> ListNetworkLinks(const std::string& links_dir) {
  std::vector<NetworkLink> links;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(links_dir.c_str()), ::closedir);
  if (dir == nullptr) return links;
  while (links.size() < kMaxLinks) {
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string link_dir = links_dir + "/" + name;
    std::optional<std::string> type = ReadAttribute(link_dir + "/type");
    if (!type) continue;  // not an interface folder
    NetworkLink link;
    link.name = name;
    link.link_type = static_cast<int>(ParseWhole(*type, 10).value_or(-1));
    link.up = IsUp(link_dir);
    links.push_back(std::move(link));
  }
  return links;
}

}  // namespace rariduze
