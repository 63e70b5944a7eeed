// Arbitrary bytes as a settings or version file: reading must end, never crash, and a version
// read from such a file must compare without fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/version.h"
#include "fuzz/memory_file_system.h"
#include "platform/failure.h"
#include "platform/text_fields.h"

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
  std::string installed = ModuloUp::ReadInstalledVersion("/app/", files);
  std::string downloaded = ModuloUp::ReadDownloadedVersion("/tmp/", files);
  ModuloUp::IsNewerVersion(installed, downloaded);
  if (ModuloUp::IsNewerVersion(installed, installed)) __builtin_trap();  // never newer than itself
  return 0;
}
