#include "unzip/library/extraction.h"

#include <limits>
#include <memory>
#include <vector>

#include "unzip/library/entry_path.h"
#include "unzip/library/line_endings.h"
#include "unzip/library/target_folder.h"

namespace rariduze::unziplib {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Longer link targets are refused; the system allows no more.
constexpr std::uint64_t kMaxLinkTarget = 4095;
// No extraction writes more than this, whatever room the target has.
constexpr std::uint64_t kMaxTotalSize = 4ull << 30;

enum class Outcome { kDone, kSkipped, kFailed };

class Extraction {
 public:
  Extraction(Archive& archive, const ExtractionSettings& settings, const Host& host)
      : archive_(archive), settings_(settings), host_(host), buffer_(kBufferSize) {}

  bool Run(NameFilter& filter);

 private:
  Outcome Handle(const ArchiveEntry& entry);
  Outcome Test(const ArchiveEntry& entry);
  Outcome MakeFolder(const ArchiveEntry& entry, const PathParts& parts);
  Outcome Write(const ArchiveEntry& entry, const PathParts& out);
  // Whether an existing file at the entry's place may be replaced; says why not.
  Outcome MayReplace(const ArchiveEntry& entry, const ExistingItem& existing,
                     const std::string& shown);
  // False, with a message, when the entries the filter takes need more room than the target's
  // file system has, or more than any extraction may write.
  bool RoomFor(NameFilter& filter);
  // Opens the entry's data, asking for a password when it is encrypted.
  std::unique_ptr<EntryReader> OpenData(const ArchiveEntry& entry, const std::string& shown);
  // Reads the whole entry into sink, piece by piece; false when the data is damaged.
  template <typename Sink>
  bool Pour(EntryReader& reader, const std::string& shown, Sink sink);

  Outcome Fail(const std::string& text) {
    host_.Complain(text);
    return Outcome::kFailed;
  }

  Archive& archive_;
  const ExtractionSettings& settings_;
  const Host& host_;
  std::unique_ptr<TargetFolder> target_;
  std::vector<char> buffer_;
  std::optional<std::string> password_;  // the last one that opened an entry
  bool replace_all_ = false;
  bool replace_none_ = false;
};

bool Extraction::RoomFor(NameFilter& filter) {
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < archive_.EntryCount(); ++i) {
    ArchiveEntry entry;
    std::string ignored;
    if (!archive_.Entry(i, &entry, &ignored) || entry.kind == EntryKind::kFolder ||
        !filter.Takes(entry.name)) {
      continue;
    }
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    total = entry.size > kMost - total ? kMost : total + entry.size;
  }
  const std::string& folder = *settings_.target_folder;
  if (total > kMaxTotalSize) {
    host_.Complain("error: the archive's files need " + std::to_string(total) +
                   " bytes, more than the 4 GiB an extraction may write; nothing extracted");
    return false;
  }
  std::optional<std::uint64_t> free = FreeSpaceFor(folder);
  if (free && total > *free) {
    host_.Complain("error: the archive's files need " + std::to_string(total) + " bytes, but " +
                   folder + " has only " + std::to_string(*free) +
                   " bytes free; nothing extracted");
    return false;
  }
  return true;
}

bool Extraction::Run(NameFilter& filter) {
  if (!settings_.test_only) {
    if (!settings_.target_folder || settings_.target_folder->empty()) {
      host_.Complain("error: no target folder given");
      return false;
    }
    if (!RoomFor(filter)) return false;
    std::string error;
    target_ = OpenTargetFolder(*settings_.target_folder, &error);
    if (!target_) {
      host_.Complain("error: " + error);
      return false;
    }
  }
  bool all_done = true;
  for (std::uint64_t i = 0; i < archive_.EntryCount(); ++i) {
    ArchiveEntry entry;
    std::string error;
    if (!archive_.Entry(i, &entry, &error)) {
      all_done = false;
      host_.Complain("error: entry " + std::to_string(i + 1) + " cannot be read: " + error);
      continue;
    }
    if (!filter.Takes(entry.name)) continue;
    if (host_.AskStop(entry.name)) {
      host_.Complain("stopped before " + entry.name + ": cancelled");
      return false;
    }
    if (Handle(entry) == Outcome::kFailed) all_done = false;
  }
  for (const std::string& name : filter.UnmatchedIncludes()) {
    host_.Complain("no entry named " + name);
    all_done = false;
  }
  return all_done;
}

Outcome Extraction::Handle(const ArchiveEntry& entry) {
  if (settings_.test_only) return Test(entry);
  std::string problem;
  std::optional<PathParts> parts = RelativeEntryPath(entry.name, &problem);
  if (!parts) return Fail("refused " + entry.name + ": " + problem);
  if (entry.kind == EntryKind::kFolder) return MakeFolder(entry, *parts);
  PathParts out = OutputPath(*parts, settings_.use_folder_names, settings_.space_to_underscore);
  if (out.empty()) return Fail("refused " + entry.name + ": empty name");
  if (std::optional<std::string> name_problem = target_->NameProblem(out)) {
    return Fail("refused " + entry.name + ": " + *name_problem);
  }
  if (entry.kind == EntryKind::kSymlink && !target_->MakesLinks()) {
    return Fail("refused " + entry.name + ": symbolic links are not made on this system");
  }
  return Write(entry, out);
}

Outcome Extraction::Test(const ArchiveEntry& entry) {
  if (entry.kind == EntryKind::kFolder) return Outcome::kDone;
  std::unique_ptr<EntryReader> reader = OpenData(entry, entry.name);
  if (!reader) return Outcome::kFailed;
  if (!Pour(*reader, entry.name, [](const char*, std::size_t) { return true; })) {
    return Outcome::kFailed;
  }
  host_.Tell("tested " + entry.name + ": OK");
  return Outcome::kDone;
}

Outcome Extraction::MakeFolder(const ArchiveEntry& entry, const PathParts& parts) {
  // Without folder names there is nothing to make: the files go to the top.
  if (!settings_.use_folder_names || parts.empty()) return Outcome::kDone;
  PathParts out = OutputPath(parts, true, settings_.space_to_underscore);
  if (std::optional<std::string> problem = target_->NameProblem(out)) {
    return Fail("refused " + entry.name + ": " + *problem);
  }
  std::string error;
  if (!target_->MakeFolder(out, &error)) return Fail("refused " + entry.name + ": " + error);
  host_.Tell("folder " + JoinPath(out) + "/");
  return Outcome::kDone;
}

Outcome Extraction::MayReplace(const ArchiveEntry& entry, const ExistingItem& existing,
                               const std::string& shown) {
  if (existing.kind == ItemKind::kFolder) {
    return Fail("skipped " + shown + ": a folder of that name exists");
  }
  if (settings_.only_newer && existing.modified >= entry.modified) {
    host_.Tell("skipped " + shown + ": the existing file is not older");
    return Outcome::kSkipped;
  }
  // Asking for newer files only is asking for older copies to be replaced.
  if (settings_.overwrite_existing || (settings_.only_newer && !settings_.prompt_to_overwrite)) {
    return Outcome::kDone;
  }
  if (!settings_.prompt_to_overwrite) return Fail("skipped " + shown + ": it already exists");
  if (replace_all_) return Outcome::kDone;
  if (!replace_none_) {
    switch (host_.AskReplace(shown)) {
      case UNZIP_REPLACE_ALL:
        replace_all_ = true;
        return Outcome::kDone;
      case UNZIP_REPLACE_YES:
        return Outcome::kDone;
      case UNZIP_REPLACE_NONE:
        replace_none_ = true;
        break;
      default:
        break;
    }
  }
  return Fail("skipped " + shown + ": not replaced");
}

std::unique_ptr<EntryReader> Extraction::OpenData(const ArchiveEntry& entry,
                                                  const std::string& shown) {
  OpenProblem problem = OpenProblem::kNone;
  std::string error;
  std::unique_ptr<EntryReader> reader =
      archive_.OpenEntry(entry, password_ ? password_->c_str() : nullptr, &problem, &error);
  if (problem == OpenProblem::kNeedsPassword || problem == OpenProblem::kWrongPassword) {
    std::optional<std::string> given = host_.AskPassword(entry.name);
    if (!given) {
      Fail("skipped " + shown + ": no password given");
      return nullptr;
    }
    reader = archive_.OpenEntry(entry, given->c_str(), &problem, &error);
    if (problem == OpenProblem::kNeedsPassword || problem == OpenProblem::kWrongPassword) {
      Fail("skipped " + shown + ": wrong password");
      return nullptr;
    }
    if (reader) password_ = std::move(given);
  }
  if (!reader) {
    Fail((problem == OpenProblem::kUnsupported ? "skipped " : "error: ") + shown + ": " + error);
  }
  return reader;
}

template <typename Sink>
bool Extraction::Pour(EntryReader& reader, const std::string& shown, Sink sink) {
  for (;;) {
    std::string error;
    std::int64_t n = reader.Read(buffer_.data(), buffer_.size(), &error);
    if (n == 0) return true;
    if (n < 0) {
      std::string text = "error: " + shown;
      text += ": ";
      text += error;
      text += " (nothing written)";
      Fail(text);
      return false;
    }
    if (!sink(buffer_.data(), static_cast<std::size_t>(n))) return false;
  }
}

Outcome Extraction::Write(const ArchiveEntry& entry, const PathParts& out) {
  std::string shown = JoinPath(out);
  PathParts folder_parts(out.begin(), out.end() - 1);
  std::string error;
  if (!target_->MakeFolder(folder_parts, &error))
    return Fail("refused " + entry.name + ": " + error);

  std::optional<ExistingItem> existing = target_->Existing(out);
  if (existing) {
    Outcome may = MayReplace(entry, *existing, shown);
    if (may != Outcome::kDone) return may;
  }

  std::unique_ptr<EntryReader> reader = OpenData(entry, shown);
  if (!reader) return Outcome::kFailed;

  std::unique_ptr<PendingFile> pending;
  std::optional<std::uint32_t> permissions;
  if (entry.kind == EntryKind::kSymlink) {
    if (entry.size > kMaxLinkTarget) return Fail("refused " + shown + ": link target too long");
    std::string target;
    bool read = Pour(*reader, shown, [&target](const char* data, std::size_t size) {
      target.append(data, size);
      return true;
    });
    if (!read) return Outcome::kFailed;
    if (target.find('\0') != std::string::npos || !LinkTargetStaysInside(target)) {
      return Fail("refused " + shown + ": symbolic link to " + target +
                  " would lead outside the target folder");
    }
    pending = target_->CreateLink(out, target, &error);
    if (!pending) return Fail("error: " + shown + ": " + error);
  } else {
    pending = target_->CreateFile(out, &error);
    if (!pending) return Fail("error: " + shown + ": " + error);
    CrlfConverter converter;
    bool written = Pour(*reader, shown, [&](const char* data, std::size_t size) {
      bool ok;
      if (settings_.convert_to_crlf) {
        const std::string& converted = converter.Convert(data, size);
        ok = pending->Write(converted.data(), converted.size(), &error);
      } else {
        ok = pending->Write(data, size, &error);
      }
      if (!ok) Fail("error: " + shown + ": " + error);
      return ok;
    });
    if (!written) return Outcome::kFailed;
    // Permission bits only; set-id bits from an archive are never honoured.
    if (entry.unix_mode && (*entry.unix_mode & 0777) != 0) permissions = *entry.unix_mode & 0777;
  }
  if (!pending->Finish(permissions, entry.modified, &error) ||
      !pending->Publish(existing.has_value(), &error)) {
    return Fail("error: " + shown + ": " + error);
  }
  host_.Tell((entry.kind == EntryKind::kSymlink ? "linked " : "extracted ") + shown);
  return Outcome::kDone;
}

}  // namespace

bool ExtractArchive(Archive& archive, NameFilter& filter, const ExtractionSettings& settings,
                    const Host& host) {
  return Extraction(archive, settings, host).Run(filter);
}

}  // namespace rariduze::unziplib
