#pragma once

#include <filesystem>
#include <string>

namespace rariduze::testing {

// A fresh, empty folder below the build tree's test-work folder, removed when the object goes.
// The path has no trailing separator.
class TestDir {
 public:
  explicit TestDir(const std::string& label = "t");
  ~TestDir();
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  const std::string& path() const { return path_; }
  // path(), the platform's separator, name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// A path of UTF-8 text as the file system library takes it, on every system (a plain string
// would be read in the ANSI code page on Windows).
std::filesystem::path Utf8Path(const std::string& path);
// The other way round: a path as UTF-8 text, with "/" separators when generic is set.
std::string Utf8Text(const std::filesystem::path& path, bool generic = false);

// Writes bytes to a file, replacing it; reads a whole file ("" when missing). Paths are UTF-8.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileIsThere(const std::string& path);

// The folder for a test's files (RARIDUZE_TEST_WORK_DIR, else one in the temporary folder).
std::string TestWorkRoot();

// The platform's separator between a folder and a name: '/' or '\'.
char PathSeparator();

}  // namespace rariduze::testing
