#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unzip/library/unzip_api.h"

namespace rariduze {

class cUnzip;

// A date with its time of day, as archive listings give it (no time zone).
using UnzipDate = std::chrono::local_seconds;

// The options record as the program keeps it: the library's record, whose two texts are held
// here as texts (nothing: never assigned, a null pointer to the library) and become pointers
// only in the copy made for each call.
struct UnzipOptionsRecord {
  UnzipOptions fields{};  // archive_path and target_folder stay null here
  std::optional<std::string> archive_path;
  std::optional<std::string> target_folder;
};

// The layer between the unzip object and the unzip library: loads the library, hands it the
// records, and turns its callbacks into the object's events.
namespace mUnzip {

// The library's name; its file name is the platform's form of it (libvbuzip10.so, vbuzip10.dll).
inline constexpr char kLibraryName[] = "vbuzip10";
// Capacity of each name list handed to the library; one slot ends the list.
inline constexpr int kNameListSlots = UNZIP_NAME_LIST_SLOTS;
// Failure numbers of a library that cannot be loaded or lacks an entry point.
inline constexpr int kFailureLibraryNotLoaded = 48;
inline constexpr int kFailureEntryPointMissing = 453;

// The library is looked for in the updater's own folder, never elsewhere: when that folder
// cannot be found, LibraryPath raises 53. Tests and tools may name another folder; an empty
// folder means the updater's own again.
void SetLibraryDirectory(const std::string& folder);
std::string LibraryPath();
// Why the library cannot be used, as the end of a sentence for the user ("the unzip library
// \"...\" is missing."); empty when it loads and has its entry points.
std::string LibraryProblem();

// Lists or extracts as options say. include_names[0] is include name 1. Every text goes to the
// library in the system code page, and every text from it comes back as UTF-8. Returns the
// library's code unchanged. Raises RuntimeFailure with source "<executable>.VBUnzip" when the
// library or an entry point is missing, when a count is negative, above 1023 or above the names
// given, or when the system code page cannot hold a path or name (52, naming it).
std::int32_t RunUnzip(cUnzip& object, UnzipOptionsRecord& options, std::int32_t include_count,
                      const std::vector<std::string>& include_names, std::int32_t exclude_count,
                      const std::vector<std::string>& exclude_names);

// The library's version: major, minor and revision of its interface, its beta-level text
// filled with blanks to ten characters. dDate is left as it is.
void GetVersion(std::int32_t& lMajor, std::int32_t& lMinor, std::int32_t& lRevision,
                UnzipDate& dDate, std::string& sExtraInfo);

// The object whose events the callbacks raise: set by each run, cleared when a run fails.
cUnzip* CurrentUnzip();
// Called by an object that goes away, so that no callback can reach it afterwards.
void ForgetUnzip(const cUnzip* object);
// True once the host has given no password in the current run; later requests are refused.
bool PasswordDeclined();

// Turns every "/" into "\"; returns the position (from 1) just after the last one turned, or 1.
std::int32_t SlashesToBackslashes(std::string& text);
// Cuts path at a NUL, splits it at its last separator: folder gets what is before (with "\"
// separators), path keeps the bare name. Without a separator folder is left as it is.
void SplitEntryPath(std::string& path, std::string& folder);

// Two-digit years below 30 are 20xx, the others 19xx; months, days, hours and minutes beyond
// their range carry into the next larger unit. Dates before the year 100 or after 9999 are
// held to 1 January 100 00:00 or 31 December 9999 23:59.
UnzipDate ListDate(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                   std::int32_t minute);

// The callbacks handed to the library. None lets a failure out.
std::int32_t UnzipPrintCallback(const char* text, std::int32_t count);
std::int32_t UnzipReplaceCallback(const char* file_name);
std::int32_t UnzipPasswordCallback(char* buffer, std::int32_t length, const char* prompt,
                                   const char* entry_name);
void UnzipListCallback(std::uint32_t size, std::uint32_t packed_size, std::int32_t factor,
                       std::int32_t month, std::int32_t day, std::int32_t year, std::int32_t hour,
                       std::int32_t minute, std::int32_t kind, const char* path, const char* method,
                       std::uint32_t crc, std::int32_t encryption);
std::int32_t UnzipServiceCallback(const char* entry_name, std::int32_t count);

// The binding's way into the object's friend operations.
struct ObjectAccess;

}  // namespace mUnzip
}  // namespace rariduze
