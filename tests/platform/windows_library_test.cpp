// The Windows loader of the unzip library: by full path only, never from the search path.
#include <string>

#include <gtest/gtest.h>

#include "platform/dynamic_library.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

using AnswerFunction = int (*)();

TEST(WindowsLibrary, LoadsAFileByItsFullPathAndFindsItsExports) {
  std::string error;
  std::unique_ptr<DynamicLibrary> library =
      LoadDynamicLibrary(PlatformPath(RARIDUZE_TEST_LIBRARY), &error);
  ASSERT_NE(library, nullptr) << error;
  auto answer = reinterpret_cast<AnswerFunction>(library->Symbol("RariduzeTestAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(library->Symbol("NoSuchExport"), nullptr);
}

TEST(WindowsLibrary, ANameWithoutAFolderIsNeverLookedUp) {
  // The system searches the current folder and PATH for a bare name: anyone able to write there
  // could plant a library of that name.
  std::string error;
  EXPECT_EQ(LoadDynamicLibrary("kernel32.dll", &error), nullptr);
  EXPECT_NE(error.find("not a full path"), std::string::npos) << error;
  EXPECT_EQ(LoadDynamicLibrary("sub\\vbuzip10.dll", &error), nullptr);
}

TEST(WindowsLibrary, AMissingOrBrokenFileSaysWhy) {
  TestDir dir("library");
  std::string error;
  EXPECT_EQ(LoadDynamicLibrary(dir.File("vbuzip10.dll"), &error), nullptr);
  EXPECT_NE(error.find("vbuzip10.dll"), std::string::npos) << error;

  WriteFile(dir.File("broken.dll"), "MZ but nothing else");
  error.clear();
  EXPECT_EQ(LoadDynamicLibrary(dir.File("broken.dll"), &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(SharedLibraryFileName("vbuzip10"), "vbuzip10.dll");
}

}  // namespace
}  // namespace rariduze::testing
