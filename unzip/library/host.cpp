#include "unzip/library/host.h"

#include <array>
#include <cstring>

namespace rariduze::unziplib {
namespace {

// Room given to the password callback, terminating NUL included.
constexpr std::size_t kPasswordBufferSize = 256;
// Longest text handed to a callback with its byte count.
constexpr std::size_t kMaxCountedText = 31999;

std::string Bounded(const std::string& text) {
  return text.size() <= kMaxCountedText ? text : text.substr(0, kMaxCountedText);
}

}  // namespace

Host::Host(const UnzipCallbacks* callbacks, std::int32_t message_level)
    : quiet_(message_level >= 1) {
  if (callbacks != nullptr) callbacks_ = *callbacks;
}

void Host::Print(const std::string& text) const {
  if (callbacks_.print == nullptr) return;
  std::string bounded = Bounded(text);
  callbacks_.print(bounded.c_str(), static_cast<std::int32_t>(bounded.size()));
}

void Host::Tell(const std::string& text) const {
  if (!quiet_) Print(text);
}

void Host::Complain(const std::string& text) const { Print(text); }

std::int32_t Host::AskReplace(const std::string& path) const {
  if (callbacks_.replace == nullptr) return UNZIP_REPLACE_NO;
  return callbacks_.replace(path.c_str());
}

std::optional<std::string> Host::AskPassword(const std::string& entry_name) const {
  if (callbacks_.password == nullptr) return std::nullopt;
  std::array<char, kPasswordBufferSize> buffer{};
  std::string prompt = "Password for " + entry_name;
  std::int32_t answer = callbacks_.password(buffer.data(), static_cast<std::int32_t>(buffer.size()),
                                            prompt.c_str(), entry_name.c_str());
  if (answer != 0) return std::nullopt;
  // Whatever the callback did, read no further than the buffer.
  std::string password(buffer.data(), strnlen(buffer.data(), buffer.size() - 1));
  std::memset(buffer.data(), 0, buffer.size());
  return password;
}

bool Host::AskStop(const std::string& entry_name) const {
  if (callbacks_.service == nullptr) return false;
  std::string bounded = Bounded(entry_name);
  return callbacks_.service(bounded.c_str(), static_cast<std::int32_t>(bounded.size() + 1)) != 0;
}

void Host::List(const ListedEntry& entry) const {
  if (callbacks_.list == nullptr) return;
  callbacks_.list(entry.size, entry.packed_size, entry.factor, entry.month, entry.day, entry.year,
                  entry.hour, entry.minute, entry.kind, entry.path.c_str(), entry.method.c_str(),
                  entry.crc, entry.encrypted ? 'E' : ' ');
}

}  // namespace rariduze::unziplib
