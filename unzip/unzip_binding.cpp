#include "unzip/unzip_binding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "platform/failure.h"
#include "platform/system_code_page.h"
#include "platform/system_paths.h"
#include "unzip/unzip_library_loader.h"
#include "unzip/unzip_object.h"

namespace rariduze::mUnzip {

// Forwards the binding's calls to the object's friend operations.
struct ObjectAccess {
  static void AddDirectoryEntry(cUnzip& object, const std::string& name, const std::string& folder,
                                UnzipDate date, std::int32_t size, std::int32_t crc, bool encrypted,
                                std::int32_t ratio, const std::string& method) {
    object.AddDirectoryEntry(name, folder, date, size, crc, encrypted, ratio, method);
  }
  static void RaiseOverwritePrompt(cUnzip& object, const std::string& name,
                                   std::int32_t& response) {
    object.RaiseOverwritePrompt(name, response);
  }
  static void RaiseProgress(cUnzip& object, const std::string& text) { object.RaiseProgress(text); }
  static void RaiseCancel(cUnzip& object, const std::string& name, bool& cancel) {
    object.RaiseCancel(name, cancel);
  }
  static void RaisePasswordRequest(cUnzip& object, std::string& password, bool& cancel) {
    object.RaisePasswordRequest(password, cancel);
  }
};

namespace {

using SingleEntryUnzipFn = std::int32_t (*)(std::int32_t, const char* const*, std::int32_t,
                                            const char* const*, UnzipOptions*, UnzipCallbacks*);
using VersionFn = void (*)(UnzipVersionRecord*);

// Texts from the library are read no further than these.
constexpr std::size_t kMaxListText = 256;
constexpr std::size_t kMaxReplaceName = 32801;
// Counted texts of the print and service callbacks are taken only inside these bounds.
constexpr std::int32_t kMinCountedText = 2;
constexpr std::int32_t kMaxCountedText = 31999;
constexpr std::size_t kMaxPassword = 254;

cUnzip* current_unzip = nullptr;
// The objects whose runs are in progress, innermost last. An object that goes away during its
// own run (a handler may release it) leaves a null in its place, and its run then writes
// nothing back into it.
std::vector<const cUnzip*> running;

// Keeps an object's place in running for the length of one run.
class RunningPlace {
 public:
  explicit RunningPlace(const cUnzip& object) : place_(running.size()) {
    running.push_back(&object);
  }
  ~RunningPlace() { running.resize(place_); }
  RunningPlace(const RunningPlace&) = delete;
  RunningPlace& operator=(const RunningPlace&) = delete;

  bool ObjectAlive() const { return running[place_] != nullptr; }

 private:
  std::size_t place_;
};
bool password_declined = false;

// "<executable name without extension>.VBUnzip"
std::string FailureSource() {
  std::string name = ExecutableName();
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + ".VBUnzip";
}

// text in the system code page, for the library. A text that the code page cannot hold is
// refused: changed, a name would match another entry and a path name another file.
std::string ForLibrary(const std::string& text, const char* what) {
  std::optional<std::string> converted = ToSystemCodePage(text);
  if (!converted) {
    throw RuntimeFailure(kFailureBadFileName,
                         std::string(what) + " \"" + text +
                             "\" cannot be handed to the unzip library: the system code page " +
                             std::to_string(SystemCodePage()) +
                             " cannot hold all of its characters");
  }
  return *converted;
}

std::optional<std::string> ForLibrary(const std::optional<std::string>& text, const char* what) {
  if (!text) return std::nullopt;
  return ForLibrary(*text, what);
}

// The library's side of a name list: slots 0 .. n-1 the names, slot n an empty text, the rest
// null. The texts, in the system code page, live as long as the object.
class NameSlots {
 public:
  NameSlots(std::int32_t count, const std::vector<std::string>& names, const char* what) {
    if (count < 0 || count >= kNameListSlots || static_cast<std::size_t>(count) > names.size()) {
      throw RuntimeFailure(kFailureSubscriptOutOfRange);
    }
    for (std::int32_t i = 0; i < count; ++i) texts_.push_back(ForLibrary(names[i], what));
    texts_.emplace_back();
    for (std::size_t i = 0; i < texts_.size(); ++i) slots_[i] = texts_[i].c_str();
  }
  const char* const* data() const { return slots_.data(); }

 private:
  std::vector<std::string> texts_;
  std::array<const char*, kNameListSlots> slots_{};
};

// The text before the first NUL, reading no more than limit bytes, as UTF-8.
std::string TextAt(const char* text, std::size_t limit) {
  if (text == nullptr) return {};
  return FromSystemCodePage(std::string_view(text, strnlen(text, limit)));
}

// Days from 1 January 1970 to the given date of the Gregorian calendar, for any year (the
// calendar's own arithmetic, in 400-year eras).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

// Removes blanks at both ends.
void TrimBlanks(std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, first);
}

}  // namespace

cUnzip* CurrentUnzip() { return current_unzip; }

void ForgetUnzip(const cUnzip* object) {
  if (current_unzip == object) current_unzip = nullptr;
  std::replace(running.begin(), running.end(), object, static_cast<const cUnzip*>(nullptr));
}

bool PasswordDeclined() { return password_declined; }

std::int32_t RunUnzip(cUnzip& object, UnzipOptionsRecord& options, std::int32_t include_count,
                      const std::vector<std::string>& include_names, std::int32_t exclude_count,
                      const std::vector<std::string>& exclude_names) {
  try {
    current_unzip = &object;
    UnzipCallbacks callbacks{};
    callbacks.print = &UnzipPrintCallback;
    callbacks.replace = &UnzipReplaceCallback;
    callbacks.password = &UnzipPasswordCallback;
    callbacks.list = &UnzipListCallback;
    callbacks.service = &UnzipServiceCallback;
    NameSlots includes(include_count, include_names, "the include name");
    NameSlots excludes(exclude_count, exclude_names, "the exclude name");
    password_declined = false;
    // The texts belong to the call, not to the object, which a handler may release meanwhile.
    const std::optional<std::string> archive_path =
        ForLibrary(options.archive_path, "the archive path");
    const std::optional<std::string> target_folder =
        ForLibrary(options.target_folder, "the target folder");

    auto unzip = reinterpret_cast<SingleEntryUnzipFn>(EntryPoint("Wiz_SingleEntryUnzip"));
    UnzipOptions copy = options.fields;
    copy.archive_path = archive_path ? archive_path->c_str() : nullptr;
    copy.target_folder = target_folder ? target_folder->c_str() : nullptr;
    RunningPlace place(object);
    std::int32_t code =
        unzip(include_count, includes.data(), exclude_count, excludes.data(), &copy, &callbacks);
    if (place.ObjectAlive()) {
      options.fields = copy;
      options.fields.archive_path = nullptr;
      options.fields.target_folder = nullptr;
    }
    return code;
  } catch (const RuntimeFailure& failure) {
    current_unzip = nullptr;
    throw RuntimeFailure(failure.number(), failure.description(), FailureSource());
  } catch (const std::bad_alloc&) {
    current_unzip = nullptr;
    throw RuntimeFailure(7, "Out of memory", FailureSource());
  }
}

void GetVersion(std::int32_t& lMajor, std::int32_t& lMinor, std::int32_t& lRevision,
                UnzipDate& /*dDate*/, std::string& sExtraInfo) {
  auto version = reinterpret_cast<VersionFn>(EntryPoint("UzpVersion2"));
  UnzipVersionRecord record{};
  record.length = sizeof record;
  std::memset(record.beta_level, ' ', sizeof record.beta_level - 1);
  std::memset(record.date, ' ', sizeof record.date - 1);
  std::memset(record.compression_library, ' ', sizeof record.compression_library - 1);
  version(&record);
  std::string extra = FromSystemCodePage(
      std::string_view(record.beta_level, strnlen(record.beta_level, sizeof record.beta_level)));
  extra.resize(sizeof record.beta_level, ' ');
  sExtraInfo = extra;
  lMajor = record.interface_version.major;
  lMinor = record.interface_version.minor;
  lRevision = record.interface_version.revision;
}

std::int32_t SlashesToBackslashes(std::string& text) {
  std::int32_t after_last = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '/') {
      text[i] = '\\';
      after_last = static_cast<std::int32_t>(i) + 2;
    }
  }
  return after_last;
}

void SplitEntryPath(std::string& path, std::string& folder) {
  std::size_t nul = path.find('\0');
  if (nul != std::string::npos) path.erase(nul);
  std::int32_t after_last = SlashesToBackslashes(path);
  if (after_last >= 2) {
    folder = path.substr(0, after_last - 2);
    path.erase(0, after_last - 1);
  }
}

UnzipDate ListDate(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                   std::int32_t minute) {
  using namespace std::chrono;
  // Every value may be extreme: all arithmetic is in 64 bits, and the result is held to the
  // dates a date-time can show, 1 January 100 to 31 December 9999, 23:59.
  constexpr std::int64_t kMinutesPerDay = 24 * 60;
  const std::int64_t earliest = DaysFromCivil(100, 1, 1) * kMinutesPerDay;
  const std::int64_t latest = DaysFromCivil(9999, 12, 31) * kMinutesPerDay + kMinutesPerDay - 1;
  std::int64_t full_year = year;
  if (full_year >= 0 && full_year < 30) full_year += 2000;
  if (full_year >= 30 && full_year < 100) full_year += 1900;
  // Months carry into years, then days, hours and minutes count on from the first of the month.
  std::int64_t months = full_year * 12 + (static_cast<std::int64_t>(month) - 1);
  std::int64_t whole_years = months >= 0 ? months / 12 : (months - 11) / 12;
  auto month_of_year = static_cast<unsigned>(months - whole_years * 12 + 1);
  std::int64_t total = DaysFromCivil(whole_years, month_of_year, 1) * kMinutesPerDay +
                       (static_cast<std::int64_t>(day) - 1) * kMinutesPerDay +
                       static_cast<std::int64_t>(hour) * 60 + minute;
  return local_seconds{minutes(std::clamp(total, earliest, latest))};
}

std::int32_t UnzipPrintCallback(const char* text, std::int32_t count) {
  try {
    if (count < kMinCountedText || count > kMaxCountedText || text == nullptr) return 0;
    std::string message =
        FromSystemCodePage(std::string_view(text, static_cast<std::size_t>(count)));
    SlashesToBackslashes(message);
    if (current_unzip != nullptr) ObjectAccess::RaiseProgress(*current_unzip, message);
  } catch (...) {
  }
  return 0;
}

std::int32_t UnzipReplaceCallback(const char* file_name) {
  std::int32_t response = UNZIP_REPLACE_NO;
  try {
    std::string name = TextAt(file_name, kMaxReplaceName);
    SlashesToBackslashes(name);
    if (current_unzip != nullptr) {
      ObjectAccess::RaiseOverwritePrompt(*current_unzip, name, response);
    }
  } catch (...) {
  }
  return response;
}

std::int32_t UnzipPasswordCallback(char* buffer, std::int32_t length, const char* /*prompt*/,
                                   const char* /*entry_name*/) {
  try {
    if (password_declined) return 1;
    std::string password;
    bool cancel = false;
    try {
      if (current_unzip != nullptr) {
        ObjectAccess::RaisePasswordRequest(*current_unzip, password, cancel);
      }
    } catch (...) {
    }
    TrimBlanks(password);
    // A password that the system code page cannot hold would reach the library changed, and
    // could only be wrong: it counts as none given.
    std::optional<std::string> converted = ToSystemCodePage(password);
    std::fill(password.begin(), password.end(), '\0');
    if (!converted || converted->empty() || cancel) {
      password_declined = true;
      return 1;
    }
    // Room for the terminating NUL is kept whatever the library's buffer length.
    if (buffer == nullptr || length < 2) return 1;
    std::size_t copied =
        std::min({converted->size(), kMaxPassword, static_cast<std::size_t>(length) - 1});
    std::memcpy(buffer, converted->data(), copied);
    buffer[copied] = '\0';
    std::fill(converted->begin(), converted->end(), '\0');
    return 0;
  } catch (...) {
  }
  return 1;
}

void UnzipListCallback(std::uint32_t size, std::uint32_t /*packed_size*/, std::int32_t factor,
                       std::int32_t month, std::int32_t day, std::int32_t year, std::int32_t hour,
                       std::int32_t minute, std::int32_t /*kind*/, const char* path,
                       const char* method, std::uint32_t crc, std::int32_t encryption) {
  try {
    std::string name = TextAt(path, kMaxListText);
    std::string folder;
    SplitEntryPath(name, folder);
    UnzipDate date = ListDate(static_cast<std::int16_t>(year), month, day,
                              static_cast<std::int16_t>(hour), static_cast<std::int16_t>(minute));
    std::string method_name = TextAt(method, kMaxListText);
    bool encrypted = (encryption & 0x40) != 0;
    if (current_unzip != nullptr) {
      ObjectAccess::AddDirectoryEntry(*current_unzip, name, folder, date,
                                      static_cast<std::int32_t>(size),
                                      static_cast<std::int32_t>(crc), encrypted,
                                      static_cast<std::int16_t>(factor), method_name);
    }
  } catch (...) {
  }
}

std::int32_t UnzipServiceCallback(const char* entry_name, std::int32_t count) {
  bool cancel = false;
  try {
    if (count < kMinCountedText || count > kMaxCountedText) return 0;
    std::string name = TextAt(entry_name, static_cast<std::size_t>(count));
    SlashesToBackslashes(name);
    if (current_unzip != nullptr) ObjectAccess::RaiseCancel(*current_unzip, name, cancel);
  } catch (...) {
  }
  return cancel ? 1 : 0;
}

}  // namespace rariduze::mUnzip
