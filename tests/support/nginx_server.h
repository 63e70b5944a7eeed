#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

struct NginxOptions {
  std::string root;               // the folder served
  std::string server_config;      // more lines for the server block, e.g. "limit_rate 64k;"
  std::string http_config;        // more lines for the http block
  std::string listen_parameters;  // after the address on the listen line, e.g. "ssl"
  std::string scheme = "http";    // of the addresses Url() gives
};

// A real nginx serving a folder on a free 127.0.0.1 port, with its configuration, pid file,
// logs and temporary folders of its own below the build tree. It is stopped and reaped when
// the object goes. Throws std::runtime_error with nginx's own words when it cannot start.
class NginxServer {
 public:
  explicit NginxServer(NginxOptions options);
  explicit NginxServer(const std::string& root);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  std::uint16_t port() const { return port_; }
  // scheme://127.0.0.1:port followed by path (which starts with "/").
  std::string Url(const std::string& path) const;
  std::string AccessLog() const;
  // The access log with every request answered before this call in it: nginx writes a line
  // once it has answered, so a request of the log's own is sent and awaited (bounded), and the
  // log before its line is returned. Proves that no request was made, without sleeping.
  std::string AccessLogSynced() const;
  std::string ErrorLog() const;
  // Where extra configuration may keep its files (certificates, say).
  const TestDir& dir() const { return dir_; }

 private:
  std::string WriteConfig() const;

  NginxOptions options_;
  TestDir dir_{"nginx"};
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
  mutable int syncs_ = 0;
};

}  // namespace rariduze::testing
