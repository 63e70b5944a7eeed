#pragma once

#include <cstdint>
#include <string>

#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/property_store.h"
#include "platform/ui_services.h"

namespace rariduze {

// What the host of an InternetFile hears, synchronously, from inside StartDownload or
// ResumeDownload. Every run ends with exactly one of DownloadComplete, DownloadError or
// DownloadCancelled, unless a failure is raised out of it.
class InternetFileEvents {
 public:
  virtual ~InternetFileEvents() = default;
  // Raised after the URL, the session and the local file are closed: a handler may start the
  // next download at once.
  virtual void DownloadComplete() {}
  // After every read, the final empty one included; lBytesRead counts from the remote file's
  // first byte.
  virtual void DownloadProgress(std::int32_t /*lBytesRead*/) {}
  // "Could not find Url", "Error, while setting position" or "Could not read Url".
  virtual void DownloadError(const std::string& /*sErrorDescription*/) {}
  // lPosition: how much of the remote file, from its first byte, the local file holds: the
  // count so far, or for a run stopped before the body's first byte (a cancel during the
  // connection steps or while the server is awaited) the resume position, 0 for a start.
  // Raised before the URL and the session are closed.
  virtual void DownloadCancelled(std::int32_t /*lPosition*/) {}
};

// Downloads one URL into a local file, chunk by chunk, with progress, cancel and resume, and
// asks a web server whether a file exists, how large it is and when it changed. It runs on the
// caller's thread and yields to the user interface between its steps.
class InternetFile {
 public:
  static constexpr const char* kAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";

  InternetFile(InternetApi& internet, UiServices& ui, FileSystem& files, ControlHost& host);
  // Closes the session if one is still open.
  ~InternetFile();
  InternetFile(const InternetFile&) = delete;
  InternetFile& operator=(const InternetFile&) = delete;

  // Who hears the events; nullptr for nobody. Not owned.
  void SetEvents(InternetFileEvents* events) { events_ = events; }

  // Results of the last information request.
  bool FileExists() const { return file_exists_; }
  const std::string& LastModified() const { return last_modified_; }
  std::int32_t FileSize() const { return file_size_; }

  // Setting a property tells the host, naming the property.
  const PropertyValue& LocalFile() const { return local_file_; }
  void SetLocalFile(const PropertyValue& value);
  std::int32_t ConnectType() const { return connect_type_; }
  void SetConnectType(std::int32_t value);
  const std::string& Url() const { return url_; }
  void SetUrl(const std::string& value);
  std::int16_t Port() const { return port_; }
  void SetPort(std::int16_t value);
  const std::string& SiteUser() const { return site_user_; }
  void SetSiteUser(const std::string& value);
  const std::string& SitePassword() const { return site_password_; }
  void SetSitePassword(const std::string& value);
  std::int16_t ProxyPort() const { return proxy_port_; }
  void SetProxyPort(std::int16_t value);
  const std::string& ProxyServer() const { return proxy_server_; }
  void SetProxyServer(const std::string& value);
  // Kept for the caller; never saved and never used by a transfer.
  const std::string& ProxyUser() const { return proxy_user_; }
  void SetProxyUser(const std::string& value);
  const std::string& ProxyPassword() const { return proxy_password_; }
  void SetProxyPassword(const std::string& value);

  // Downloads Url into LocalFile from the first byte. A local-file failure is raised
  // (RuntimeFailure) to the caller; transfer failures come as DownloadError.
  void StartDownload();
  // Continues from the local file's length; every failure raised during the run is dropped.
  // When the last information request saw a Last-Modified date, the rest is asked for only
  // while the remote file still has that date; a changed file is downloaded again from its
  // first byte.
  void ResumeDownload();
  // Asks the running download to stop: after its current chunk, or at once while it waits for
  // the network (the run then ends with DownloadCancelled); a running information request
  // made by the host ends as failed.
  void CancelDownload();
  // Cancels as CancelDownload does and closes the running download's local file at once, so
  // that it can be deleted before the run has come back (Windows deletes no open file).
  void ReleaseLocalFile();
  // HEAD request for Url: fills FileExists, LastModified and FileSize.
  void RequestInformation();

  // The saved state, read and written in a fixed key order; loading raises a RuntimeFailure
  // (13 or 6) for a value that does not fit its type. ProxyUser and ProxyPassword are not
  // saved, so a loaded control has them empty.
  void ReadProperties(const PropertyStore& store);
  void WriteProperties(PropertyStore& store) const;

 private:
  void OpenSession();
  void RunDownload();
  void CloseSessionHandle(InternetHandle session);
  void Yield() { ui_.Yield(); }
  // Lets the internet operations yield to the user interface while they wait, and end the
  // wait once a cancel was requested.
  void InstallWaitHook();
  bool KeepWaiting();
  void Changed(const char* name) { host_.PropertyChanged(name); }

  InternetApi& internet_;
  UiServices& ui_;
  FileSystem& files_;
  ControlHost& host_;
  InternetFileEvents* events_ = nullptr;

  bool file_exists_ = false;
  std::string last_modified_;
  std::int32_t file_size_ = 0;
  PropertyValue local_file_ = std::string();
  std::int32_t connect_type_ = 0;
  std::string url_;
  std::int16_t port_ = 80;
  std::string site_user_;
  std::string site_password_;
  std::int16_t proxy_port_ = 8080;
  std::string proxy_server_;
  std::string proxy_user_;
  std::string proxy_password_;

  bool bCancelRequested = false;
  bool running_ = false;  // inside RunDownload
  // The local file of the running download, while it is open.
  struct OpenLocalFile {
    WritableFile* file;
    bool released = false;
  };
  OpenLocalFile* open_local_file_ = nullptr;
  std::int32_t lResumePosition = 0;
  InternetHandle hSession = 0;
  bool bInfoRequested = false;
  bool bCloseSessionAfterInfo = false;
};

}  // namespace rariduze
