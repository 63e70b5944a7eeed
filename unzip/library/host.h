#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "unzip/library/unzip_api.h"

namespace rariduze::unziplib {

// One listed entry as the list callback receives it.
struct ListedEntry {
  std::uint32_t size = 0;
  std::uint32_t packed_size = 0;
  std::int32_t factor = 0;
  std::int32_t month = 0, day = 0, year = 0, hour = 0, minute = 0;
  char kind = '-';
  std::string path;
  std::string method;
  std::uint32_t crc = 0;
  bool encrypted = false;
};

// The caller's side of a run: its callbacks, any of which may be missing. Texts reach them in
// the system code page; a character it cannot hold is shown as "?" in messages.
class Host {
 public:
  Host(const UnzipCallbacks* callbacks, std::int32_t message_level);

  // A message about work done; dropped when the caller asked for problems only.
  void Tell(const std::string& text) const;
  // A message about something that failed or was skipped; always sent.
  void Complain(const std::string& text) const;
  // One of the UNZIP_REPLACE_ answers; "no" without a callback.
  std::int32_t AskReplace(const std::string& path) const;
  // The password for an encrypted entry; nothing when the caller gives none.
  std::optional<std::string> AskPassword(const std::string& entry_name) const;
  // True when the caller wants the run stopped before this entry.
  bool AskStop(const std::string& entry_name) const;
  // False, and nothing listed, when the system code page cannot hold the entry's path.
  bool List(const ListedEntry& entry) const;

 private:
  void Print(const std::string& text) const;

  UnzipCallbacks callbacks_{};
  bool quiet_;
};

}  // namespace rariduze::unziplib
