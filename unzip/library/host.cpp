#include "unzip/library/host.h"

#include <array>
#include <cstring>

#include "platform/system_code_page.h"

namespace rariduze::unziplib {
namespace {

// Room given to the password callback, terminating NUL included.
constexpr std::size_t kPasswordBufferSize = 256;
// Longest text handed to a callback with its byte count.
constexpr std::size_t kMaxCountedText = 31999;

// A text for a callback, in the caller's code page, no longer than it takes.
std::string Bounded(const std::string& text) {
  std::string shown = ToSystemCodePageShown(text);
  if (shown.size() > kMaxCountedText) shown.resize(kMaxCountedText);
  return shown;
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
  return callbacks_.replace(ToSystemCodePageShown(path).c_str());
}

std::optional<std::string> Host::AskPassword(const std::string& entry_name) const {
  if (callbacks_.password == nullptr) return std::nullopt;
  std::array<char, kPasswordBufferSize> buffer{};
  std::string name = ToSystemCodePageShown(entry_name);
  std::string prompt = "Password for " + name;
  std::int32_t answer = callbacks_.password(buffer.data(), static_cast<std::int32_t>(buffer.size()),
                                            prompt.c_str(), name.c_str());
  if (answer != 0) return std::nullopt;
  // Whatever the callback did, read no further than the buffer. The password is taken as UTF-8,
  // as the zip tool of other systems takes it, whatever the caller's code page.
  std::string password = FromSystemCodePage(
      std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size() - 1)));
  std::memset(buffer.data(), 0, buffer.size());
  return password;
}

bool Host::AskStop(const std::string& entry_name) const {
  if (callbacks_.service == nullptr) return false;
  std::string bounded = Bounded(entry_name);
  return callbacks_.service(bounded.c_str(), static_cast<std::int32_t>(bounded.size() + 1)) != 0;
}

bool Host::List(const ListedEntry& entry) const {
  if (callbacks_.list == nullptr) return true;
  // The caller may ask for the entry by this name: it must be the entry's own.
  std::optional<std::string> path = ToSystemCodePage(entry.path);
  if (!path) return false;
  std::string method = ToSystemCodePageShown(entry.method);
  callbacks_.list(entry.size, entry.packed_size, entry.factor, entry.month, entry.day, entry.year,
                  entry.hour, entry.minute, entry.kind, path->c_str(), method.c_str(), entry.crc,
                  entry.encrypted ? 'E' : ' ');
  return true;
}

}  // namespace rariduze::unziplib
