// The two exported functions: they read the caller's records and never let a failure escape.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/system_code_page.h"
#include "unzip/library/archive.h"
#include "unzip/library/extraction.h"
#include "unzip/library/host.h"
#include "unzip/library/listing.h"
#include "unzip/library/name_filter.h"
#include "unzip/library/unzip_api.h"

namespace rariduze::unziplib {
namespace {

constexpr std::uint8_t kMajor = 1;
constexpr std::uint8_t kMinor = 0;
constexpr std::uint8_t kRevision = 0;
constexpr char kReleaseDate[] = "2025-06-01";

// The caller's texts come in the system code page; inside, they are UTF-8.
std::optional<std::string> Text(const char* text) {
  if (text == nullptr) return std::nullopt;
  return FromSystemCodePage(text);
}

// The names in a list, up to the count, the list's capacity or the first empty slot.
std::vector<std::string> ReadNames(std::int32_t count, const char* const* names) {
  std::vector<std::string> read;
  if (names == nullptr) return read;
  std::int32_t limit = std::min<std::int32_t>(count, UNZIP_NAME_LIST_SLOTS);
  for (std::int32_t i = 0; i < limit; ++i) {
    if (names[i] == nullptr || names[i][0] == '\0') break;
    read.push_back(*Text(names[i]));
  }
  return read;
}

void CopyText(char* field, std::size_t size, const std::string& text) {
  std::memset(field, 0, size);
  text.copy(field, size - 1);
}

bool Run(std::int32_t include_count, const char* const* include_names, std::int32_t exclude_count,
         const char* const* exclude_names, const UnzipOptions& options, const Host& host) {
  std::optional<std::string> archive_path = Text(options.archive_path);
  if (!archive_path || archive_path->empty()) {
    host.Complain("error: no archive named");
    return false;
  }
  std::string error;
  std::unique_ptr<Archive> archive = OpenArchive(*archive_path, &error);
  if (!archive) {
    host.Complain("error: cannot read the archive " + *archive_path + ": " + error);
    return false;
  }
  if (options.list_only != 0) return ListArchive(*archive, host);

  NameFilter filter(ReadNames(include_count, include_names),
                    ReadNames(exclude_count, exclude_names), options.case_sensitive_names != 0);
  ExtractionSettings settings;
  settings.test_only = options.test_only != 0;
  settings.only_newer = options.extract_only_newer != 0;
  settings.space_to_underscore = options.space_to_underscore != 0;
  settings.prompt_to_overwrite = options.prompt_to_overwrite != 0;
  settings.use_folder_names = options.use_folder_names != 0;
  settings.overwrite_existing = options.overwrite_existing != 0;
  settings.convert_to_crlf = options.convert_to_crlf != 0;
  settings.target_folder = Text(options.target_folder);
  return ExtractArchive(*archive, filter, settings, host);
}

}  // namespace
}  // namespace rariduze::unziplib

extern "C" {

int32_t Wiz_SingleEntryUnzip(int32_t include_count, const char* const* include_names,
                             int32_t exclude_count, const char* const* exclude_names,
                             UnzipOptions* options, UnzipCallbacks* callbacks) {
  using rariduze::unziplib::Host;
  try {
    Host host(callbacks, options != nullptr ? options->message_level : 0);
    if (options == nullptr) {
      host.Complain("error: no options given");
      return 0;
    }
    try {
      return rariduze::unziplib::Run(include_count, include_names, exclude_count, exclude_names,
                                     *options, host)
                 ? 1
                 : 0;
    } catch (const std::bad_alloc&) {
      host.Complain("error: out of memory");
    } catch (const std::exception& e) {
      host.Complain(std::string("error: ") + e.what());
    }
  } catch (...) {
  }
  return 0;
}

void UzpVersion2(UnzipVersionRecord* record) {
  using namespace rariduze::unziplib;
  if (record == nullptr || record->length < sizeof(UnzipVersionRecord)) return;
  record->flags = 0;
  CopyText(record->beta_level, sizeof record->beta_level, "");
  CopyText(record->date, sizeof record->date, kReleaseDate);
  CopyText(record->compression_library, sizeof record->compression_library,
           CompressionLibraryVersion());
  record->library = UnzipVersionGroup{kMajor, kMinor, kRevision, 0};
  record->group_2 = UnzipVersionGroup{0, 0, 0, 0};
  record->group_3 = UnzipVersionGroup{0, 0, 0, 0};
  record->interface_version = UnzipVersionGroup{kMajor, kMinor, kRevision, 0};
}

}  // extern "C"
