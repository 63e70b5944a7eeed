#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/internet.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/transfer/transfer_doubles.h"
#include "transfer/internet_file.h"

namespace rariduze::testing {

inline std::vector<std::string> Lines(std::initializer_list<std::string> lines) { return lines; }

// A control over the real internet operations (short time limits, counted handles), a
// scripted user interface, recorded events and a folder for local files. Direct connections
// unless a test says otherwise, so the machine's proxy settings play no part.
class InternetFileTest : public ::testing::Test {
 protected:
  InternetFileTest()
      : real_(CreateInternetApi(ShortLimits())),
        internet_(*real_),
        file_(internet_, ui_, FileSystem::Default(), host_) {
    file_.SetEvents(&events_);
    file_.SetConnectType(2);
  }

  static InternetOptions ShortLimits() {
    InternetOptions options;
    options.limits.connect_seconds = 2;
    options.limits.stall_seconds = 2;
    return options;
  }

  void Download(const std::string& url, const std::string& local) {
    file_.SetUrl(url);
    file_.SetLocalFile(local);
    file_.StartDownload();
  }

  std::unique_ptr<InternetApi> real_;
  CountingInternet internet_;
  ScriptedUi ui_;
  RecordingHost host_;
  RecordingEvents events_;
  InternetFile file_;
  TestDir dir_{"transfer"};
};

}  // namespace rariduze::testing
