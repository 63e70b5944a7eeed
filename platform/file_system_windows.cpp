#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/buffered_writable_file.h"
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

class WindowsWritableFile : public BufferedWritableFile {
 public:
  WindowsWritableFile(HANDLE file, std::string path)
      : BufferedWritableFile(std::move(path)), file_(file) {}
  ~WindowsWritableFile() override { CloseQuietly(); }

 protected:
  bool IsOpen() const override { return file_ != INVALID_HANDLE_VALUE; }
  bool WriteOut(const char* data, std::size_t size) override { return WriteAll(file_, data, size); }
  bool SeekTo(std::int64_t position) override {
    LARGE_INTEGER distance;
    distance.QuadPart = position;
    return ::SetFilePointerEx(file_, distance, nullptr, FILE_BEGIN) != 0;
  }
  bool CloseFile() override {
    return ::CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE)) != 0;
  }
  int LastError() const override { return static_cast<int>(::GetLastError()); }
  RuntimeFailure Failure(const std::string& what, int error) const override {
    return FileFailure(what, path(), static_cast<DWORD>(error));
  }

 private:
  HANDLE file_;
};

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return !path.empty() &&
         ::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, data) != 0;
}

class WindowsReadableFile : public ReadableFile {
 public:
  explicit WindowsReadableFile(HANDLE file) : file_(file) {}
  ~WindowsReadableFile() override { ::CloseHandle(file_); }
  WindowsReadableFile(const WindowsReadableFile&) = delete;
  WindowsReadableFile& operator=(const WindowsReadableFile&) = delete;

  std::optional<std::size_t> Read(char* buffer, std::size_t capacity) override {
    DWORD want = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    DWORD got = 0;
    if (!::ReadFile(file_, buffer, want, &got, nullptr)) return std::nullopt;
    return got;
  }

 private:
  HANDLE file_;
};

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

  // Removal reaches the exact name: an archive entry "victim." that was never written must not
  // take the user's "victim" with it.
  bool Remove(const std::string& path) override {
    if (path.empty()) return true;
    if (::DeleteFileW(ExactPath(path).c_str())) return true;
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

  bool RemoveEmptyFolder(const std::string& path) override {
    if (path.empty()) return false;
    if (::RemoveDirectoryW(ExactPath(path).c_str())) return true;
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

  std::optional<std::string> ReadPrefix(const std::string& path, std::size_t max_bytes) override {
    return ReadPrefixOf(OpenForReading(path), max_bytes);
  }

  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override {
    if (path.empty()) return nullptr;
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WindowsReadableFile>(file);
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
