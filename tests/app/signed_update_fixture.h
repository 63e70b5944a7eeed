// Updates from a build with the publisher's key: the update server publishes a signature
// beside each of the two files, and the driver installs only what the key signed, for the
// version the signed version file announced. Keys and signatures are made by the real
// signing tool; nginx serves them, and a scripted server plays what nginx will not.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/update_driver.h"
#include "platform/file_system.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

inline constexpr char kNotVerified[] =
    "The version information on the update server could not be verified.";
inline constexpr char kSignatureNotValid[] =
    "The update could not be installed: the setup archive's signature is not valid.";

// The files an update leaves in the temporary folder while it runs, signatures included.
inline constexpr const char* kTemporaryFiles[] = {"ZTVersion", "ZTVersion.minisig", "setupZT.zip",
                                                  "setupZT.zip.minisig", "setupZT.exe"};

// A signature file's text with its trusted comment line replaced by comment.
inline std::string WithTrustedComment(const std::string& signature, const std::string& comment) {
  const std::string label = "\ntrusted comment: ";
  const std::size_t start = signature.find(label);
  const std::size_t end = signature.find('\n', start + 1);
  if (start == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "no trusted comment in " << signature;
    return signature;
  }
  return signature.substr(0, start) + label + comment + signature.substr(end);
}

// The cases below publish through the fixture's members, hence public ones.
class SignedUpdateTest : public ::testing::Test {
 public:
  UpdaterFixture fixture;
  ScriptedUi ui;
  RecordingView view{ui};
  TestDir keys{"keys"};
  SigningKeyPair publisher{keys.path(), "publisher"};
  SigningKeyPair stranger{keys.path(), "stranger"};

  // A driver of a build that carries keys (by default the publisher's), after its load step.
  std::unique_ptr<UpdateDriver> KeyedDriver(UpdaterSetup setup, std::vector<std::string> keys) {
    setup.publisher_keys = std::move(keys);
    auto driver = std::make_unique<UpdateDriver>(
        view, ui, fixture.internet(), FileSystem::Default(), fixture.system(), std::move(setup));
    driver->Form_Load();
    return driver;
  }
  std::unique_ptr<UpdateDriver> KeyedDriver() {
    return KeyedDriver(fixture.Setup(), {publisher.key_line()});
  }

  // Signs a published file as the publisher does, into name + ".minisig" beside it.
  std::string Sign(const std::string& name, const std::string& trusted_comment = "",
                   bool legacy = false) {
    return publisher.Sign(fixture.PublishedPath(name), trusted_comment, legacy);
  }
  // The update to 1.0.23 as the publisher puts it on the server: both files and their
  // signatures, the archive's naming the version it installs.
  void PublishSignedUpdate(int installer_exit = 0) {
    fixture.PublishVersion("1.0.23");
    fixture.PublishSetup(installer_exit);
    Sign("versionZT.dat");
    Sign("setupZT.zip", "version:1.0.23");
  }

  bool LogHas(const std::string& request) {
    return fixture.server().AccessLogSynced().find(request) != std::string::npos;
  }
  bool NoTemporaryFileLeft() {
    for (const char* name : kTemporaryFiles) {
      if (FileIsThere(fixture.TempFolder() + name)) return false;
    }
    return true;
  }
};

}  // namespace rariduze::testing
