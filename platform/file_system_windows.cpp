#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/wide_text_windows.h"
#include "platform/windows_api.h"

namespace rariduze {
namespace {

constexpr int kFailureFileAccess = 75;

RuntimeFailure FileFailure(const std::string& what, const std::string& path, DWORD error) {
  int number = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                   ? kFailurePathNotFound
                   : kFailureFileAccess;
  return RuntimeFailure(number, what + " \"" + path + "\": " + SystemErrorText(error));
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Small writes are gathered and handed to the system in larger pieces: a download writes
// 2 KiB at a time.
constexpr std::size_t kWriteBufferSize = 16 * 1024;

class WindowsWritableFile : public WritableFile {
 public:
  WindowsWritableFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  ~WindowsWritableFile() override {
    try {
      Close();
    } catch (const RuntimeFailure&) {
      // Nobody is left to tell; the bytes that did reach the file stay.
    }
  }

  void Write(const char* data, std::size_t size) override {
    if (file_ == INVALID_HANDLE_VALUE) throw RuntimeFailure(52, "Bad file name or number");
    if (size > kWriteBufferSize - held_) Flush();
    if (size >= kWriteBufferSize) {
      if (!WriteAll(file_, data, size)) throw FileFailure("Cannot write", path_, ::GetLastError());
      return;
    }
    std::memcpy(buffer_ + held_, data, size);
    held_ += size;
  }
  void Flush() override {
    if (held_ == 0) return;
    // Whatever fails to go out is dropped, so one failure is raised once.
    std::size_t size = std::exchange(held_, 0);
    if (!WriteAll(file_, buffer_, size)) throw FileFailure("Cannot write", path_, ::GetLastError());
  }
  void Seek(std::int64_t position) override {
    if (file_ == INVALID_HANDLE_VALUE) throw RuntimeFailure(52, "Bad file name or number");
    Flush();
    LARGE_INTEGER distance;
    distance.QuadPart = position;
    if (!::SetFilePointerEx(file_, distance, nullptr, FILE_BEGIN)) {
      throw FileFailure("Cannot seek in", path_, ::GetLastError());
    }
  }
  // The handle is closed even when the last bytes cannot be written; that failure is raised.
  void Close() override {
    if (file_ == INVALID_HANDLE_VALUE) return;
    bool written = true;
    DWORD error = 0;
    if (held_ > 0) {
      written = WriteAll(file_, buffer_, std::exchange(held_, 0));
      if (!written) error = ::GetLastError();
    }
    if (!::CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE)) && written) {
      written = false;
      error = ::GetLastError();
    }
    if (!written) throw FileFailure("Cannot write", path_, error);
  }

 private:
  HANDLE file_;
  std::string path_;
  char buffer_[kWriteBufferSize];
  std::size_t held_ = 0;  // bytes at the front of buffer_ not yet written
};

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return !path.empty() &&
         ::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, data) != 0;
}

class WindowsFileSystem : public FileSystem {
 public:
  bool Exists(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return Attributes(path, &data);
  }

  std::optional<std::int64_t> Length(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Attributes(path, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return std::nullopt;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool Remove(const std::string& path) override {
    if (path.empty()) return true;
    if (::DeleteFileW(WidePath(path).c_str())) return true;
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

  bool RemoveEmptyFolder(const std::string& path) override {
    if (path.empty()) return false;
    if (::RemoveDirectoryW(WidePath(path).c_str())) return true;
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

  std::optional<std::string> ReadPrefix(const std::string& path, std::size_t max_bytes) override {
    if (path.empty()) return std::nullopt;
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string contents;
    char buffer[8192];
    bool failed = false;
    while (contents.size() < max_bytes) {
      DWORD want = static_cast<DWORD>(std::min(sizeof buffer, max_bytes - contents.size()));
      DWORD got = 0;
      if (!::ReadFile(file, buffer, want, &got, nullptr)) {
        failed = true;
        break;
      }
      if (got == 0) break;
      contents.append(buffer, got);
    }
    ::CloseHandle(file);
    if (failed) return std::nullopt;
    return contents;
  }

  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path, bool truncate) override {
    if (path.empty()) {
      throw RuntimeFailure(kFailureFileNotFound, "Bad file name: the path is empty");
    }
    // Others may read the file meanwhile, but neither write nor delete it.
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, truncate ? CREATE_ALWAYS : OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw FileFailure("Cannot open", path, ::GetLastError());
    return std::make_unique<WindowsWritableFile>(file, path);
  }

  void ReplaceContents(const std::string& path, const std::string& contents) override {
    // A symbolic link stays a link: what it leads to is rewritten.
    const std::wstring target = FinalPath(WidePath(path));
    // Written beside the old file and moved over it, so a crash or a full disk never leaves a
    // half-written file under the real name.
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
      temp = target + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(::GetTickCount64() + attempt);
      file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      // A folder that takes no new files may still hold a file that may be written.
      if (error == ERROR_ACCESS_DENIED) {
        RewriteInPlace(target, path, contents);
        return;
      }
      throw FileFailure("Cannot create a file beside", path, error);
    }
    bool ok = WriteAll(file, contents.data(), contents.size()) && ::FlushFileBuffers(file);
    DWORD error = ok ? 0 : ::GetLastError();
    ok = ::CloseHandle(file) && ok;
    if (ok && ::MoveFileExW(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return;
    }
    if (ok) error = ::GetLastError();
    ::DeleteFileW(temp.c_str());
    // The file may be written, but not replaced (no right to delete it).
    if (ok && error == ERROR_ACCESS_DENIED) {
      RewriteInPlace(target, path, contents);
      return;
    }
    throw FileFailure("Cannot write", path, error);
  }

 private:
  // The file a path leads to, through symbolic links; the path itself when that cannot be told.
  static std::wstring FinalPath(const std::wstring& path) {
    HANDLE file =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring final_path(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(file, final_path.data(),
                                               static_cast<DWORD>(final_path.size()), 0);
    if (length >= final_path.size()) {
      final_path.resize(length);
      length = ::GetFinalPathNameByHandleW(file, final_path.data(),
                                           static_cast<DWORD>(final_path.size()), 0);
    }
    ::CloseHandle(file);
    if (length == 0 || length >= final_path.size()) return path;
    final_path.resize(length);
    return final_path;
  }

  // Overwrites the file where it is. Not all at once like a move, so when the write fails
  // half-way the old contents are put back as far as they can be.
  static void RewriteInPlace(const std::wstring& target, const std::string& path,
                             const std::string& contents) {
    HANDLE file = ::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw FileFailure("Cannot write", path, ::GetLastError());
    std::string old;
    char buffer[8192];
    DWORD got = 0;
    bool read_all = true;
    while (true) {
      if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        read_all = false;
        break;
      }
      if (got == 0) break;
      old.append(buffer, got);
    }
    LARGE_INTEGER start{};
    bool ok = ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
              WriteAll(file, contents.data(), contents.size()) && ::SetEndOfFile(file) &&
              ::FlushFileBuffers(file);
    DWORD error = ok ? 0 : ::GetLastError();
    if (!ok && read_all && ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
        WriteAll(file, old.data(), old.size())) {
      ::SetEndOfFile(file);
    }
    if (!::CloseHandle(file) && ok) {
      ok = false;
      error = ::GetLastError();
    }
    if (!ok) throw FileFailure("Cannot write", path, error);
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static WindowsFileSystem file_system;
  return file_system;
}

}  // namespace rariduze
