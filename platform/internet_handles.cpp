// The backend-neutral half of the internet operations: the handle table, the HEAD request's
// queries, positioning by asking again, and reads gathered into whole buffers. Every handle is
// a number looked up in a table, so a stale or foreign value is refused instead of followed,
// and a closed one never comes back. Whatever an operation waits on is held by the operation,
// so that the wait hook may close the handle meanwhile: the wait then ends as on a broken
// connection.

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/header_text.h"
#include "platform/http_range.h"
#include "platform/internet_exchange.h"

namespace rariduze {
namespace {

using Clock = InternetExchange::Clock;

struct HandleObject {
  virtual ~HandleObject() = default;
  // Lets go of the request in flight, if any.
  virtual void Abandon() {}
};

struct SessionHandle : HandleObject {
  std::shared_ptr<InternetSession> session;
};

struct UrlFile : HandleObject {
  std::shared_ptr<InternetSession> session;
  std::string url;
  std::int64_t position = 0;
  std::shared_ptr<InternetExchange> exchange;
  void Abandon() override {
    if (exchange != nullptr) exchange->Abandon();
  }
};

struct Connection : HandleObject {
  std::shared_ptr<InternetSession> session;
  std::string host;        // without its port
  std::uint16_t port = 0;  // 0: the scheme's default
  std::string user;
  std::string password;
};

struct Request : HandleObject {
  std::shared_ptr<Connection> connection;
  std::string verb;
  std::string path;
  bool http10 = false;
  std::uint32_t flags = 0;
  std::shared_ptr<InternetExchange> exchange;
  void Abandon() override {
    if (exchange != nullptr) exchange->Abandon();
  }
};

// The address a request of a connection goes to.
std::string RequestUrl(const Connection& connection, const std::string& path, bool secure) {
  std::string url = secure ? "https://" : "http://";
  const std::string& host = connection.host;
  const bool bare_ipv6 = host.find(':') != std::string::npos && !host.starts_with("[");
  url += bare_ipv6 ? "[" + host + "]" : host;
  if (connection.port != 0) url += ":" + std::to_string(connection.port);
  if (!path.starts_with("/")) url += '/';
  return url + path;
}

class HandleTable : public InternetApi {
 public:
  HandleTable(std::unique_ptr<InternetBackend> backend, const InternetLimits& limits)
      : backend_(std::move(backend)), limits_(limits) {}

  ~HandleTable() override {
    for (auto& [handle, object] : handles_) object->Abandon();
  }
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  void SetWaitHook(InternetWaitHook hook) override { wait_hook_ = std::move(hook); }

  InternetHandle OpenSession(const std::string& agent, InternetAccess access,
                             const std::string& proxy) override {
    if (access != InternetAccess::kPreconfigured && access != InternetAccess::kDirect &&
        access != InternetAccess::kProxy) {
      return 0;
    }
    auto handle = std::make_shared<SessionHandle>();
    handle->session = backend_->OpenSession(agent, access, proxy);
    if (handle->session == nullptr) return 0;
    return Add(std::move(handle));
  }

  InternetHandle OpenUrl(InternetHandle session, const std::string& url) override {
    std::shared_ptr<SessionHandle> owner = Find<SessionHandle>(session);
    if (owner == nullptr || url.empty()) return 0;
    auto file = std::make_shared<UrlFile>();
    file->session = owner->session;
    file->url = url;
    RequestPlan plan;
    plan.url = url;
    // Held here: a handler run by the hook may change the hook.
    const InternetWaitHook hook = wait_hook_;
    file->exchange = backend_->Ask(file->session, plan, hook);
    if (file->exchange == nullptr) return 0;
    return Add(std::move(file));
  }

  std::int32_t SetFilePointer(InternetHandle url, std::int32_t distance) override {
    return Position(url, distance, nullptr);
  }

  std::int32_t SetFilePointerIfUnchanged(InternetHandle url, std::int32_t distance,
                                         const std::string& validator) override {
    return Position(url, distance, &validator);
  }

  bool ReadFile(InternetHandle url, char* buffer, std::uint32_t size,
                std::uint32_t* read) override {
    if (read != nullptr) *read = 0;
    UrlFile* file = ReadTarget(url);
    if (file == nullptr || buffer == nullptr || read == nullptr || file->exchange == nullptr) {
      return false;
    }
    // Fill the buffer unless the body ends first, so a caller sees whole reads; but once some
    // bytes are in hand, a server that trickles does not hold the caller (and its window)
    // for longer than a moment.
    std::uint32_t count = 0;
    std::optional<Clock::time_point> hand_over_at;
    while (count < size) {
      const std::size_t got = file->exchange->TakeBody(buffer + count, size - count);
      count += static_cast<std::uint32_t>(got);
      file->position += static_cast<std::int64_t>(got);
      if (got > 0) continue;
      bool failed = false;
      if (file->exchange->Drained(&failed)) {
        // The bytes of this read are handed out; a failure shows on the next one.
        *read = count;
        return count > 0 || !failed;
      }
      if (count > 0 && !hand_over_at) hand_over_at = Clock::now() + kPartialReadWait;
      // Held here: a handler run by the hook may close the handle or change the hook.
      const std::shared_ptr<UrlFile> kept = Find<UrlFile>(url);
      const std::shared_ptr<InternetExchange> exchange = kept->exchange;
      const InternetWaitHook hook = wait_hook_;
      const bool came =
          exchange->WaitForBody(hook, hand_over_at.value_or(Clock::time_point::max()));
      if (Find<UrlFile>(url) != kept) return false;
      if (!came) break;
    }
    *read = count;
    return true;
  }

  InternetHandle Connect(InternetHandle session, const std::string& host, std::uint16_t port,
                         const std::string& user, const std::string& password) override {
    std::shared_ptr<SessionHandle> owner = Find<SessionHandle>(session);
    if (owner == nullptr || !HostIsPlain(host)) return 0;
    std::optional<std::pair<std::string, std::uint16_t>> parts = SplitHostPort(host);
    if (!parts || parts->first.empty()) return 0;
    auto connection = std::make_shared<Connection>();
    connection->session = owner->session;
    connection->host = std::move(parts->first);
    // A port in the host text wins.
    connection->port = parts->second != 0 ? parts->second : port;
    if (!user.empty()) {
      connection->user = user;
      connection->password = password;
    }
    return Add(std::move(connection));
  }

  InternetHandle OpenRequest(InternetHandle connection, const std::string& verb,
                             const std::string& path, const std::string& version,
                             std::uint32_t flags) override {
    std::shared_ptr<Connection> owner = Find<Connection>(connection);
    if (owner == nullptr || verb.empty()) return 0;
    auto request = std::make_shared<Request>();
    request->connection = std::move(owner);
    request->verb = verb;
    request->path = path;
    request->http10 = version == "HTTP/1.0";
    request->flags = flags;
    return Add(std::move(request));
  }

  void SendRequest(InternetHandle request) override {
    std::shared_ptr<Request> r = Find<Request>(request);
    if (r == nullptr) return;
    r->Abandon();
    r->exchange.reset();
    // A path must not carry blanks or line breaks into the request line.
    if (!PathIsPlain(r->path)) return;
    const Connection& c = *r->connection;
    RequestPlan plan;
    plan.verb = r->verb;
    plan.http10 = r->http10;
    plan.url = RequestUrl(c, r->path, (r->flags & kRequestSecure) != 0);
    plan.reload = (r->flags & kRequestReload) != 0;
    plan.user = c.user;
    plan.password = c.password;
    plan.keep_body = false;
    const InternetWaitHook hook = wait_hook_;
    std::shared_ptr<InternetExchange> exchange = backend_->Ask(c.session, plan, hook);
    if (exchange == nullptr) return;
    // Runs to its end: a body that comes (not with HEAD) is read and dropped.
    exchange->WaitForEnd(hook);
    r->exchange = std::move(exchange);
  }

  bool QueryRawHeaders(InternetHandle request, char* buffer, std::uint32_t* length) override {
    const AnswerHead* answer = AnswerOf(request);
    if (answer == nullptr || buffer == nullptr || length == nullptr || answer->block_too_long) {
      return false;
    }
    return CopyText(answer->block, buffer, length);
  }

  bool QueryStatusCode(InternetHandle request, char* buffer, std::uint32_t* length) override {
    const AnswerHead* answer = AnswerOf(request);
    if (answer == nullptr || buffer == nullptr || length == nullptr || answer->status == 0) {
      return false;
    }
    return CopyText(std::to_string(answer->status), buffer, length);
  }

  void CloseHandle(InternetHandle handle) override {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    if (handle == last_read_handle_) last_read_file_ = nullptr;
    const std::shared_ptr<HandleObject> object = std::move(it->second);
    handles_.erase(it);
    object->Abandon();
  }

 private:
  // A download reads the same handle hundreds of thousands of times in a row.
  UrlFile* ReadTarget(InternetHandle url) {
    if (url != last_read_handle_ || last_read_file_ == nullptr) {
      last_read_handle_ = url;
      last_read_file_ = Find<UrlFile>(url).get();
    }
    return last_read_file_;
  }

  const AnswerHead* AnswerOf(InternetHandle request) {
    std::shared_ptr<Request> r = Find<Request>(request);
    return r == nullptr || r->exchange == nullptr ? nullptr : &r->exchange->answer();
  }

  // Asks for the body again from the position distance away (only while the file is the one
  // validator describes, when there is one): the old answer is dropped.
  std::int32_t Position(InternetHandle url, std::int32_t distance, const std::string* validator) {
    const std::shared_ptr<UrlFile> file = Find<UrlFile>(url);
    if (file == nullptr) return kInvalidSetFilePointer;
    const std::optional<std::int64_t> place = PositionTarget(file->position, distance, validator);
    if (!place) return kInvalidSetFilePointer;
    const std::int64_t target = *place;
    if (target == file->position) return static_cast<std::int32_t>(target);

    file->Abandon();
    file->exchange.reset();
    RequestPlan plan;
    plan.url = file->url;
    plan.from = target;
    if (validator != nullptr) plan.validator = *validator;
    const InternetWaitHook hook = wait_hook_;
    std::shared_ptr<InternetExchange> exchange = backend_->Ask(file->session, plan, hook);
    if (exchange == nullptr) return kInvalidSetFilePointer;
    const AnswerHead& answer = exchange->answer();
    std::int64_t placed_at = -1;
    if (answer.status == 206) {
      if (RangeRunsToTheEnd(answer.content_range, target)) placed_at = target;
    } else if (answer.status == 200 && validator != nullptr) {
      // The file changed since the validator was seen: this is the new one, from its start.
      placed_at = 0;
    } else if (answer.status == 200) {
      // The server ignored the range and sends the whole body: its first bytes are passed
      // over, in the answer's time plus what a slow but living server needs for them.
      const Clock::time_point give_up_at =
          Clock::now() + AnswerLimit(limits_) +
          std::chrono::seconds(target / kSlowestSkipBytesPerSecond);
      if (exchange->PassOver(target, hook, give_up_at)) placed_at = target;
    }
    // A handler run by the hook may have closed the handle meanwhile: the answer is nobody's.
    if (placed_at < 0 || Find<UrlFile>(url) != file) {
      exchange->Abandon();
      return kInvalidSetFilePointer;
    }
    file->exchange = std::move(exchange);
    file->position = placed_at;
    return static_cast<std::int32_t>(placed_at);
  }

  InternetHandle Add(std::shared_ptr<HandleObject> object) {
    const InternetHandle handle = next_handle_++;
    handles_.emplace(handle, std::move(object));
    return handle;
  }

  template <typename T>
  std::shared_ptr<T> Find(InternetHandle handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
  }

  std::unique_ptr<InternetBackend> backend_;
  const InternetLimits limits_;
  InternetWaitHook wait_hook_;
  // Handles are never reused, so a closed one stays invalid.
  InternetHandle next_handle_ = 0x1000;
  std::unordered_map<InternetHandle, std::shared_ptr<HandleObject>> handles_;
  InternetHandle last_read_handle_ = 0;
  UrlFile* last_read_file_ = nullptr;
};

}  // namespace

std::unique_ptr<InternetApi> InternetApiOver(std::unique_ptr<InternetBackend> backend,
                                             const InternetLimits& limits) {
  return std::make_unique<HandleTable>(std::move(backend), limits);
}

}  // namespace rariduze
