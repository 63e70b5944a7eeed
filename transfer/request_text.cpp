#include "transfer/request_text.h"

#include <string_view>

namespace rariduze {
namespace {

// Schemes are case-insensitive: "HTTP://" is as much a scheme as "http://".
bool StartsWithNoCase(std::string_view text, std::string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_prefix[i]) return false;
  }
  return true;
}

}  // namespace

void SplitUrl(std::string& url, std::string& path) {
  if (StartsWithNoCase(url, "http://")) {
    url.erase(0, 7);
  } else if (StartsWithNoCase(url, "https://")) {
    url.erase(0, 8);
  }
  std::size_t slash = url.find('/');
  if (slash == std::string::npos) return;
  path = url.substr(slash);
  url.erase(slash);
}

bool IsHttpsUrl(const std::string& url) { return StartsWithNoCase(url, "https://"); }

std::string TrimAtNul(const std::string& buffer) {
  std::size_t nul = buffer.find('\0');
  return nul == std::string::npos ? buffer : buffer.substr(0, nul);
}

}  // namespace rariduze
