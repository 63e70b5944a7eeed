#include "settings/settings_file.h"

#include <optional>

#include "platform/failure.h"
#include "platform/text_fields.h"

namespace rariduze {
namespace {

constexpr int kFailureFileAccess = 75;

// Line 1 must read back as one field: line breaks would start a new field (and could forge the
// LAN flag), a double quote would swallow the rest of the file, and a comma would end the field
// early unless the entry is quoted.
std::string StorableProxyEntry(const std::string& address, const std::string& port) {
  std::string entry;
  for (char c : address + ":" + port) {
    if (c != '\r' && c != '\n' && c != '\0' && c != '"') entry += c;
  }
  if (entry.find(',') != std::string::npos) entry = '"' + entry + '"';
  return entry;
}

}  // namespace

std::string SettingsFilePath(const std::string& app_dir) { return app_dir + kSettingsFileName; }

bool ConnectionSettings::HasProxy() const {
  return proxy != ":" && proxy.find_first_not_of(' ') != std::string::npos;
}

ProxyEntry SplitProxyEntry(const std::string& entry) {
  const std::size_t colon = entry.find(':');
  if (colon == std::string::npos) return {entry, std::nullopt};
  const std::size_t second = entry.find(':', colon + 1);
  return {entry.substr(0, colon),
          entry.substr(colon + 1, second == std::string::npos ? second : second - colon - 1)};
}

ConnectionSettings ReadSettings(FileSystem& files, const std::string& path) {
  std::optional<TextFieldReader> reader = OpenTextFields(files, path);
  if (!reader) {
    if (!files.Exists(path)) throw RuntimeFailure(kFailureFileNotFound);
    throw RuntimeFailure(kFailureFileAccess, "Path/File access error");
  }
  ConnectionSettings settings;
  // A file that ends early leaves the remaining fields empty, without a message.
  try {
    settings.proxy = reader->ReadField();
    settings.lan_flag = reader->ReadField();
  } catch (const RuntimeFailure& failure) {
    if (failure.number() != kFailureInputPastEndOfFile) throw;
  }
  return settings;
}

void CreateSettingsFileIfMissing(FileSystem& files, const std::string& path) {
  if (files.Exists(path)) return;
  files.OpenForWriting(path, false)->Close();
}

bool WriteSettingsIfPresent(FileSystem& files, const std::string& path, const std::string& address,
                            const std::string& port, bool lan) {
  if (!files.Exists(path)) return false;
  files.ReplaceContents(path, CrlfLines({StorableProxyEntry(address, port), lan ? "1" : "0"}));
  return true;
}

}  // namespace rariduze
