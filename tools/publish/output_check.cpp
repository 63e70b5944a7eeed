#include "tools/publish/output_check.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <system_error>

#include "app/version.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "signing/bounded_file.h"
#include "signing/trusted_comment.h"
#include "signing/verify.h"
#include "unzip/library/zip_reader.h"
#include "unzip/unzip_object.h"

namespace rariduze::publish {
namespace fs = std::filesystem;
namespace {

// The updater saves the served version file under this name before it reads it.
constexpr char kDownloadedVersionFile[] = "ZTVersion";

// A folder's path as the updater's readers take one: ending in the separator.
std::string FolderText(const fs::path& folder) { return PathText(folder / ""); }

// True when reader yields exactly the bytes of file, and checks them.
bool SameBytes(unziplib::EntryReader& reader, const fs::path& file) {
  std::ifstream source(file, std::ios::binary);
  std::array<char, 64 * 1024> entry{};
  std::array<char, 64 * 1024> expected{};
  std::string error;
  while (true) {
    const std::int64_t got = reader.Read(entry.data(), entry.size(), &error);
    if (got < 0) return false;
    source.read(expected.data(), got);
    if (source.gcount() != got || !std::equal(entry.begin(), entry.begin() + got, expected.begin()))
      return false;
    if (got == 0) return source.peek() == std::char_traits<char>::eof();
  }
}

bool SameBytes(const fs::path& one, const fs::path& other) {
  std::ifstream a(one, std::ios::binary);
  std::ifstream b(other, std::ios::binary);
  if (!a || !b) return false;
  std::array<char, 64 * 1024> left{};
  std::array<char, 64 * 1024> right{};
  while (true) {
    a.read(left.data(), left.size());
    b.read(right.data(), right.size());
    if (a.gcount() != b.gcount() ||
        !std::equal(left.begin(), left.begin() + a.gcount(), right.begin())) {
      return false;
    }
    if (a.gcount() == 0) return !a.bad() && !b.bad();
  }
}

// The library's error messages of a run, for the publisher.
class ErrorMessages : public UnzipEvents {
 public:
  std::string text;
  void Progress(std::int32_t /*lCount*/, const std::string& sMsg) override {
    if (sMsg.rfind("error", 0) == 0) text += (text.empty() ? "" : "; ") + sMsg;
  }
};

void CheckVersionFile(const fs::path& folder, const std::string& version, const fs::path& scratch,
                      std::vector<std::string>& problems, std::string& read) {
  std::error_code error;
  fs::copy_file(folder / kVersionFile, scratch / kDownloadedVersionFile,
                fs::copy_options::overwrite_existing, error);
  read = ModuloUp::ReadDownloadedVersion(FolderText(scratch), FileSystem::Default());
  if (read != version || !ModuloUp::IsVersionText(read)) {
    problems.push_back("the updater reads the version file as \"" + read + "\", not " + version);
  }
}

void CheckSignatures(const fs::path& folder, const std::string& version, const PublicKey& key,
                     std::vector<std::string>& problems) {
  for (const char* name : {kVersionFile, kSetupArchive}) {
    const std::string signature_file = PathText(folder / name) + kSignatureSuffix;
    const BoundedFile signature =
        ReadFileUpTo(FileSystem::Default(), signature_file, kMaxSignatureFileBytes);
    if (signature.outcome != BoundedFile::Outcome::kRead) {
      problems.push_back(std::string("there is no readable signature of \"") + name + "\"");
      continue;
    }
    const Verification verification =
        VerifyFile(key, FileSystem::Default(), PathText(folder / name), signature.bytes);
    if (!verification.ok) {
      problems.push_back(std::string("the signature of \"") + name +
                         "\" does not hold with the public key: " + verification.reason);
    } else if (name == std::string(kSetupArchive) &&
               !TrustedCommentNamesVersion(verification.trusted_comment, version)) {
      problems.push_back("the trusted comment of the archive's signature, \"" +
                         verification.trusted_comment + "\", does not name version " + version);
    }
  }
}

void CheckArchive(const fs::path& folder, const std::vector<InstallerFile>& files,
                  const fs::path& scratch, std::vector<std::string>& problems) {
  const std::string archive = PathText(folder / kSetupArchive);
  ErrorMessages messages;
  cUnzip listing;
  listing.SetEventHandler(&messages);
  listing.SetZipFile(archive);
  listing.Directory();
  std::multiset<std::string> listed;
  for (std::int32_t i = 1; i <= listing.FileCount(); ++i) {
    const std::string& folder_part = listing.FileDirectory(i);
    listed.insert(folder_part.empty() ? listing.Filename(i)
                                      : folder_part + "\\" + listing.Filename(i));
  }
  std::multiset<std::string> expected;
  for (const InstallerFile& file : files) expected.insert(file.name);
  if (listed != expected || !messages.text.empty()) {
    std::string names;
    for (const std::string& name : listed) names += (names.empty() ? "\"" : ", \"") + name + "\"";
    problems.push_back("the unzip library lists other files in the archive than were put there: " +
                       (names.empty() ? "none" : names) +
                       (messages.text.empty() ? "" : " (" + messages.text + ")"));
    return;
  }

  // As the updater extracts it: every file into one folder, replacing what is there.
  const fs::path extracted = scratch / "extracted";
  cUnzip extraction;
  extraction.SetEventHandler(&messages);
  extraction.SetZipFile(archive);
  extraction.SetUnzipFolder(FolderText(extracted));
  extraction.SetOverwriteExisting(true);
  if (!extraction.Unzip()) {
    problems.push_back("the unzip library cannot extract the archive: " + messages.text);
    return;
  }
  for (const InstallerFile& file : files) {
    if (!SameBytes(file.source, extracted / Utf8Path(file.name))) {
      problems.push_back("\"" + file.name + "\" comes out of the archive other than it went in");
    }
  }
  std::error_code error;
  const fs::perms perms = fs::status(extracted / kInstaller, error).permissions();
  if (error || (perms & fs::perms::owner_exec) == fs::perms::none) {
    problems.emplace_back("\"setupZT.exe\" comes out of the archive not executable");
  }
}

// The Windows updater's unzip library reads archives with its own zip reader, not libzip:
// the archive must read the same there.
void CheckWithOwnZipReader(const fs::path& folder, const std::vector<InstallerFile>& files,
                           std::vector<std::string>& problems) {
  std::string error;
  std::unique_ptr<unziplib::Archive> archive =
      unziplib::OpenZipReaderArchive(PathText(folder / kSetupArchive), &error);
  bool same = archive != nullptr && archive->EntryCount() == files.size();
  for (std::uint64_t i = 0; same && i < files.size(); ++i) {
    unziplib::ArchiveEntry entry;
    unziplib::OpenProblem problem = unziplib::OpenProblem::kNone;
    std::unique_ptr<unziplib::EntryReader> reader;
    same = archive->Entry(i, &entry, &error) && entry.name == files[i].name &&
           (reader = archive->OpenEntry(entry, nullptr, &problem, &error)) != nullptr &&
           SameBytes(*reader, files[i].source);
  }
  if (!same) {
    problems.push_back("the Windows updater's zip reader does not read the archive as written" +
                       (error.empty() ? "" : ": " + error));
  }
}

}  // namespace

std::vector<std::string> CheckPublication(const fs::path& folder, const std::string& version,
                                          const std::vector<InstallerFile>& files,
                                          const std::optional<PublicKey>& key,
                                          const fs::path& scratch) {
  std::vector<std::string> problems;
  std::error_code error;
  fs::create_directories(scratch, error);
  std::string read;
  CheckVersionFile(folder, version, scratch, problems, read);
  if (key) CheckSignatures(folder, read, *key, problems);
  try {
    CheckArchive(folder, files, scratch, problems);
    CheckWithOwnZipReader(folder, files, problems);
  } catch (const RuntimeFailure& failure) {
    problems.push_back("the unzip library failed: " + failure.description());
  }
  return problems;
}

}  // namespace rariduze::publish
