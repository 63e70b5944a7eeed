#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

// A real tinyproxy on a free 127.0.0.1 port with its own configuration; its log, below the
// build tree, shows every request that went through it. Stopped and reaped when the object
// goes; throws std::runtime_error when it cannot start.
class TinyproxyServer {
 public:
  TinyproxyServer();
  ~TinyproxyServer();
  TinyproxyServer(const TinyproxyServer&) = delete;
  TinyproxyServer& operator=(const TinyproxyServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "127.0.0.1:port"
  std::string Address() const;
  std::string Log() const;

 private:
  TestDir dir_{"tinyproxy"};
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace rariduze::testing
