#include "transfer/internet_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <memory>
#include <optional>
#include <utility>

#include "platform/failure.h"
#include "platform/scope_exit.h"
#include "transfer/header_block.h"
#include "transfer/request_text.h"

namespace rariduze {
namespace {

constexpr std::uint32_t kHeaderBufferSize = 1024;
constexpr const char* kCouldNotFindUrl = "Could not find Url";
constexpr const char* kErrorSettingPosition = "Error, while setting position";
constexpr const char* kCouldNotReadUrl = "Could not read Url";

}  // namespace

InternetFile::InternetFile(InternetApi& internet, UiServices& ui, FileSystem& files,
                           ControlHost& host)
    : internet_(internet), ui_(ui), files_(files), host_(host) {}

InternetFile::~InternetFile() {
  // The hook would call into this control.
  internet_.SetWaitHook({});
  if (hSession != 0) internet_.CloseHandle(hSession);
}

void InternetFile::SetLocalFile(const PropertyValue& value) {
  local_file_ = value;
  Changed("LocalFile");
}
void InternetFile::SetConnectType(std::int32_t value) {
  connect_type_ = value;
  Changed("ConnectType");
}
void InternetFile::SetUrl(const std::string& value) {
  url_ = value;
  Changed("Url");
}
void InternetFile::SetPort(std::int16_t value) {
  port_ = value;
  Changed("Port");
}
void InternetFile::SetSiteUser(const std::string& value) {
  site_user_ = value;
  Changed("SiteUser");
}
void InternetFile::SetSitePassword(const std::string& value) {
  site_password_ = value;
  Changed("SitePassword");
}
void InternetFile::SetProxyPort(std::int16_t value) {
  proxy_port_ = value;
  Changed("ProxyPort");
}
void InternetFile::SetProxyServer(const std::string& value) {
  proxy_server_ = value;
  Changed("ProxyServer");
}
void InternetFile::SetProxyUser(const std::string& value) {
  proxy_user_ = value;
  Changed("ProxyUser");
}
void InternetFile::SetProxyPassword(const std::string& value) {
  proxy_password_ = value;
  Changed("ProxyPassword");
}

void InternetFile::ReadProperties(const PropertyStore& store) {
  local_file_ = store.Read("LocalFile", std::string());
  url_ = ToText(store.Read("Url", std::string()));
  port_ = ToInt16(store.Read("Port", std::int64_t{80}));
  site_user_ = ToText(store.Read("SiteUser", std::string()));
  site_password_ = ToText(store.Read("SitePassword", std::string()));
  proxy_port_ = ToInt16(store.Read("ProxyPort", std::int64_t{8080}));
  proxy_server_ = ToText(store.Read("ProxyServer", std::string()));
  connect_type_ = ToInt32(store.Read("ConnectType", std::int64_t{0}));
  proxy_user_.clear();
  proxy_password_.clear();
}

void InternetFile::WriteProperties(PropertyStore& store) const {
  store.Write("LocalFile", local_file_, std::string());
  store.Write("Url", url_, std::string());
  store.Write("Port", std::int64_t{port_}, std::int64_t{80});
  store.Write("SiteUser", site_user_, std::string());
  store.Write("SitePassword", site_password_, std::string());
  store.Write("ProxyPort", std::int64_t{proxy_port_}, std::int64_t{8080});
  store.Write("ProxyServer", proxy_server_, std::string());
  store.Write("ConnectType", std::int64_t{connect_type_}, std::int64_t{0});
}

void InternetFile::OpenSession() {
  switch (connect_type_) {
    case 0:
      hSession = internet_.OpenSession(kAgent, InternetAccess::kPreconfigured, {});
      break;
    case 1:
      hSession = internet_.OpenSession(kAgent, InternetAccess::kProxy,
                                       proxy_server_ + ":" + std::to_string(proxy_port_));
      break;
    case 2:
      hSession = internet_.OpenSession(kAgent, InternetAccess::kDirect, {});
      break;
    default:
      break;  // no session: the request that follows fails
  }
}

void InternetFile::CloseSessionHandle(InternetHandle session) {
  internet_.CloseHandle(session);
  // A handler may have opened another session meanwhile; that one stays.
  if (hSession == session) hSession = 0;
}

void InternetFile::StartDownload() {
  lResumePosition = 0;
  RunDownload();
}

void InternetFile::ResumeDownload() {
  std::optional<std::int64_t> length = files_.Length(ToText(local_file_));
  lResumePosition = length && *length <= INT32_MAX ? static_cast<std::int32_t>(*length) : 0;
  try {
    RunDownload();
  } catch (...) {
    // A resume never fails its caller.
  }
}

void InternetFile::CancelDownload() { bCancelRequested = true; }

void InternetFile::ReleaseLocalFile() {
  bCancelRequested = true;
  if (open_local_file_ == nullptr || open_local_file_->released) return;
  open_local_file_->released = true;
  try {
    open_local_file_->file->Close();
  } catch (const RuntimeFailure&) {
    // The file is let go of all the same; what it lacks no longer matters to anyone.
  }
}

void InternetFile::InstallWaitHook() {
  // Set anew by every run and request: several controls may share the internet operations.
  internet_.SetWaitHook([this] { return KeepWaiting(); });
}

bool InternetFile::KeepWaiting() {
  Yield();
  return !bCancelRequested;
}

void InternetFile::RunDownload() {
  bCancelRequested = false;
  const bool was_running = running_;
  running_ = true;
  ScopeExit restore_running([this, was_running] { running_ = was_running; });
  InstallWaitHook();
  Yield();
  if (hSession == 0) OpenSession();
  const InternetHandle session = hSession;
  Yield();

  // A cancel before the body's first byte: nothing was written, so the local file holds what
  // it held, which for a resumed run is the remote file up to lResumePosition.
  auto cancel_before_the_body = [&] {
    if (events_ != nullptr) events_->DownloadCancelled(lResumePosition);
    CloseSessionHandle(session);
  };
  // Asked during the steps so far: no request is made at all.
  if (bCancelRequested) {
    cancel_before_the_body();
    return;
  }
  bCloseSessionAfterInfo = false;
  if (!bInfoRequested) RequestInformation();
  bCloseSessionAfterInfo = true;
  Yield();
  if (bCancelRequested) {
    cancel_before_the_body();
    return;
  }

  const InternetHandle url = internet_.OpenUrl(session, url_);
  if (url == 0) {
    if (bCancelRequested) {
      // The wait for the answer was given up for the cancel.
      cancel_before_the_body();
      return;
    }
    // The session stays for the next run.
    if (events_ != nullptr) events_->DownloadError(kCouldNotFindUrl);
    return;
  }
  // Every way out from here closes the URL handle and the session, a raised failure too.
  bool connected = true;
  auto disconnect = [&] {
    if (!connected) return;
    connected = false;
    internet_.CloseHandle(url);
    CloseSessionHandle(session);
  };
  ScopeExit disconnect_on_exit(disconnect);

  std::int32_t lTotalBytes = 0;
  if (lResumePosition != 0) {
    Yield();
    const bool validated = !last_modified_.empty() && last_modified_ != kNotAvailable;
    const std::int32_t position =
        bCancelRequested ? kInvalidSetFilePointer
        : validated      ? internet_.SetFilePointerIfUnchanged(url, lResumePosition, last_modified_)
                         : internet_.SetFilePointer(url, lResumePosition);
    if (position == kInvalidSetFilePointer) {
      // Either comes before the closing, as a cancel after a chunk does.
      if (events_ != nullptr && bCancelRequested) {
        events_->DownloadCancelled(lResumePosition);
      } else if (events_ != nullptr) {
        events_->DownloadError(kErrorSettingPosition);
      }
      disconnect();
      return;
    }
    // 0 when the remote file changed since its date was seen: it comes again from its start.
    lTotalBytes = position;
  }

  Yield();
  // A run from the first byte empties the file, so nothing of an older, longer one survives.
  std::unique_ptr<WritableFile> file =
      files_.OpenForWriting(ToText(local_file_), /*truncate=*/lTotalBytes == 0);
  if (lTotalBytes != 0) file->Seek(lTotalBytes);
  OpenLocalFile open{file.get()};
  OpenLocalFile* const outer = std::exchange(open_local_file_, &open);
  ScopeExit forget_the_file([this, outer] { open_local_file_ = outer; });

  auto cancel = [&] {
    // The host may look at the file from its handler: every byte counted is in it.
    if (!open.released) file->Flush();
    if (events_ != nullptr) events_->DownloadCancelled(lTotalBytes);
    disconnect();
    file->Close();
  };
  char buffer[kMaxReadSize];
  for (;;) {
    Yield();
    std::uint32_t read = 0;
    if (!internet_.ReadFile(url, buffer, kMaxReadSize, &read)) {
      if (bCancelRequested) {
        // The wait for the next bytes was given up for the cancel.
        cancel();
        return;
      }
      Yield();
      disconnect();
      file->Close();
      if (events_ != nullptr) events_->DownloadError(kCouldNotReadUrl);
      return;
    }
    Yield();
    if (open.released) {
      // Let go of while the chunk was on its way: it has nowhere to go.
      cancel();
      return;
    }
    if (read > static_cast<std::uint32_t>(INT32_MAX - lTotalBytes)) {
      // The count would pass what it can hold: stop before it wraps.
      disconnect();
      file->Close();
      if (events_ != nullptr) events_->DownloadError(kCouldNotReadUrl);
      return;
    }
    lTotalBytes += static_cast<std::int32_t>(read);
    const bool finished = read == 0;
    if (!finished) file->Write(buffer, read);
    if (events_ != nullptr) events_->DownloadProgress(lTotalBytes);
    Yield();
    if (bCancelRequested) {
      Yield();
      cancel();
      return;
    }
    Yield();
    if (finished) {
      disconnect();
      file->Close();
      // A cancel asked for after the last byte finds nothing left to stop: it must not
      // carry over into whatever the host starts from DownloadComplete.
      bCancelRequested = false;
      if (events_ != nullptr) events_->DownloadComplete();
      return;
    }
  }
}

void InternetFile::RequestInformation() {
  // The host's own request forgets a cancel made while idle, as a run does.
  if (!running_) bCancelRequested = false;
  InstallWaitHook();
  bInfoRequested = true;
  std::string host = url_;
  std::string path;
  const bool secure = IsHttpsUrl(host);
  SplitUrl(host, path);
  Yield();
  if (hSession == 0) OpenSession();
  Yield();

  // Cancelled: the request ends as one that got no answer.
  auto fail = [this] {
    file_exists_ = false;
    last_modified_ = kNotAvailable;
    file_size_ = -1;
  };
  InternetHandle connection = 0;
  InternetHandle request = 0;
  if (bCancelRequested) {
    fail();
  } else {
    const bool with_user = !site_user_.empty();
    connection = internet_.Connect(hSession, host, secure ? kDefaultHttpsPort : kDefaultHttpPort,
                                   with_user ? site_user_ : std::string(),
                                   with_user ? site_password_ : std::string());
    request = internet_.OpenRequest(connection, "HEAD", path, "HTTP/1.0",
                                    kRequestReload | (secure ? kRequestSecure : 0));
  }

  if (request != 0) {
    Yield();
    std::string buffer(kHeaderBufferSize, ' ');
    internet_.SendRequest(request);
    Yield();
    std::uint32_t length = kHeaderBufferSize;
    if (bCancelRequested) {
      fail();
    } else if (internet_.QueryRawHeaders(request, buffer.data(), &length)) {
      const RemoteFileInfo info = ParseHeaderBlock(buffer.data(), buffer.size());
      last_modified_ = info.last_modified;
      Yield();
      file_size_ = info.size;
      Yield();
      file_exists_ = info.exists;
    } else {
      Yield();
      length = kHeaderBufferSize;
      internet_.QueryStatusCode(request, buffer.data(), &length);
      // A buffer without a NUL holds no status at all.
      const bool has_status = buffer.find('\0') != std::string::npos;
      file_exists_ = has_status && TrimAtNul(buffer) == "200";
      last_modified_ = kNotAvailable;
      file_size_ = -1;
    }
  }

  Yield();
  internet_.CloseHandle(request);
  internet_.CloseHandle(connection);
  if (bCloseSessionAfterInfo) {
    internet_.CloseHandle(hSession);
    hSession = 0;
  }
}

}  // namespace rariduze
