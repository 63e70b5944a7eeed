#include "unzip/unzip_object.h"

#include <algorithm>
#include <limits>

#include "platform/failure.h"

namespace rariduze {
namespace {

std::int32_t Flag(bool bState) { return bState ? 1 : 0; }

}  // namespace

cUnzip::~cUnzip() { mUnzip::ForgetUnzip(this); }

bool cUnzip::ExtractOnlyNewer() const { return options_.fields.extract_only_newer != 0; }
void cUnzip::SetExtractOnlyNewer(bool bState) { options_.fields.extract_only_newer = Flag(bState); }
bool cUnzip::SpaceToUnderScore() const { return options_.fields.space_to_underscore != 0; }
void cUnzip::SetSpaceToUnderScore(bool bState) {
  options_.fields.space_to_underscore = Flag(bState);
}
bool cUnzip::PromptToOverwrite() const { return options_.fields.prompt_to_overwrite != 0; }
void cUnzip::SetPromptToOverwrite(bool bState) {
  options_.fields.prompt_to_overwrite = Flag(bState);
}
std::int32_t cUnzip::MessageLevel() const { return options_.fields.message_level; }
void cUnzip::SetMessageLevel(std::int32_t eLevel) { options_.fields.message_level = eLevel; }
bool cUnzip::TestZip() const { return options_.fields.test_only != 0; }
void cUnzip::SetTestZip(bool bState) { options_.fields.test_only = Flag(bState); }
bool cUnzip::UseFolderNames() const { return options_.fields.use_folder_names != 0; }
void cUnzip::SetUseFolderNames(bool bState) { options_.fields.use_folder_names = Flag(bState); }
bool cUnzip::OverwriteExisting() const { return options_.fields.overwrite_existing != 0; }
void cUnzip::SetOverwriteExisting(bool bState) {
  options_.fields.overwrite_existing = Flag(bState);
}
bool cUnzip::ConvertCRToCRLF() const { return options_.fields.convert_to_crlf != 0; }
void cUnzip::SetConvertCRToCRLF(bool bState) { options_.fields.convert_to_crlf = Flag(bState); }
bool cUnzip::CaseSensitiveFileNames() const { return options_.fields.case_sensitive_names != 0; }
void cUnzip::SetCaseSensitiveFileNames(bool bState) {
  options_.fields.case_sensitive_names = Flag(bState);
}

std::int32_t cUnzip::FileCount() const { return static_cast<std::int32_t>(entries_.size()); }

const ZipEntry& cUnzip::Entry(std::int32_t lIndex) const {
  if (lIndex < 1 || lIndex > FileCount()) throw RuntimeFailure(kFailureSubscriptOutOfRange);
  return entries_[static_cast<std::size_t>(lIndex) - 1];
}

std::string cUnzip::Filename(std::int32_t lIndex) const { return Entry(lIndex).name; }
std::string cUnzip::FileDirectory(std::int32_t lIndex) const { return Entry(lIndex).folder; }
std::int32_t cUnzip::FileSize(std::int32_t lIndex) const { return Entry(lIndex).size; }

std::int32_t cUnzip::FilePackedSize(std::int32_t lIndex) const {
  const ZipEntry& entry = Entry(lIndex);
  std::int64_t product = static_cast<std::int64_t>(entry.ratio) * entry.size;
  if (product > std::numeric_limits<std::int32_t>::max() ||
      product < std::numeric_limits<std::int32_t>::min()) {
    throw RuntimeFailure(kFailureOverflow);
  }
  return static_cast<std::int32_t>(product / 100);
}

std::int32_t cUnzip::FileCompressionRatio(std::int32_t lIndex) const { return Entry(lIndex).ratio; }
UnzipDate cUnzip::FileDate(std::int32_t lIndex) const { return Entry(lIndex).date; }
std::int32_t cUnzip::FileCRC(std::int32_t lIndex) const { return Entry(lIndex).crc; }
std::string cUnzip::FileCompressionMethod(std::int32_t lIndex) const {
  return Entry(lIndex).method;
}
bool cUnzip::FileEncrypted(std::int32_t lIndex) const { return Entry(lIndex).encrypted; }
bool cUnzip::FileSelected(std::int32_t lIndex) const { return Entry(lIndex).selected; }

void cUnzip::SetFileSelected(std::int32_t lIndex, bool bState) {
  Entry(lIndex);
  entries_[static_cast<std::size_t>(lIndex) - 1].selected = bState;
}

std::int32_t cUnzip::Directory() {
  options_.archive_path = archive_path_;
  options_.target_folder = std::string();
  options_.fields.list_only = 1;
  mUnzip::RunUnzip(*this, options_, 0, {}, 0, {});
  return 0;
}

bool cUnzip::Unzip() {
  if (!archive_path_ || archive_path_->empty()) return false;
  std::vector<std::string> includes;
  std::int32_t count = FileCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const ZipEntry& entry = entries_[static_cast<std::size_t>(i)];
    if (entry.selected) includes.push_back(ArchivePath(entry.folder, entry.name));
  }
  // Every entry selected, or none: the whole archive.
  if (static_cast<std::int32_t>(includes.size()) == count) includes.clear();
  options_.archive_path = archive_path_;
  options_.fields.list_only = 0;
  options_.target_folder = target_folder_;
  std::int32_t code = mUnzip::RunUnzip(*this, options_, static_cast<std::int32_t>(includes.size()),
                                       includes, 0, {});
  return code != 0;
}

void cUnzip::SetUnzipFolder(const std::string& sFolder) { target_folder_ = sFolder; }
std::string cUnzip::UnzipFolder() const { return target_folder_.value_or(""); }
std::string cUnzip::ZipFile() const { return archive_path_.value_or(""); }

void cUnzip::GetVersion(std::int32_t& lMajor, std::int32_t& lMinor, std::int32_t& lRevision,
                        UnzipDate& dDate, std::string& sExtraInfo) {
  mUnzip::GetVersion(lMajor, lMinor, lRevision, dDate, sExtraInfo);
}

void cUnzip::SetZipFile(const std::string& sFIle) {
  archive_path_ = sFIle;
  entries_.clear();
  entries_.shrink_to_fit();
}

void cUnzip::AddDirectoryEntry(const std::string& name, const std::string& folder, UnzipDate date,
                               std::int32_t size, std::int32_t crc, bool encrypted,
                               std::int32_t ratio, const std::string& method) {
  if (name.empty() || name == std::string(1, '\0')) return;
  entries_.push_back(ZipEntry{name, folder, size, ratio, method, date, crc, encrypted, true});
}

void cUnzip::RaiseOverwritePrompt(const std::string& name, std::int32_t& response) {
  if (events_ != nullptr) events_->OverwritePrompt(name, response);
}

void cUnzip::RaiseProgress(const std::string& text) {
  if (events_ != nullptr) events_->Progress(1, text);
}

void cUnzip::RaiseCancel(const std::string& name, bool& cancel) {
  if (events_ != nullptr) events_->Cancel(name, cancel);
}

void cUnzip::RaisePasswordRequest(std::string& password, bool& cancel) {
  if (events_ != nullptr) events_->PasswordRequest(password, cancel);
}

std::string cUnzip::ArchivePath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == std::string(1, '\0')) return name;
  std::string path = folder + "/" + name;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace rariduze
