// The target folder on Windows: wide-character calls on "\\?\" paths, so that Windows changes no
// name; every folder on the way is held open without delete sharing, so that none can be
// renamed or swapped for a junction while files are written below it; reparse points are
// refused; no links are made.
#include <windows.h>

#include <ctime>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "unzip/library/target_folder.h"
#include "unzip/library/windows_names.h"

namespace rariduze::unziplib {
namespace {

// Open folder handles kept between entries; archives list their files folder by folder.
constexpr std::size_t kMaxOpenFolders = 256;
// Deeper paths are refused rather than walked.
constexpr std::size_t kMaxDepth = 200;
// Seconds between 1601-01-01 and 1970-01-01, and FILETIME steps per second.
constexpr long long kEpochDifference = 11644473600LL;
constexpr long long kTicksPerSecond = 10000000LL;

std::string Reason(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason =
      length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

// UTF-8 text as UTF-16; nothing when it is not well-formed.
std::optional<std::wstring> Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                   static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      wide.data(), length);
  return wide;
}

// The full form of path, with the prefix that makes Windows take every name as it stands.
std::optional<std::wstring> FullPath(const std::wstring& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::nullopt;
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
  if (length == 0 || length >= full.size()) return std::nullopt;
  full.resize(length);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  if (full.rfind(L"\\\\?\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// path + "\" + name; a drive's root already ends in the separator.
std::wstring Below(const std::wstring& path, const std::wstring& name) {
  return !path.empty() && path.back() == L'\\' ? path + name : path + L'\\' + name;
}

std::wstring TemporaryName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  wchar_t text[32];
  swprintf(text, sizeof text / sizeof text[0], L".rzx-%016llx.part",
           static_cast<unsigned long long>(random()));
  return text;
}

std::time_t FromFileTime(const FILETIME& time) {
  ULARGE_INTEGER ticks;
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return static_cast<std::time_t>(static_cast<long long>(ticks.QuadPart / kTicksPerSecond) -
                                  kEpochDifference);
}

FILETIME ToFileTime(std::time_t time) {
  ULARGE_INTEGER ticks;
  long long seconds = static_cast<long long>(time) + kEpochDifference;
  ticks.QuadPart = static_cast<ULONGLONG>(seconds > 0 ? seconds : 0) * kTicksPerSecond;
  FILETIME result;
  result.dwLowDateTime = ticks.LowPart;
  result.dwHighDateTime = ticks.HighPart;
  return result;
}

// A handle to the folder at path that keeps it from being renamed or removed, without passing
// through a reparse point at path itself; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE HoldFolder(const std::wstring& path, bool follow_reparse_point) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (!follow_reparse_point) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, flags, nullptr);
}

class WindowsPendingFile : public PendingFile {
 public:
  WindowsPendingFile(std::wstring temporary_path, std::wstring path, HANDLE file)
      : temporary_path_(std::move(temporary_path)), path_(std::move(path)), file_(file) {}
  ~WindowsPendingFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!published_) DeleteFileW(temporary_path_.c_str());
  }
  WindowsPendingFile(const WindowsPendingFile&) = delete;
  WindowsPendingFile& operator=(const WindowsPendingFile&) = delete;

  bool Write(const char* data, std::size_t size, std::string* error) override {
    while (size > 0) {
      DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(file_, data, piece, &written, nullptr) || written == 0) {
        *error = "cannot write: " + Reason(GetLastError());
        return false;
      }
      data += written;
      size -= written;
    }
    return true;
  }

  // Windows keeps no Unix permission bits; the file takes its folder's access rules.
  bool Finish(std::optional<std::uint32_t> /*permissions*/, std::time_t modified,
              std::string* error) override {
    FILETIME time = ToFileTime(modified);
    SetFileTime(file_, nullptr, nullptr, &time);
    HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) {
      *error = "cannot write: " + Reason(GetLastError());
      return false;
    }
    return true;
  }

  bool Publish(bool replace, std::string* error) override {
    // Windows refuses to replace a read-only file; said here in so many words, and the same
    // where the system would replace it all the same (Wine).
    DWORD existing = GetFileAttributesW(path_.c_str());
    if (replace && existing != INVALID_FILE_ATTRIBUTES &&
        (existing & FILE_ATTRIBUTE_READONLY) != 0) {
      *error = "cannot replace it: the file is read-only";
      return false;
    }
    DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!MoveFileExW(temporary_path_.c_str(), path_.c_str(), flags)) {
      DWORD code = GetLastError();
      *error = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS
                   ? "a file of that name appeared meanwhile"
               : code == ERROR_ACCESS_DENIED ? "cannot replace it: " + Reason(code)
                                             : "cannot rename: " + Reason(code);
      return false;
    }
    published_ = true;
    return true;
  }

 private:
  std::wstring temporary_path_;
  std::wstring path_;
  HANDLE file_;
  bool published_ = false;
};

class WindowsTargetFolder : public TargetFolder {
 public:
  WindowsTargetFolder(std::wstring root, HANDLE held) : root_(std::move(root)), held_root_(held) {}
  ~WindowsTargetFolder() override {
    ForgetFolders();
    CloseHandle(held_root_);
  }
  WindowsTargetFolder(const WindowsTargetFolder&) = delete;
  WindowsTargetFolder& operator=(const WindowsTargetFolder&) = delete;

  std::optional<std::string> NameProblem(const PathParts& path) const override {
    return WindowsNameProblem(JoinPath(path));
  }
  bool MakesLinks() const override { return false; }
  bool MakeFolder(const PathParts& parts, std::string* error) override;
  std::optional<ExistingItem> Existing(const PathParts& path) override;
  std::unique_ptr<PendingFile> CreateFile(const PathParts& path, std::string* error) override;
  std::unique_ptr<PendingFile> CreateLink(const PathParts& path, const std::string& target,
                                          std::string* error) override;

 private:
  // The wide path of parts below the root; nothing when a part is no well-formed UTF-8.
  std::optional<std::wstring> PathOf(const PathParts& parts, std::string* error) const;
  void ForgetFolders();

  std::wstring root_;
  HANDLE held_root_;
  std::map<std::wstring, HANDLE> held_folders_;  // full path -> handle
};

void WindowsTargetFolder::ForgetFolders() {
  for (auto& [path, handle] : held_folders_) CloseHandle(handle);
  held_folders_.clear();
}

std::optional<std::wstring> WindowsTargetFolder::PathOf(const PathParts& parts,
                                                        std::string* error) const {
  std::wstring path = root_;
  for (const std::string& part : parts) {
    std::optional<std::wstring> wide = Widen(part);
    if (!wide) {
      *error = "the name " + part + " is not well-formed UTF-8";
      return std::nullopt;
    }
    path = Below(path, *wide);
  }
  return path;
}

bool WindowsTargetFolder::MakeFolder(const PathParts& parts, std::string* error) {
  if (parts.size() > kMaxDepth) {
    *error = "folders nested too deeply";
    return false;
  }
  if (held_folders_.size() + parts.size() > kMaxOpenFolders) ForgetFolders();
  std::wstring path = root_;
  std::string shown;
  for (const std::string& part : parts) {
    std::optional<std::wstring> wide = Widen(part);
    if (!wide) {
      *error = "the name " + part + " is not well-formed UTF-8";
      return false;
    }
    path = Below(path, *wide);
    shown += part;
    shown += '/';
    if (held_folders_.count(path) != 0) continue;
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = "cannot create the folder " + shown + ": " + Reason(GetLastError());
      return false;
    }
    HANDLE held = HoldFolder(path, false);
    if (held == INVALID_HANDLE_VALUE) {
      *error = "cannot open the folder " + shown + ": " + Reason(GetLastError());
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    bool known = GetFileInformationByHandle(held, &info) != 0;
    // Asked by name as well, now that the folder is held: Wine shows a link made on the Linux
    // side as a reparse point by name only, and opens its target through the handle.
    DWORD by_name = GetFileAttributesW(path.c_str());
    bool link =
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (by_name != INVALID_FILE_ATTRIBUTES && (by_name & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    if (!known || link || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      CloseHandle(held);
      *error = !known ? "cannot examine the folder " + shown
               : link ? shown + " is a link or junction; nothing is written through it"
                      : shown + " is a file, not a folder";
      return false;
    }
    held_folders_.emplace(path, held);
  }
  return true;
}

std::optional<ExistingItem> WindowsTargetFolder::Existing(const PathParts& path) {
  std::string ignored;
  std::optional<std::wstring> wide = PathOf(path, &ignored);
  if (!wide) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  ExistingItem item;
  item.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ItemKind::kLink
              : (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? ItemKind::kFolder
                                                                          : ItemKind::kFile;
  item.modified = FromFileTime(data.ftLastWriteTime);
  return item;
}

std::unique_ptr<PendingFile> WindowsTargetFolder::CreateFile(const PathParts& path,
                                                             std::string* error) {
  PathParts parent(path.begin(), path.end() - 1);
  if (!MakeFolder(parent, error)) return nullptr;
  std::optional<std::wstring> folder = PathOf(parent, error);
  std::optional<std::wstring> final_path = PathOf(path, error);
  if (!folder || !final_path) return nullptr;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::wstring temporary = Below(*folder, TemporaryName());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      return std::make_unique<WindowsPendingFile>(temporary, *final_path, file);
    }
    DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      *error = "cannot create a file: " + Reason(code);
      return nullptr;
    }
  }
  *error = "cannot find a free temporary name";
  return nullptr;
}

std::unique_ptr<PendingFile> WindowsTargetFolder::CreateLink(const PathParts& /*path*/,
                                                             const std::string& /*target*/,
                                                             std::string* error) {
  *error = "symbolic links are not made on this system";
  return nullptr;
}

}  // namespace

std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string* error) {
  std::optional<std::wstring> wide = Widen(path);
  std::optional<std::wstring> root = wide ? FullPath(*wide) : std::nullopt;
  if (!root) {
    *error = "cannot open the target folder " + path + ": not a usable path";
    return nullptr;
  }
  // Make the folder and its missing parents, topmost first.
  std::vector<std::wstring> missing;
  for (std::wstring at = *root; GetFileAttributesW(at.c_str()) == INVALID_FILE_ATTRIBUTES;) {
    missing.insert(missing.begin(), at);
    std::size_t cut = at.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut <= 3) break;
    at.erase(cut);
  }
  for (const std::wstring& folder : missing) CreateDirectoryW(folder.c_str(), nullptr);
  // The folder itself may be a junction the user made; below it none is followed.
  HANDLE held = HoldFolder(*root, true);
  if (held == INVALID_HANDLE_VALUE) {
    *error = "cannot open the target folder " + path + ": " + Reason(GetLastError());
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(held, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    CloseHandle(held);
    *error = "cannot open the target folder " + path + ": not a folder";
    return nullptr;
  }
  return std::make_unique<WindowsTargetFolder>(*root, held);
}

std::optional<std::uint64_t> FreeSpaceFor(const std::string& path) {
  std::optional<std::wstring> wide = Widen(path);
  std::optional<std::wstring> at = wide ? FullPath(*wide) : std::nullopt;
  if (!at) return std::nullopt;
  // The folder may not be there yet: its nearest existing parent tells the volume.
  for (;;) {
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExW(Below(*at, L"").c_str(), &available, nullptr, nullptr)) {
      return available.QuadPart;
    }
    std::size_t cut = at->find_last_of(L'\\');
    if (cut == std::wstring::npos || cut <= 3) return std::nullopt;
    at->erase(cut);
  }
}

}  // namespace rariduze::unziplib
