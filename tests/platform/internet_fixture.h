#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

inline const char* const kAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";

// A name whose 70-character label no resolver accepts: the lookup fails on this machine
// without a query leaving it.
inline const std::string kUnknownHost = std::string(70, 'a') + ".invalid";

struct Body {
  bool ok = false;
  std::string bytes;
  std::vector<std::uint32_t> reads;
};

// What the HEAD operations give.
struct HeadAnswer {
  bool headers_ok = false;
  std::string headers;
  bool status_ok = false;
  std::string status;
};

inline InternetOptions ShortLimits(long stall_seconds = 2, const std::string& ca_file = {}) {
  InternetOptions options;
  options.limits.connect_seconds = 2;
  options.limits.stall_seconds = stall_seconds;
  options.ca_file = ca_file;
  return options;
}

// The internet operations of this build with short limits and a direct session, so the
// machine's proxy settings play no part.
class InternetTest : public ::testing::Test {
 public:
  // The helpers below on internet operations and a session of the caller's own.
  static Body ReadAll(InternetApi& api, InternetHandle url) {
    Body body;
    char buffer[kMaxReadSize];
    for (int i = 0; i < 100000; ++i) {
      std::uint32_t read = 0;
      if (!api.ReadFile(url, buffer, sizeof buffer, &read)) return body;
      body.reads.push_back(read);
      if (read == 0) {
        body.ok = true;
        return body;
      }
      body.bytes.append(buffer, read);
    }
    return body;
  }
  static Body Get(InternetApi& api, InternetHandle session, const std::string& url) {
    InternetHandle handle = api.OpenUrl(session, url);
    if (handle == 0) return {};
    Body body = ReadAll(api, handle);
    api.CloseHandle(handle);
    return body;
  }
  // The information request as the transfer control makes it: HEAD over HTTP/1.0, then the
  // header block and the status into a 1024-byte buffer.
  static HeadAnswer Head(InternetApi& api, InternetHandle session, const std::string& host,
                         const std::string& path, const std::string& user = {},
                         const std::string& password = {}, std::uint32_t flags = kRequestReload) {
    HeadAnswer answer;
    const std::uint16_t port = (flags & kRequestSecure) != 0 ? kDefaultHttpsPort : kDefaultHttpPort;
    InternetHandle connection = api.Connect(session, host, port, user, password);
    InternetHandle request = api.OpenRequest(connection, "HEAD", path, "HTTP/1.0", flags);
    if (request != 0) {
      api.SendRequest(request);
      char buffer[1024];
      std::uint32_t length = sizeof buffer;
      answer.headers_ok = api.QueryRawHeaders(request, buffer, &length);
      if (answer.headers_ok) {
        EXPECT_EQ(buffer[length], '\0');
        answer.headers.assign(buffer, length);
      }
      length = sizeof buffer;
      answer.status_ok = api.QueryStatusCode(request, buffer, &length);
      if (answer.status_ok) answer.status = buffer;
    }
    api.CloseHandle(request);
    api.CloseHandle(connection);
    return answer;
  }

 protected:
  explicit InternetTest(InternetOptions options = ShortLimits())
      : api_(CreateInternetApi(options)),
        session_(api_->OpenSession(kAgent, InternetAccess::kDirect, "")) {}
  ~InternetTest() override { api_->CloseHandle(session_); }

  // Reads in 2048-byte calls until the body ends or a read fails (bounded).
  Body ReadAll(InternetHandle url) { return ReadAll(*api_, url); }
  Body Get(const std::string& url) { return Get(*api_, session_, url); }
  HeadAnswer Head(const std::string& host, const std::string& path, const std::string& user = {},
                  const std::string& password = {}, std::uint32_t flags = kRequestReload) {
    return Head(*api_, session_, host, path, user, password, flags);
  }

  std::unique_ptr<InternetApi> api_;
  InternetHandle session_ = 0;
};

// A folder with a 5000-byte file, served by nginx.
class NginxInternetTest : public InternetTest {
 protected:
  NginxInternetTest() : content_(Pattern(5000)) {
    WriteFile(files_.File("file.bin"), content_);
    nginx_ = std::make_unique<NginxServer>(files_.path());
  }

  std::string HostOf(const NginxServer& server) const {
    return "127.0.0.1:" + std::to_string(server.port());
  }

  TestDir files_{"www"};
  std::string content_;
  std::unique_ptr<NginxServer> nginx_;
};

}  // namespace rariduze::testing
