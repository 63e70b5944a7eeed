#include "tests/support/test_dir.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

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
  std::filesystem::remove_all(Utf8Path(path_));
  std::filesystem::create_directories(Utf8Path(path_));
}

std::string TestDir::File(const std::string& name) const { return path_ + PathSeparator() + name; }

TestDir::~TestDir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them writable before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(Utf8Path(path_), ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(Utf8Path(path_), ignored);
}

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
