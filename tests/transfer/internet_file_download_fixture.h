// The transfer control's downloads against real nginx, with a 5000-byte and a larger file.
#pragma once

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/failure.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/nginx_server.h"
#include "tests/support/tinyproxy_server.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {

// A name whose 70-character label no resolver accepts: the lookup fails on this machine
// without a query leaving it.
const std::string kUnknownHost = "http://" + std::string(70, 'a') + ".invalid/versionZT.dat";

class InternetFileDownloadTest : public InternetFileTest {
 protected:
  InternetFileDownloadTest() : small_(Pattern(5000, 1)), large_(Pattern(10000, 2)) {
    WriteFile(www_.File("small.bin"), small_);
    WriteFile(www_.File("large.bin"), large_);
    WriteFile(www_.File("empty.bin"), "");
    nginx_ = std::make_unique<NginxServer>(www_.path());
  }

  void Fetch(const std::string& name, const std::string& local) {
    Download(nginx_->Url("/" + name), local);
  }
  bool NothingLeftOpen() const {
    return internet_.open_sessions() == 0 && internet_.open_other_handles() == 0;
  }

  TestDir www_{"www"};
  std::string small_;
  std::string large_;
  std::unique_ptr<NginxServer> nginx_;
};

}  // namespace rariduze::testing
