// The update directory of the end-to-end tests' copy of the updater, linked in place of the
// one the build fixes: the address of the test's own server, which the test hands the copy in
// RARIDUZE_TEST_UPDATE_URL.
#include <cstdlib>
#include <string>

#include "platform/program_version.h"

namespace rariduze {
namespace {

const char* UpdateDirectoryOfTheTest() {
  const char* url = std::getenv("RARIDUZE_TEST_UPDATE_URL");
  // Without one, a port where nothing listens: a test that forgot it fails plainly.
  static const std::string directory = url != nullptr ? url : "http://127.0.0.1:1/";
  return directory.c_str();
}

}  // namespace

const char* const kUpdateDirectoryUrl = UpdateDirectoryOfTheTest();

}  // namespace rariduze
