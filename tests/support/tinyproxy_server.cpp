#include "tests/support/tinyproxy_server.h"

#include <stdexcept>

#include "tests/support/host.h"

namespace rariduze::testing {

TinyproxyServer::TinyproxyServer() {
  std::string errors;
  for (int attempt = 0; attempt < 5; ++attempt) {
    // A port the transfer control can name (its proxy port is 16-bit signed).
    port_ = FreeLoopbackPort(32768);
    std::string config = dir_.File("tinyproxy.conf");
    WriteFile(config, "Port " + std::to_string(port_) +
                          "\n"
                          "Listen 127.0.0.1\n"
                          "Timeout 30\n"
                          "MaxClients 16\n"
                          "Allow 127.0.0.1\n"
                          "LogLevel Info\n"
                          "LogFile \"" +
                          UnixPath(dir_.File("tinyproxy.log")) + "\"\n");
    // -d: stay in the foreground as our child.
    process_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", config},
                                       dir_.File("stdout.log"), dir_.File("stderr.log"));
    if (process_->started() && WaitUntilListening(port_, *process_) && process_->Running()) {
      return;
    }
    process_->Stop();
    errors = ReadFile(dir_.File("stderr.log")) + Log();
  }
  throw std::runtime_error("tinyproxy did not start: " + errors);
}

TinyproxyServer::~TinyproxyServer() {
  if (process_) process_->Stop();
}

std::string TinyproxyServer::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::string TinyproxyServer::Log() const { return ReadFile(dir_.File("tinyproxy.log")); }

}  // namespace rariduze::testing
