#include "unzip/library/listing.h"

#include <algorithm>
#include <ctime>

#include "platform/system_code_page.h"
#include "unzip/library/local_time.h"

namespace rariduze::unziplib {
namespace {

char KindLetter(EntryKind kind) {
  switch (kind) {
    case EntryKind::kFolder:
      return 'd';
    case EntryKind::kSymlink:
      return 'l';
    case EntryKind::kFile:
      break;
  }
  return '-';
}

// Callers take the callback's sizes as signed 32-bit values: larger sizes are shown as the
// largest such value rather than wrapped.
std::uint32_t ListedSize(std::uint64_t size) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, 0x7fffffff));
}

}  // namespace

std::int32_t PackedPercent(std::uint64_t size, std::uint64_t packed_size) {
  if (size == 0) return 0;
  // The callback carries the value in 16 bits; hostile sizes are clamped, not wrapped.
  long double percent = (static_cast<long double>(packed_size) * 100.0L) / size + 0.5L;
  return static_cast<std::int32_t>(std::min<long double>(percent, 32767.0L));
}

bool ListArchive(const Archive& archive, const Host& host) {
  bool complete = true;
  for (std::uint64_t i = 0; i < archive.EntryCount(); ++i) {
    ArchiveEntry entry;
    std::string error;
    if (!archive.Entry(i, &entry, &error)) {
      host.Complain("error: entry " + std::to_string(i + 1) + " cannot be read: " + error);
      complete = false;
      continue;
    }
    std::tm local = LocalCalendarTime(entry.modified);
    ListedEntry listed;
    listed.size = ListedSize(entry.size);
    listed.packed_size = ListedSize(entry.packed_size);
    listed.factor = PackedPercent(entry.size, entry.packed_size);
    listed.month = local.tm_mon + 1;
    listed.day = local.tm_mday;
    listed.year = local.tm_year + 1900;
    listed.hour = local.tm_hour;
    listed.minute = local.tm_min;
    listed.kind = KindLetter(entry.kind);
    listed.path = entry.name;
    listed.method = MethodName(entry.method);
    listed.crc = entry.crc;
    listed.encrypted = entry.encrypted;
    if (!host.List(listed)) {
      host.Complain("error: entry " + std::to_string(i + 1) + " (" + entry.name +
                    ") is not listed: the system code page " + std::to_string(SystemCodePage()) +
                    " cannot hold its name");
      complete = false;
    }
  }
  return complete;
}

}  // namespace rariduze::unziplib
