#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace rariduze {

// The settings file's name, in the updater's own directory.
inline constexpr char kSettingsFileName[] = "proxy";

// app_dir (ending in "/") + "proxy".
std::string SettingsFilePath(const std::string& app_dir);

// The two fields of the settings file as stored; a field the file does not hold is empty.
struct ConnectionSettings {
  std::string proxy;     // address ":" port
  std::string lan_flag;  // "1": through a LAN gateway, "0": a dial-up connection is needed

  // The proxy entry counts unless it is ":" alone or blank.
  bool HasProxy() const;
};

// A proxy entry split at its first colon: the address before it, and the port after it up to
// a second colon if there is one. An entry without a colon has no port.
struct ProxyEntry {
  std::string address;
  std::optional<std::string> port;
};
ProxyEntry SplitProxyEntry(const std::string& entry);

// Reads the first two fields by the text field rule. Raises RuntimeFailure 53 when the file is
// missing and 75 when it cannot be read.
ConnectionSettings ReadSettings(FileSystem& files, const std::string& path);

// Creates the file empty ("nothing set yet") when it is missing; an existing file is kept.
// Raises RuntimeFailure when it cannot be created.
void CreateSettingsFileIfMissing(FileSystem& files, const std::string& path);

// Rewrites an existing settings file with its two lines: address ":" port, then "1" or "0",
// each ended by CR LF. A missing file is not created: the result is false and nothing is
// written. The file is replaced whole or not at all: when the write fails a RuntimeFailure is
// raised and the old contents stay.
bool WriteSettingsIfPresent(FileSystem& files, const std::string& path, const std::string& address,
                            const std::string& port, bool lan);

}  // namespace rariduze
