#include "tests/support/test_dir.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/run_directory.h"
#include "tests/support/host.h"

namespace rariduze::testing {

std::string TestWorkRoot() {
  std::optional<std::string> root = GetEnv("RARIDUZE_TEST_WORK_DIR");
  std::string path = root && !root->empty()
                         ? PlatformPath(*root)
                         : (std::filesystem::temp_directory_path() / "rariduze-test-work").string();
  std::filesystem::create_directories(path);
  return path;
}

char PathSeparator() { return static_cast<char>(std::filesystem::path::preferred_separator); }

TestDir::TestDir(const std::string& label) {
  // Tests of one suite run in processes of their own at the same time: a random tag keeps
  // their folders apart.
  static const std::string tag = std::to_string(std::random_device{}() % 1000000);
  static std::atomic<int> counter{0};
  path_ = TestWorkRoot() + PathSeparator() + label + "-" + tag + "-" + std::to_string(counter++);
  RemoveDirectoryTree(path_);
  std::filesystem::create_directories(Utf8Path(path_));
}

std::string TestDir::File(const std::string& name) const { return path_ + PathSeparator() + name; }

// Tests leave read-only folders, links out of the folder and names that Windows reads as
// others ("name."), which the file system library's removal follows or loops on for ever.
TestDir::~TestDir() { RemoveDirectoryTree(path_); }

std::filesystem::path Utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8Text(const std::filesystem::path& path, bool generic) {
  std::u8string text = generic ? path.generic_u8string() : path.u8string();
  return std::string(text.begin(), text.end());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileIsThere(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(Utf8Path(path), ignored));
}

}  // namespace rariduze::testing
