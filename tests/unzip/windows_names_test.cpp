// The rules by which the Windows target folder refuses names: portable string logic, tested
// here on any system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "unzip/library/windows_names.h"

namespace rariduze::unziplib {
namespace {

using ::testing::HasSubstr;
using ::testing::Optional;

TEST(WindowsNamesTest, OrdinaryRelativeNamesPass) {
  for (const char* name : {"setupZT.exe", "docs/readme.txt", "docs\\sub\\a.png", "a/./b.txt",
                           "caf\xC3\xA9 \xE2\x82\xAC.txt", ".hidden", "CONFIG.SYS", "com10.txt",
                           "lpt.txt", "nul-not.txt", "a..b", "x.y.z"}) {
    EXPECT_EQ(WindowsNameProblem(name), std::nullopt) << name;
  }
}

TEST(WindowsNamesTest, DrivesUncAndDevicePathsAreRefused) {
  EXPECT_THAT(WindowsNameProblem("C:x"), Optional(HasSubstr("drive letter")));
  EXPECT_THAT(WindowsNameProblem("C:\\x"), Optional(HasSubstr("drive letter")));
  EXPECT_THAT(WindowsNameProblem("z:/x"), Optional(HasSubstr("drive letter")));
  for (const char* path :
       {"\\\\server\\share\\x", "//server/share/x", "\\\\?\\C:\\x", "\\\\.\\COM1", "\\/mixed"}) {
    EXPECT_THAT(WindowsNameProblem(path), Optional(HasSubstr("UNC or device path"))) << path;
  }
  EXPECT_THAT(WindowsNameProblem("\\abs"), Optional(HasSubstr("absolute")));
  EXPECT_THAT(WindowsNameProblem("/abs"), Optional(HasSubstr("absolute")));
  EXPECT_THAT(WindowsNameProblem("..\\..\\x"), Optional(HasSubstr("outside")));
  EXPECT_THAT(WindowsNameProblem("a/../../x"), Optional(HasSubstr("outside")));
}

TEST(WindowsNamesTest, ColonsInAnyPartAreRefused) {
  for (const char* name : {"file.txt:hidden", "docs/a:b", "docs\\x:$DATA", "a/b/c:"}) {
    EXPECT_THAT(WindowsNameProblem(name), Optional(HasSubstr("\":\""))) << name;
  }
}

TEST(WindowsNamesTest, ReservedDeviceNamesAreRefusedWithAnyExtensionAndCase) {
  for (const char* name : {"CON", "con", "Prn.txt", "aux.tar.gz", "NUL", "docs/nul.txt", "COM1",
                           "com9.log", "LPT1", "lpt9.dat", "COM0", "LPT0", "CONIN$", "conout$.txt",
                           "con .txt", "NUL  .x", "COM\xC2\xB9", "lpt\xC2\xB2.txt", "sub\\aux"}) {
    EXPECT_THAT(WindowsNameProblem(name), Optional(HasSubstr("device name"))) << name;
  }
}

TEST(WindowsNamesTest, PartsEndingInADotOrABlankAreRefused) {
  for (const char* name :
       {"name.", "name ", "folder./file", "folder /file", "a/b..", "CON.", "nul "}) {
    EXPECT_THAT(WindowsNameProblem(name), Optional(HasSubstr("ending in a dot or a blank")))
        << name;
  }
}

TEST(WindowsNamesTest, CharactersWindowsDoesNotAllowAreRefused) {
  for (const char* name :
       {"a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "tab\there", "docs/bell\x07"}) {
    EXPECT_THAT(WindowsNameProblem(name), Optional(HasSubstr("does not allow"))) << name;
  }
}

}  // namespace
}  // namespace rariduze::unziplib
