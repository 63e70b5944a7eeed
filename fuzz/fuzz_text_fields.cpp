// Arbitrary bytes as a settings or version file: reading must end, never crash, a settings file
// must survive a rewrite, and a version read from such a file must compare without fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/version.h"
#include "fuzz/memory_file_system.h"
#include "platform/failure.h"
#include "platform/text_fields.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rariduze;
  std::string text(reinterpret_cast<const char*>(data), size);

  TextFieldReader reader(text);
  std::size_t fields = 0;
  try {
    while (true) {
      reader.ReadField();
      // Every field consumes at least one byte, so a text has at most size + 1 fields.
      if (++fields > size + 1) __builtin_trap();
    }
  } catch (const RuntimeFailure& failure) {
    if (failure.number() != kFailureInputPastEndOfFile) __builtin_trap();
  }

  fuzzing::MemoryFileSystem files;
  files.files["/app/versionZT.dat"] = text;
  files.files["/tmp/ZTVersion"] = text;
  files.files["/app/proxy"] = text;
  try {
    ConnectionSettings settings = ReadSettings(files, "/app/proxy");
    // A rewrite of what was read must keep the LAN choice, whatever the address holds.
    std::size_t colon = settings.proxy.find(':');
    std::string address = settings.proxy.substr(0, colon);
    std::string port =
        colon == std::string::npos ? std::string() : settings.proxy.substr(colon + 1);
    // Only a flag of exactly "0" means no LAN.
    const bool lan = settings.lan_flag != "0";
    WriteSettingsIfPresent(files, "/app/proxy", address, port, lan);
    if ((ReadSettings(files, "/app/proxy").lan_flag != "0") != lan) __builtin_trap();
  } catch (const RuntimeFailure&) {
  }
  std::string installed = ModuloUp::ReadInstalledVersion("/app/", files);
  std::string downloaded = ModuloUp::ReadDownloadedVersion("/tmp/", files);
  ModuloUp::IsNewerVersion(installed, downloaded);
  if (ModuloUp::IsNewerVersion(installed, installed)) __builtin_trap();  // never newer than itself
  return 0;
}
