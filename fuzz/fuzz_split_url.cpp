// Arbitrary addresses: the host and the path put back together give the address without its
// scheme.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/paths.h"

namespace {

// The scheme in any case.
bool HasScheme(const std::string& url, const std::string& lower_scheme) {
  if (url.size() < lower_scheme.size()) return false;
  for (std::size_t i = 0; i < lower_scheme.size(); ++i) {
    const char c = url[i] >= 'A' && url[i] <= 'Z' ? static_cast<char>(url[i] - 'A' + 'a') : url[i];
    if (c != lower_scheme[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  std::string host = url;
  std::string path;
  rariduze::ModuloUp::SplitUrl(host, path);
  std::string rest = url;
  if (HasScheme(rest, "http://"))
    rest.erase(0, 7);
  else if (HasScheme(rest, "https://"))
    rest.erase(0, 8);
  if (host + path != rest) __builtin_trap();
  if (host.find('/') != std::string::npos) __builtin_trap();
  rariduze::ModuloUp::TrimAtNul(url);
  return 0;
}
