#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "app/update_driver.h"
#include "platform/file_system.h"
#include "tests/app/updater_fixture.h"

namespace rariduze::testing {

// The driver over a window without a toolkit, with scripted boxes and a scripted system, on
// the fixture's servers, in the test's own process.
class UpdateDriverTest : public ::testing::Test {
 protected:
  UpdaterFixture fixture;
  ScriptedUi ui;
  RecordingView view{ui};
  FakeSystem& system = fixture.system();

  std::unique_ptr<UpdateDriver> MakeDriver(UpdaterSetup setup) {
    return std::make_unique<UpdateDriver>(view, ui, fixture.internet(), FileSystem::Default(),
                                          system, std::move(setup));
  }
  // A driver on the served directory that has been through its load step.
  std::unique_ptr<UpdateDriver> LoadedDriver() {
    auto driver = MakeDriver(fixture.Setup());
    driver->Form_Load();
    return driver;
  }
  // Runs a scenario with a fresh driver that has loaded; the scenario must end the program by
  // itself, as every way out of the updater does.
  void ExpectProgramEndsAfter(const std::function<void(UpdateDriver&)>& scenario) {
    auto driver = LoadedDriver();
    fixture.ExpectProcessEnds([&] { scenario(*driver); });
  }
  bool LogHas(const std::string& request) {
    return fixture.server().AccessLog().find(request) != std::string::npos;
  }
};

}  // namespace rariduze::testing
