#pragma once

#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/control_host.h"
#include "platform/internet.h"
#include "platform/ui_services.h"
#include "tests/support/host.h"
#include "transfer/internet_file.h"

namespace rariduze::testing {

// Writes down every event as a line ("progress 2048", "complete", "error Could not find Url",
// "cancelled 4096") and lets a test act from inside a handler.
class RecordingEvents : public InternetFileEvents {
 public:
  void DownloadComplete() override { Record("complete"); }
  void DownloadProgress(std::int32_t lBytesRead) override {
    Record("progress " + std::to_string(lBytesRead));
  }
  void DownloadError(const std::string& sErrorDescription) override {
    Record("error " + sErrorDescription);
  }
  void DownloadCancelled(std::int32_t lPosition) override {
    Record("cancelled " + std::to_string(lPosition));
  }

  std::vector<std::string> lines;
  // Called after each line is recorded.
  std::function<void(const std::string&)> on_event;

 private:
  void Record(const std::string& line) {
    lines.push_back(line);
    if (on_event) on_event(line);
  }
};

// Counts yields and can act at a chosen one (a click on "Stop Download", say).
class ScriptedUi : public UiServices {
 public:
  void Yield() override {
    ++yields;
    if (on_yield) on_yield(yields);
  }

  int yields = 0;
  std::function<void(int)> on_yield;

 protected:
  int ShowMessageBox(const std::string&, int, const std::string&) override { return kAnswerOk; }
};

class RecordingHost : public ControlHost {
 public:
  void PropertyChanged(const std::string& name) override { changed.push_back(name); }
  std::vector<std::string> changed;
};

// Passes every call to the real operations and keeps count of the handles still open, so a
// test can see leaks and which session a run used.
class CountingInternet : public InternetApi {
 public:
  explicit CountingInternet(InternetApi& real) : real_(real) {}

  void SetWaitHook(InternetWaitHook hook) override { real_.SetWaitHook(std::move(hook)); }

  InternetHandle OpenSession(const std::string& agent, InternetAccess access,
                             const std::string& proxy) override {
    ++sessions_opened;
    last_proxy = proxy;
    last_access = access;
    return Track(real_.OpenSession(agent, access, proxy), sessions_);
  }
  InternetHandle OpenUrl(InternetHandle session, const std::string& url) override {
    return Track(real_.OpenUrl(session, url), others_);
  }
  std::int32_t SetFilePointer(InternetHandle url, std::int32_t distance) override {
    return real_.SetFilePointer(url, distance);
  }
  bool ReadFile(InternetHandle url, char* buffer, std::uint32_t size,
                std::uint32_t* read) override {
    return real_.ReadFile(url, buffer, size, read);
  }
  InternetHandle Connect(InternetHandle session, const std::string& host, std::uint16_t port,
                         const std::string& user, const std::string& password) override {
    last_host = host;
    last_port = port;
    return Track(real_.Connect(session, host, port, user, password), others_);
  }
  InternetHandle OpenRequest(InternetHandle connection, const std::string& verb,
                             const std::string& path, const std::string& version,
                             std::uint32_t flags) override {
    last_flags = flags;
    return Track(real_.OpenRequest(connection, verb, path, version, flags), others_);
  }
  void SendRequest(InternetHandle request) override { real_.SendRequest(request); }
  bool QueryRawHeaders(InternetHandle request, char* buffer, std::uint32_t* length) override {
    return real_.QueryRawHeaders(request, buffer, length);
  }
  bool QueryStatusCode(InternetHandle request, char* buffer, std::uint32_t* length) override {
    return real_.QueryStatusCode(request, buffer, length);
  }
  void CloseHandle(InternetHandle handle) override {
    sessions_.erase(handle);
    others_.erase(handle);
    real_.CloseHandle(handle);
  }

  std::size_t open_sessions() const { return sessions_.size(); }
  std::size_t open_other_handles() const { return others_.size(); }

  int sessions_opened = 0;
  std::string last_proxy;
  InternetAccess last_access = InternetAccess::kDirect;
  std::string last_host;
  std::uint16_t last_port = 0;
  std::uint32_t last_flags = 0;

 private:
  static InternetHandle Track(InternetHandle handle, std::set<InternetHandle>& into) {
    if (handle != 0) into.insert(handle);
    return handle;
  }

  InternetApi& real_;
  std::set<InternetHandle> sessions_;
  std::set<InternetHandle> others_;
};

}  // namespace rariduze::testing
