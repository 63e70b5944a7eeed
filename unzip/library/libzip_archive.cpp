#include "unzip/library/libzip_archive.h"

#include <zip.h>

#include <algorithm>

namespace rariduze::unziplib {
namespace {

std::string ArchiveErrorText(zip_t* archive) {
  const char* text = zip_strerror(archive);
  return text != nullptr ? text : "unknown error";
}

class LibzipEntryReader : public EntryReader {
 public:
  LibzipEntryReader(zip_file_t* file, std::uint64_t expected_size)
      : file_(file), expected_size_(expected_size) {}
  ~LibzipEntryReader() override { zip_fclose(file_); }
  LibzipEntryReader(const LibzipEntryReader&) = delete;
  LibzipEntryReader& operator=(const LibzipEntryReader&) = delete;

  std::int64_t Read(char* buffer, std::size_t size, std::string* error) override;

 private:
  zip_file_t* file_;
  std::uint64_t expected_size_;
  std::uint64_t read_ = 0;
};

std::int64_t LibzipEntryReader::Read(char* buffer, std::size_t size, std::string* error) {
  // Never read past the declared size: a hostile entry may inflate without end.
  std::uint64_t left = expected_size_ - read_;
  std::size_t asked = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
  if (asked == 0) {
    // One more byte tells an entry that holds more than it declares; the final read also makes
    // the library compare the CRC.
    char extra = 0;
    zip_int64_t n = zip_fread(file_, &extra, 1);
    if (n < 0) {
      *error = zip_file_strerror(file_);
      return -1;
    }
    if (n > 0) {
      *error = "the entry holds more data than its size says";
      return -1;
    }
    return 0;
  }
  zip_int64_t n = zip_fread(file_, buffer, asked);
  if (n < 0) {
    *error = zip_file_strerror(file_);
    return -1;
  }
  if (n == 0) {
    *error = "the entry ends before its size says";
    return -1;
  }
  read_ += static_cast<std::uint64_t>(n);
  return n;
}

class LibzipArchive : public Archive {
 public:
  explicit LibzipArchive(zip_t* archive)
      : archive_(archive), count_(static_cast<std::uint64_t>(zip_get_num_entries(archive, 0))) {}
  ~LibzipArchive() override { zip_discard(archive_); }
  LibzipArchive(const LibzipArchive&) = delete;
  LibzipArchive& operator=(const LibzipArchive&) = delete;

  std::uint64_t EntryCount() const override { return count_; }
  bool Entry(std::uint64_t index, ArchiveEntry* entry, std::string* error) const override;
  std::unique_ptr<EntryReader> OpenEntry(const ArchiveEntry& entry, const char* password,
                                         OpenProblem* problem, std::string* error) override;

 private:
  zip_t* archive_;
  std::uint64_t count_;
};

bool LibzipArchive::Entry(std::uint64_t index, ArchiveEntry* entry, std::string* error) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, index, 0, &st) != 0 || st.name == nullptr) {
    *error = ArchiveErrorText(archive_);
    return false;
  }
  entry->index = index;
  entry->name = st.name;
  std::replace(entry->name.begin(), entry->name.end(), '\\', '/');
  entry->size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
  entry->packed_size = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
  entry->crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
  entry->method = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : 0;
  entry->encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
  entry->modified = (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;

  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  entry->unix_mode.reset();
  if (zip_file_get_external_attributes(archive_, index, 0, &system, &attributes) == 0) {
    entry->unix_mode = UnixModeOf(system, attributes);
  }
  entry->kind = KindOf(entry->name, entry->unix_mode);
  return true;
}

std::unique_ptr<EntryReader> LibzipArchive::OpenEntry(const ArchiveEntry& entry,
                                                      const char* password, OpenProblem* problem,
                                                      std::string* error) {
  *problem = OpenProblem::kNone;
  zip_file_t* file = entry.encrypted && password != nullptr
                         ? zip_fopen_index_encrypted(archive_, entry.index, 0, password)
                         : zip_fopen_index(archive_, entry.index, 0);
  if (file == nullptr) {
    int code = zip_error_code_zip(zip_get_error(archive_));
    switch (code) {
      case ZIP_ER_NOPASSWD:
        *problem = OpenProblem::kNeedsPassword;
        break;
      case ZIP_ER_WRONGPASSWD:
        *problem = OpenProblem::kWrongPassword;
        break;
      case ZIP_ER_COMPNOTSUPP:
      case ZIP_ER_ENCRNOTSUPP:
        *problem = OpenProblem::kUnsupported;
        break;
      default:
        *problem = OpenProblem::kDamaged;
        break;
    }
    *error = ArchiveErrorText(archive_);
    zip_error_clear(archive_);
    return nullptr;
  }
  return std::make_unique<LibzipEntryReader>(file, entry.size);
}

}  // namespace

std::unique_ptr<Archive> OpenLibzipArchive(const std::string& path, std::string* error) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (archive == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, code);
    *error = zip_error_strerror(&reason);
    zip_error_fini(&reason);
    return nullptr;
  }
  if (zip_get_num_entries(archive, 0) < 0) {
    *error = ArchiveErrorText(archive);
    zip_discard(archive);
    return nullptr;
  }
  return std::make_unique<LibzipArchive>(archive);
}

}  // namespace rariduze::unziplib
