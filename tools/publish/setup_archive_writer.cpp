#include "tools/publish/setup_archive_writer.h"

#include <zip.h>

#include <cstdint>
#include <system_error>

namespace rariduze::publish {
namespace fs = std::filesystem;
namespace {

// Unix modes as the zip format keeps them, in the high half of the external attributes.
constexpr std::uint32_t kRegularFile = 0100000;
constexpr std::uint32_t kExecutable = 0755;
constexpr std::uint32_t kNotExecutable = 0644;

std::uint32_t UnixMode(const InstallerFile& file) {
  std::error_code error;
  const fs::perms perms = fs::status(file.source, error).permissions();
  const bool executable =
      file.name == kInstaller || (!error && (perms & fs::perms::owner_exec) != fs::perms::none);
  return kRegularFile | (executable ? kExecutable : kNotExecutable);
}

std::string OpenError(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

}  // namespace

std::optional<std::string> WriteSetupArchive(const std::vector<InstallerFile>& files,
                                             const fs::path& archive) {
  int code = 0;
  zip_t* zip = zip_open(PathText(archive).c_str(), ZIP_CREATE | ZIP_EXCL, &code);
  if (zip == nullptr) return PathText(archive) + " cannot be made: " + OpenError(code);
  // libzip reads the files only when it closes the archive, so a file's failure shows there.
  for (const InstallerFile& file : files) {
    zip_source_t* source = zip_source_file(zip, PathText(file.source).c_str(), 0, -1);
    zip_int64_t index =
        source == nullptr ? -1 : zip_file_add(zip, file.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0 || zip_set_file_compression(zip, index, ZIP_CM_DEFLATE, 0) != 0 ||
        zip_file_set_external_attributes(zip, index, 0, ZIP_OPSYS_UNIX, UnixMode(file) << 16) !=
            0) {
      std::string reason = zip_strerror(zip);
      if (source != nullptr && index < 0) zip_source_free(source);
      zip_discard(zip);
      return "\"" + file.name + "\" cannot be put into the archive: " + reason;
    }
  }
  if (zip_close(zip) != 0) {
    std::string reason = zip_strerror(zip);
    zip_discard(zip);
    std::error_code ignored;
    fs::remove(archive, ignored);
    return PathText(archive) + " cannot be written: " + reason;
  }
  return std::nullopt;
}

}  // namespace rariduze::publish
