#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unzip/unzip_binding.h"

namespace rariduze {

// The host's side of a run. Each event is raised from inside Directory or Unzip; arguments
// passed by reference carry the host's answer back and keep their value when not handled.
class UnzipEvents {
 public:
  virtual ~UnzipEvents() = default;
  // The library is about to take the entry sMsg; setting bCancel stops the run.
  virtual void Cancel(const std::string& /*sMsg*/, bool& /*bCancel*/) {}
  // May the existing file sFIle be replaced? eResponse arrives 100 (no); 102 yes, 103 yes to
  // all, 104 no to all.
  virtual void OverwritePrompt(const std::string& /*sFIle*/, std::int32_t& /*eResponse*/) {}
  // An encrypted entry needs a password; an empty one or bCancel gives none.
  virtual void PasswordRequest(std::string& /*sPassword*/, bool& /*bCancel*/) {}
  // A message of the library; lCount is always 1.
  virtual void Progress(std::int32_t /*lCount*/, const std::string& /*sMsg*/) {}
};

// One entry of a listed archive.
struct ZipEntry {
  std::string name;    // without its folder
  std::string folder;  // "\" separated, no trailing separator; empty at the top
  std::int32_t size = 0;
  std::int32_t ratio = 0;  // packed size in percent of size
  std::string method;
  UnzipDate date{};
  std::int32_t crc = 0;
  bool encrypted = false;
  bool selected = false;
};

// Extracts a zip archive, or lists its entries into a table in which entries can be selected
// for the next extraction, through the unzip library. Errors of the library call are raised as
// RuntimeFailure; a bad entry index raises 9, an overflowing packed size 6.
class cUnzip {
 public:
  cUnzip() = default;
  ~cUnzip();
  cUnzip(const cUnzip&) = delete;
  cUnzip& operator=(const cUnzip&) = delete;

  // Where the four events go; none by default. The handler must outlive the runs.
  void SetEventHandler(UnzipEvents* events) { events_ = events; }

  bool ExtractOnlyNewer() const;
  void SetExtractOnlyNewer(bool bState);
  bool SpaceToUnderScore() const;
  void SetSpaceToUnderScore(bool bState);
  bool PromptToOverwrite() const;
  void SetPromptToOverwrite(bool bState);
  std::int32_t MessageLevel() const;
  void SetMessageLevel(std::int32_t eLevel);
  bool TestZip() const;
  void SetTestZip(bool bState);
  bool UseFolderNames() const;
  void SetUseFolderNames(bool bState);
  bool OverwriteExisting() const;
  void SetOverwriteExisting(bool bState);
  bool ConvertCRToCRLF() const;
  void SetConvertCRToCRLF(bool bState);
  bool CaseSensitiveFileNames() const;
  void SetCaseSensitiveFileNames(bool bState);

  // The entry table, numbered from 1.
  std::int32_t FileCount() const;
  std::string Filename(std::int32_t lIndex) const;
  std::string FileDirectory(std::int32_t lIndex) const;
  std::int32_t FileSize(std::int32_t lIndex) const;
  std::int32_t FilePackedSize(std::int32_t lIndex) const;
  std::int32_t FileCompressionRatio(std::int32_t lIndex) const;
  UnzipDate FileDate(std::int32_t lIndex) const;
  std::int32_t FileCRC(std::int32_t lIndex) const;
  std::string FileCompressionMethod(std::int32_t lIndex) const;
  bool FileEncrypted(std::int32_t lIndex) const;
  bool FileSelected(std::int32_t lIndex) const;
  void SetFileSelected(std::int32_t lIndex, bool bState);

  // Lists the archive, appending its entries (folders left out) to the table; always 0.
  std::int32_t Directory();
  // Extracts the selected entries, or all when all or none are selected or nothing was listed.
  // True when the library did everything asked; False at once when ZipFile is empty.
  bool Unzip();

  void SetUnzipFolder(const std::string& sFolder);
  std::string UnzipFolder() const;
  std::string ZipFile() const;
  void GetVersion(std::int32_t& lMajor, std::int32_t& lMinor, std::int32_t& lRevision,
                  UnzipDate& dDate, std::string& sExtraInfo);
  // Also empties the entry table.
  void SetZipFile(const std::string& sFIle);

 private:
  friend struct mUnzip::ObjectAccess;

  void AddDirectoryEntry(const std::string& name, const std::string& folder, UnzipDate date,
                         std::int32_t size, std::int32_t crc, bool encrypted, std::int32_t ratio,
                         const std::string& method);
  void RaiseOverwritePrompt(const std::string& name, std::int32_t& response);
  void RaiseProgress(const std::string& text);
  void RaiseCancel(const std::string& name, bool& cancel);
  void RaisePasswordRequest(std::string& password, bool& cancel);

  // The entry's path as the library knows it: folder/name with "/" separators.
  static std::string ArchivePath(const std::string& folder, const std::string& name);
  const ZipEntry& Entry(std::int32_t lIndex) const;

  std::optional<std::string> archive_path_;
  std::optional<std::string> target_folder_;
  std::vector<ZipEntry> entries_;
  UnzipOptionsRecord options_;
  UnzipEvents* events_ = nullptr;
};

}  // namespace rariduze
