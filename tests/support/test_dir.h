#pragma once

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

// Writes bytes to a file, replacing it; reads a whole file ("" when missing).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileIsThere(const std::string& path);

// The folder for a test's files (RARIDUZE_TEST_WORK_DIR, else one in the temporary folder).
std::string TestWorkRoot();

// The platform's separator between a folder and a name: '/' or '\'.
char PathSeparator();

}  // namespace rariduze::testing
