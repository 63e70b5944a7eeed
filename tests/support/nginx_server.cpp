#include "tests/support/nginx_server.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/host.h"
#include "tests/support/loopback_socket.h"

namespace rariduze::testing {

NginxServer::NginxServer(NginxOptions options) : options_(std::move(options)) {
  std::filesystem::create_directories(dir_.File("temp"));
  std::string errors;
  // The port is free when picked but may be taken before nginx binds it: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeLoopbackPort();
    std::string config = WriteConfig();
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"nginx", "-p", dir_.path() + "/", "-c", config, "-e",
                                 dir_.File("startup.log")},
        dir_.File("stdout.log"), dir_.File("stderr.log"));
    if (process_->started() && WaitUntilListening(port_, *process_) && process_->Running()) {
      return;
    }
    process_->Stop();
    errors = ReadFile(dir_.File("startup.log")) + ReadFile(dir_.File("stderr.log")) + ErrorLog();
  }
  throw std::runtime_error("nginx did not start: " + errors);
}

NginxServer::NginxServer(const std::string& root)
    : NginxServer([&] {
        NginxOptions options;
        options.root = root;
        return options;
      }()) {}

NginxServer::~NginxServer() {
  if (process_) process_->Stop();
}

std::string NginxServer::Url(const std::string& path) const {
  return options_.scheme + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::AccessLog() const { return ReadFile(dir_.File("access.log")); }
std::string NginxServer::AccessLogSynced() const {
  const std::string marker = "/.access-log-sync-" + std::to_string(++syncs_);
  const std::string request =
      "GET " + marker + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  Socket socket = ConnectToLoopback(port_);
  if (socket == kNoSocket) throw std::runtime_error("nginx does not accept connections");
  SendSome(socket, request.data(), request.size());
  char buffer[4096];
  // Until nginx has answered and closed (bounded).
  for (int i = 0; i < 100 && WaitReadable(socket, 100); ++i) {
    if (ReceiveSome(socket, buffer, sizeof buffer) <= 0) break;
  }
  CloseSocket(socket);
  const auto give_up_at = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    std::string log = AccessLog();
    const std::size_t line = log.find("GET " + marker + " ");
    if (line != std::string::npos) {
      log.erase(line);
      // Earlier markers are no requests of the test's.
      for (std::size_t at; (at = log.find("GET /.access-log-sync-")) != std::string::npos;) {
        log.erase(at, log.find('\n', at) + 1 - at);
      }
      return log;
    }
    if (std::chrono::steady_clock::now() > give_up_at) {
      throw std::runtime_error("nginx never logged " + marker);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string NginxServer::ErrorLog() const { return ReadFile(dir_.File("error.log")); }

std::string NginxServer::WriteConfig() const {
  // nginx is a Linux program: it names files the Linux way.
  auto file = [this](const std::string& name) { return UnixPath(dir_.File(name)); };
  const std::string temp = file("temp");
  std::string config;
  // One process in the foreground: nothing to orphan when the test ends it.
  config += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
  // As root, nginx would otherwise serve through an unprivileged user that cannot read here.
  if (LinuxUserIsRoot()) config += "user root;\n";
  config += "pid " + file("nginx.pid") + ";\n";
  config += "error_log " + file("error.log") + " info;\n";
  config += "events { worker_connections 64; }\n";
  config += "http {\n";
  config += "  log_format ranged '$request $status $body_bytes_sent range=\"$http_range\"';\n";
  config += "  access_log " + file("access.log") + " ranged;\n";
  for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    config += std::string("  ") + kind + "_temp_path " + temp + "/" + kind + ";\n";
  }
  config += "  default_type application/octet-stream;\n";
  config += "  sendfile on;\n";
  config += options_.http_config + "\n";
  config += "  server {\n";
  config +=
      "    listen 127.0.0.1:" + std::to_string(port_) + " " + options_.listen_parameters + ";\n";
  config += "    root " + UnixPath(options_.root) + ";\n";
  config += options_.server_config + "\n";
  config += "  }\n}\n";
  std::string path = dir_.File("nginx.conf");
  WriteFile(path, config);
  return path;
}

}  // namespace rariduze::testing
