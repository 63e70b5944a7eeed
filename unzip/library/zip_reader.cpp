#include "unzip/library/zip_reader.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "unzip/library/zip_directory_end.h"
#include "unzip/library/zip_entry_stream.h"
#include "unzip/library/zip_format.h"
#include "unzip/library/zip_headers.h"
#include "unzip/library/zip_names.h"

namespace rariduze::unziplib {
namespace {

using namespace zipformat;

// A DOS date and time (local time, two-second steps) as the system counts time; out-of-range
// fields carry over as mktime makes them.
std::time_t DosTime(std::uint16_t date, std::uint16_t time) {
  std::tm when{};
  when.tm_year = ((date >> 9) & 0x7f) + 80;
  when.tm_mon = ((date >> 5) & 0x0f) - 1;
  when.tm_mday = date & 0x1f;
  when.tm_hour = (time >> 11) & 0x1f;
  when.tm_min = (time >> 5) & 0x3f;
  when.tm_sec = (time & 0x1f) * 2;
  when.tm_isdst = -1;
  return std::mktime(&when);
}

std::string NameOf(const CentralRecord& record) {
  std::string name = EntryNameToUtf8(record.stored_name, record.unicode_path);
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

class ZipReaderArchive : public Archive {
 public:
  ZipReaderArchive(std::unique_ptr<ByteSource> source, DirectoryEnd end,
                   std::vector<CentralRecord> records)
      : source_(std::move(source)), end_(end), records_(std::move(records)) {}

  std::uint64_t EntryCount() const override { return records_.size(); }
  bool Entry(std::uint64_t index, ArchiveEntry* entry, std::string* error) const override;
  std::unique_ptr<EntryReader> OpenEntry(const ArchiveEntry& entry, const char* password,
                                         OpenProblem* problem, std::string* error) override;

 private:
  std::unique_ptr<EntryReader> Refuse(OpenProblem kind, const std::string& text,
                                      OpenProblem* problem, std::string* error) {
    *problem = kind;
    *error = text;
    return nullptr;
  }

  std::unique_ptr<ByteSource> source_;
  DirectoryEnd end_;
  std::vector<CentralRecord> records_;
};

bool ZipReaderArchive::Entry(std::uint64_t index, ArchiveEntry* entry, std::string* error) const {
  if (index >= records_.size()) {
    *error = "no such entry";
    return false;
  }
  const CentralRecord& record = records_[index];
  entry->index = index;
  entry->name = NameOf(record);
  entry->size = record.size;
  entry->packed_size = record.packed_size;
  entry->crc = record.crc;
  entry->method = record.method;
  entry->encrypted = (record.flags & kFlagEncrypted) != 0;
  entry->modified = DosTime(record.dos_date, record.dos_time);
  entry->unix_mode = UnixModeOf(record.made_by_system, record.external_attributes);
  entry->kind = KindOf(entry->name, entry->unix_mode);
  return true;
}

std::unique_ptr<EntryReader> ZipReaderArchive::OpenEntry(const ArchiveEntry& entry,
                                                         const char* password, OpenProblem* problem,
                                                         std::string* error) {
  *problem = OpenProblem::kNone;
  if (entry.index >= records_.size()) {
    return Refuse(OpenProblem::kDamaged, "no such entry", problem, error);
  }
  const CentralRecord& record = records_[entry.index];
  const bool encrypted = (record.flags & kFlagEncrypted) != 0;
  if (record.aes || (encrypted && (record.flags & kFlagStrongEncryption) != 0)) {
    return Refuse(OpenProblem::kUnsupported, "encryption method not supported", problem, error);
  }
  if ((record.flags & kFlagMaskedHeaders) != 0) {
    return Refuse(OpenProblem::kUnsupported, "encrypted headers are not supported", problem, error);
  }
  if (record.method != kMethodStored && record.method != kMethodDeflated) {
    return Refuse(OpenProblem::kUnsupported,
                  "compression method not supported (" + MethodName(record.method) + ")", problem,
                  error);
  }

  // The entry's data lies before the central directory.
  const std::uint64_t limit = end_.directory_offset;
  LocalHeader local;
  std::string reason;
  if (!ReadLocalHeader(*source_, record.local_offset, limit, &local, &reason)) {
    return Refuse(OpenProblem::kDamaged, reason, problem, error);
  }
  if (local.method != record.method && !record.aes) {
    return Refuse(OpenProblem::kDamaged, "the local header's method disagrees with the directory",
                  problem, error);
  }
  if ((local.flags & kFlagEncrypted) != (record.flags & kFlagEncrypted)) {
    return Refuse(OpenProblem::kDamaged,
                  "the local header's encryption disagrees with the directory", problem, error);
  }
  const bool descriptor = (local.flags & kFlagDataDescriptor) != 0;
  if (!descriptor && (local.crc != record.crc || (local.size && *local.size != record.size) ||
                      (local.packed_size && *local.packed_size != record.packed_size))) {
    return Refuse(OpenProblem::kDamaged, "the local header disagrees with the directory", problem,
                  error);
  }
  if (local.data_offset > limit || record.packed_size > limit - local.data_offset) {
    return Refuse(OpenProblem::kDamaged, "the entry's data runs into the central directory",
                  problem, error);
  }

  EntryData data;
  data.offset = local.data_offset;
  data.packed_size = record.packed_size;
  data.size = record.size;
  data.crc = record.crc;
  data.deflated = record.method == kMethodDeflated;
  data.descriptor = descriptor;
  data.descriptor_packed_size = record.packed_size;
  data.descriptor_limit = limit;

  std::optional<TraditionalDecryptor> decryptor;
  if (encrypted) {
    if (password == nullptr) {
      return Refuse(OpenProblem::kNeedsPassword, "a password is needed", problem, error);
    }
    unsigned char header[TraditionalDecryptor::kHeaderSize];
    if (data.packed_size < sizeof header || !source_->ReadAt(data.offset, header, sizeof header)) {
      return Refuse(OpenProblem::kDamaged, "the entry's encryption header is missing", problem,
                    error);
    }
    // With a data descriptor the CRC was not known when the header was made; the time stands in.
    auto check = static_cast<std::uint8_t>(descriptor ? local.dos_time >> 8 : record.crc >> 24);
    decryptor.emplace(password);
    if (!decryptor->AcceptHeader(header, check)) {
      return Refuse(OpenProblem::kWrongPassword, "wrong password", problem, error);
    }
    data.offset += sizeof header;
    data.packed_size -= sizeof header;
  }
  if (!data.deflated && data.packed_size != data.size) {
    return Refuse(OpenProblem::kDamaged, "the stored entry's sizes disagree", problem, error);
  }
  return OpenEntryStream(*source_, data, decryptor);
}

}  // namespace

std::unique_ptr<Archive> OpenZipReaderArchive(std::unique_ptr<ByteSource> source,
                                              std::string* error) {
  DirectoryEnd end;
  if (!FindDirectoryEnd(*source, &end, error)) return nullptr;
  std::vector<unsigned char> directory(static_cast<std::size_t>(end.directory_size));
  if (!source->ReadAt(end.directory_offset, directory.data(), directory.size())) {
    *error = "cannot read the central directory";
    return nullptr;
  }
  std::vector<CentralRecord> records;
  FieldReader fields(directory.data(), directory.size());
  for (std::uint64_t i = 0; i < end.entry_count; ++i) {
    CentralRecord record;
    if (!ReadCentralRecord(fields, &record, error)) return nullptr;
    records.push_back(std::move(record));
  }
  if (fields.left() != 0) {
    *error = "the central directory holds more than its entries";
    return nullptr;
  }
  return std::make_unique<ZipReaderArchive>(std::move(source), end, std::move(records));
}

std::unique_ptr<Archive> OpenZipReaderArchive(const std::string& path, std::string* error) {
  std::unique_ptr<ByteSource> source = OpenFileSource(path, error);
  if (!source) return nullptr;
  return OpenZipReaderArchive(std::move(source), error);
}

}  // namespace rariduze::unziplib
