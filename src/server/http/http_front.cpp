#include "server/http/http_front.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>

#include <charconv>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "server/api/envelope.h"
#include "server/api/input_rules.h"
#include "server/api/multipart_body.h"
#include "server/api/page_html.h"
#include "server/api/reply_texts.h"
#include "server/http/form_body.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr char kJson[] = "application/json;charset=UTF-8";
constexpr char kText[] = "text/plain;charset=UTF-8";
constexpr char kHtml[] = "text/html;charset=UTF-8";
// The memory of one connection: its headers (at most kMaxHeaderBytes, with
// room for the library's own records of them) and its read buffer. A request
// whose headers do not fit gets the library's own 431 answer. Up to 32 KiB
// the library takes it from malloc; more it maps for each connection, and
// every new connection would then wait for the address space while a
// password hash gives back its 64 MiB.
constexpr std::size_t kConnectionMemory = 32 * 1024;
// The kernel's send buffer of one connection (it doubles the value).
constexpr int kSendBuffer = 64 * 1024;
// Avatars being sent at once, in bytes: past it a request for another one
// waits for the next try, so slow readers cannot fill the memory.
constexpr std::int64_t kMaxImageBytesInFlight = 256LL * 1024 * 1024;
// A job that waited this long for a thread is answered "busy" unrun: its
// client has stopped waiting.
constexpr std::int64_t kMaxQueueWaitMs = 10'000;
// TLS 1.2 and 1.3 only; forward-secret key exchange and AEAD ciphers only;
// the server's order of preference wins.
constexpr char kTlsPriorities[] =
    "NONE:+VERS-TLS1.3:+VERS-TLS1.2:+AES-256-GCM:+CHACHA20-POLY1305:+AES-128-GCM:+AEAD:"
    "+ECDHE-ECDSA:+ECDHE-RSA:+SIGN-ALL:+GROUP-ALL:+COMP-NULL:%SERVER_PRECEDENCE";
constexpr char kHsts[] = "max-age=31536000";

enum class Target {
  kApi,
  kApiUnknown,
  kResetForm,
  kResetPost,
  kEmailForm,
  kEmailPost,
  kVersion,
  kImage,
  kHealth,
  kRoot,
  kUnknown,
};

Target TargetOf(const std::string& method, const std::string& path, const ApiRoutes& routes) {
  const bool get = method == "GET";
  const bool post = method == "POST";
  if (path.starts_with("/api/")) return post && routes.BodyKindOf(path) ? Target::kApi : Target::kApiUnknown;
  if (path == "/reset") return get ? Target::kResetForm : post ? Target::kResetPost : Target::kUnknown;
  if (path == "/email") return get ? Target::kEmailForm : post ? Target::kEmailPost : Target::kUnknown;
  if (!get) return Target::kUnknown;
  if (path == "/fcg-bin/cgi_get_portrait.fcg") return Target::kVersion;
  if (path == "/healthz") return Target::kHealth;
  if (path == "/") return Target::kRoot;
  if (path.starts_with("/img/")) return Target::kImage;
  return Target::kUnknown;
}

std::string Value(MHD_Connection* c, MHD_ValueKind kind, const char* name) {
  const char* value = MHD_lookup_connection_value(c, kind, name);
  return value != nullptr ? value : "";
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

std::optional<std::string> ReadWholeFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The listening address for the library; false when `host` names none.
bool ResolveListen(const std::string& host, int port, sockaddr_storage& out, bool& v6) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    return false;
  }
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    std::memcpy(&out, a->ai_addr, a->ai_addrlen);
    v6 = a->ai_family == AF_INET6;
    ok = true;
  }
  freeaddrinfo(found);
  return ok;
}

}  // namespace

// One answer, as the library will send it.
struct HttpFront::Reply {
  int status = 200;
  std::string body;
  std::string type = kJson;
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;  // the connection ends after it
  // Bytes shared by every answer that sends them (an avatar), instead of
  // `body`.
  std::shared_ptr<const std::string> shared;

  static Reply Api(const ApiReply& api) {
    Reply r{api.status, api.body, kJson, {{"Cache-Control", "no-store"}}, false, nullptr};
    return r;
  }
  static Reply ApiRefusal(ReplyCode code, const char* message, int status, bool close) {
    Reply r = Api(Refuse(code, message, status));
    r.close = close;
    return r;
  }
  static Reply Page(const PageReply& page) {
    Reply r{page.status, page.html, kHtml, {}, false, nullptr};
    r.headers = {{"Cache-Control", "no-store"},
                 {"Referrer-Policy", "no-referrer"},  // the link's token stays here
                 {"X-Frame-Options", "DENY"},
                 {"Content-Security-Policy",
                  "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; frame-ancestors 'none'"}};
    if (!page.set_cookie.empty()) r.headers.emplace_back("Set-Cookie", page.set_cookie);
    return r;
  }
  static Reply Text(int status, std::string body) {
    return Reply{status, std::move(body), kText, {}, false, nullptr};
  }
};

// One request, from its headers to its answer.
struct HttpFront::Exchange {
  ConnectionWatch::Entry* connection = nullptr;
  Target target = Target::kUnknown;
  std::string path;
  std::size_t cap = 0;
  std::string body;
  bool overflow = false;
  bool answered = false;
  // Set by a job on a queue while the connection is suspended.
  std::optional<Reply> ready;
};

// The library's callbacks.
struct HttpFront::Glue {
  static ConnectionWatch::Entry* EntryOf(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info != nullptr ? static_cast<ConnectionWatch::Entry*>(info->socket_context) : nullptr;
  }

  static MHD_Result Access(void* cls, MHD_Connection* c, const char* url, const char* method, const char*,
                           const char* data, size_t* size, void** context) {
    auto* self = static_cast<HttpFront*>(cls);
    auto* ex = static_cast<Exchange*>(*context);
    if (ex == nullptr) {
      ex = new Exchange;
      *context = ex;
      ex->connection = EntryOf(c);
      if (ex->connection != nullptr) ex->connection->Enter(ConnectionWatch::Phase::kBody);
      return static_cast<MHD_Result>(self->Begin(*ex, c, url, method));
    }
    if (*size > 0) {
      // Past the cap the rest is read and dropped: the answer cannot be
      // sent before the body ends, and the body's deadline bounds it.
      if (!ex->overflow && ex->body.size() + *size <= ex->cap) {
        ex->body.append(data, *size);
      } else {
        ex->overflow = true;
        std::string().swap(ex->body);
      }
      *size = 0;
      return MHD_YES;
    }
    if (ex->answered) return MHD_YES;
    if (ex->ready) {
      Reply reply = std::move(*ex->ready);
      ex->ready.reset();
      return static_cast<MHD_Result>(self->Send(*ex, c, std::move(reply)));
    }
    return static_cast<MHD_Result>(self->Finish(*ex, c));
  }

  static void Completed(void*, MHD_Connection* c, void** context, MHD_RequestTerminationCode) {
    delete static_cast<Exchange*>(*context);
    *context = nullptr;
    if (ConnectionWatch::Entry* entry = EntryOf(c)) entry->Enter(ConnectionWatch::Phase::kIdle);
  }

  static void Notify(void* cls, MHD_Connection* c, void** socket_context, MHD_ConnectionNotificationCode code) {
    auto* self = static_cast<HttpFront*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
      if (info != nullptr) {
        // The kernel would grow the send buffer of a client that reads
        // slowly up to megabytes, a copy of the answer for each; a fixed one
        // bounds that and still carries an avatar quickly.
        const int bytes = kSendBuffer;
        setsockopt(info->connect_fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
      }
      *socket_context = info != nullptr ? self->watch_.Add(info->connect_fd, self->options_.max_connections) : nullptr;
    } else {
      self->watch_.Remove(static_cast<ConnectionWatch::Entry*>(*socket_context));
      *socket_context = nullptr;
    }
  }

  static void* UriLog(void*, const char*, MHD_Connection* c) {
    if (ConnectionWatch::Entry* entry = EntryOf(c)) entry->Enter(ConnectionWatch::Phase::kHeaders);
    return nullptr;
  }

  // Past the global limit a connection is closed at once. The library's own
  // limit, a little higher, would leave it waiting in the listen queue.
  static MHD_Result Accept(void* cls, const sockaddr*, socklen_t) {
    auto* self = static_cast<HttpFront*>(cls);
    return self->watch_.Count() < self->options_.max_connections && !self->stopping_ ? MHD_YES : MHD_NO;
  }

  // The library's messages; under attack it has one for every refused
  // request, so at most one a second reaches the log.
  static void Log(void* cls, const char* format, va_list args) {
    auto* self = static_cast<HttpFront*>(cls);
    const std::int64_t now = MonotonicMs();
    std::int64_t last = self->last_library_message_ms_.load();
    const bool quiet = now - last < 1000 || !self->last_library_message_ms_.compare_exchange_strong(last, now);
    if (self->started_ && quiet) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    LogError("http: " + line);
  }
};

HttpFront::HttpFront(const ApiRoutes& routes, const ResetPage& reset_page, const EmailChangePage& email_page,
                     const VersionChannel& versions, std::function<bool()> healthy, FrontOptions options)
    : routes_(routes),
      reset_page_(reset_page),
      email_page_(email_page),
      versions_(versions),
      healthy_(std::move(healthy)),
      options_(std::move(options)),
      tls_(!options_.tls_cert.empty()),
      clients_(options_.trusted_proxies),
      watch_(options_.deadlines),
      avatars_(kMaxImageBytesInFlight),
      work_("work", options_.work_threads, 64 * std::max(1u, options_.work_threads)),
      // Hashes yield the processor to quick requests.
      hashing_("hashing", options_.hash_threads, options_.hash_queue, 10) {}

HttpFront::~HttpFront() {
  Stop();
  if (daemon_ != nullptr) {
    {
      // Every suspended connection must be resumed before the library stops.
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return suspended_ == 0; });
    }
    MHD_stop_daemon(daemon_);
  }
  work_.Stop();
  hashing_.Stop();
}

std::string HttpFront::Bind() {
  if (tls_) {
    auto cert = ReadWholeFile(options_.tls_cert);
    auto key = ReadWholeFile(options_.tls_key);
    if (!cert || !key) {
      return "cannot read the TLS certificate " + options_.tls_cert + " or the key " + options_.tls_key;
    }
    cert_pem_ = std::move(*cert);
    key_pem_ = std::move(*key);
  }
  sockaddr_storage address{};
  bool v6 = false;
  if (!ResolveListen(options_.host, options_.port, address, v6)) return "cannot listen on " + options_.host;

  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
  if (v6) flags |= MHD_USE_IPv6;
  if (tls_) flags |= MHD_USE_TLS;
  // A trusted proxy brings many clients over few addresses: limiting its
  // connections per address is the proxy's work then.
  const unsigned per_client = clients_.HasTrustedProxies() ? 0 : options_.connections_per_client;
  std::vector<MHD_OptionItem> items = {
      // First, so that it hears every message about the options below.
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Glue::Log), this},
      {MHD_OPTION_SOCK_ADDR, 0, &address},
      {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(std::max(1u, options_.io_threads)), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(options_.max_connections + 64), nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(per_client), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(kIdleSeconds), nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
      {MHD_OPTION_LISTEN_BACKLOG_SIZE, static_cast<intptr_t>(SOMAXCONN), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Glue::Completed), this},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Glue::Notify), this},
      {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Glue::UriLog), this},
      {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
  };
  if (tls_) {
    items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, cert_pem_.data()});
    items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key_pem_.data()});
    items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  items.push_back({MHD_OPTION_END, 0, nullptr});
  daemon_ = MHD_start_daemon(flags, static_cast<uint16_t>(options_.port), &Glue::Accept, this, &Glue::Access, this,
                             MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    if (tls_) {
      return "cannot use the TLS certificate " + options_.tls_cert + " with the key " + options_.tls_key +
             " on " + options_.host + ":" + std::to_string(options_.port);
    }
    return "cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
           " (is another service using it?)";
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info != nullptr ? info->port : options_.port;
  started_ = true;
  return {};
}

bool HttpFront::Run() {
  if (daemon_ == nullptr) return false;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stop_requested_; });
  // No new connection; the answers in progress end before Run returns.
  changed_.wait(lock, [this] { return suspended_ == 0; });
  return true;
}

void HttpFront::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_requested_ = true;
  }
  stopping_ = true;
  changed_.notify_all();
}

std::string HttpFront::ClientOf(void* connection) const {
  auto* c = static_cast<MHD_Connection*>(connection);
  std::string peer;
  if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* a = info->client_addr;
    if (a->sa_family == AF_INET) {
      inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    } else if (a->sa_family == AF_INET6) {
      inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
    }
    peer = text;
  }
  std::string forwarded;
  if (!clients_.HasTrustedProxies()) return clients_.ClientOf(peer, forwarded);
  MHD_get_connection_values(
      c, MHD_HEADER_KIND,
      [](void* out, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
        if (strcasecmp(key, "X-Forwarded-For") == 0 && value != nullptr) {
          auto* text = static_cast<std::string*>(out);
          if (!text->empty()) text->push_back(',');
          text->append(value);
        }
        return MHD_YES;
      },
      &forwarded);
  return clients_.ClientOf(peer, forwarded);
}

int HttpFront::Begin(Exchange& ex, void* connection, const char* url, const char* method) {
  auto* c = static_cast<MHD_Connection*>(connection);
  ex.path = url != nullptr ? url : "";
  ex.target = TargetOf(method != nullptr ? method : "", ex.path, routes_);
  const bool api = ex.target == Target::kApi || ex.target == Target::kApiUnknown;

  const int headers = MHD_get_connection_values(c, MHD_HEADER_KIND, nullptr, nullptr);
  const MHD_ConnectionInfo* size = MHD_get_connection_info(c, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
  if (headers > static_cast<int>(kMaxHeaders) || (size != nullptr && size->header_size > kMaxHeaderBytes)) {
    ex.answered = true;
    return Send(ex, c, Reply::ApiRefusal(ReplyCode::kRefused, texts::kHeadersTooLarge, 431, true));
  }
  // Bodies sent where none is wanted are read up to the form cap and
  // dropped: the answer (404) is the same.
  ex.cap = ex.target == Target::kApi && *routes_.BodyKindOf(ex.path) == BodyKind::kMultipart ? kMaxMultipartBody
                                                                                             : kMaxFormBody;
  // A body announced larger than the cap is refused before it is read.
  const std::string length = Value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  std::size_t announced = 0;
  if (!length.empty() && std::from_chars(length.data(), length.data() + length.size(), announced).ec == std::errc() &&
      announced > ex.cap) {
    ex.answered = true;
    if (!api) return Send(ex, c, Reply::Text(413, "request too large\n"));
    return Send(ex, c, Reply::ApiRefusal(ReplyCode::kRefused, texts::kTooLarge, 413, true));
  }
  return MHD_YES;
}

int HttpFront::Finish(Exchange& ex, void* connection) {
  auto* c = static_cast<MHD_Connection*>(connection);
  ex.answered = true;
  const bool api = ex.target == Target::kApi || ex.target == Target::kApiUnknown;
  if (ex.overflow) {
    if (!api) return Send(ex, c, Reply::Text(413, "request too large\n"));
    return Send(ex, c, Reply::ApiRefusal(ReplyCode::kRefused, texts::kTooLarge, 413, true));
  }
  switch (ex.target) {
    case Target::kApi: {
      ApiRequest request;
      request.client_address = ClientOf(c);
      if (*routes_.BodyKindOf(ex.path) == BodyKind::kMultipart) {
        const std::string type = Value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
        auto parts = StartsWithNoCase(type, "multipart/form-data")
                         ? ParseMultipartBody(ex.body, MultipartBoundary(type))
                         : std::nullopt;
        if (!parts) return Send(ex, c, Reply::ApiRefusal(ReplyCode::kRefused, texts::kMalformed, 400, true));
        for (MultipartPart& part : *parts) {
          if (part.filename) request.filenames.emplace(part.name, *part.filename);
          request.fields.emplace(std::move(part.name), std::move(part.content));
        }
      } else {
        ParseFormBody(ex.body, request.fields);
      }
      std::string().swap(ex.body);
      const RouteCost cost = routes_.CostOf(ex.path);
      if (cost == RouteCost::kLight) return Send(ex, c, Reply::Api(routes_.Handle(ex.path, request)));
      return Defer(ex, c, cost == RouteCost::kHashing ? hashing_ : work_,
                   [this, path = ex.path, request = std::move(request)] {
                     return Reply::Api(routes_.Handle(path, request));
                   });
    }
    case Target::kApiUnknown:
      return Send(ex, c, Reply::ApiRefusal(ReplyCode::kRefused, texts::kNotFound, 404, false));
    case Target::kResetForm:
      return Send(ex, c, Reply::Page(reset_page_.Show(Value(c, MHD_GET_ARGUMENT_KIND, "t"))));
    case Target::kResetPost: {
      ApiRequest form;
      ParseFormBody(ex.body, form.fields);
      return Defer(ex, c, hashing_, [this, form = std::move(form), cookie = Value(c, MHD_HEADER_KIND, "Cookie")] {
        return Reply::Page(reset_page_.Submit(form, cookie));
      });
    }
    case Target::kEmailForm:
      return Send(ex, c, Reply::Page(email_page_.Show(Value(c, MHD_GET_ARGUMENT_KIND, "t"))));
    case Target::kEmailPost: {
      ApiRequest form;
      ParseFormBody(ex.body, form.fields);
      return Defer(ex, c, work_, [this, form = std::move(form)] { return Reply::Page(email_page_.Confirm(form)); });
    }
    case Target::kVersion: {
      Reply r = Reply::Text(200, versions_.Reply(Value(c, MHD_GET_ARGUMENT_KIND, "uins")));
      r.type = "text/javascript;charset=UTF-8";
      r.headers = {{"Cache-Control", "no-cache"}};
      return Send(ex, c, std::move(r));
    }
    case Target::kImage: return Send(ex, c, Image(ex.path.substr(5)));
    case Target::kHealth: return Send(ex, c, Health());
    case Target::kRoot: return Send(ex, c, Reply::Text(200, "NUVE account service\n"));
    case Target::kUnknown: break;
  }
  return Send(ex, c, Reply::Text(404, "not found\n"));
}

HttpFront::Reply HttpFront::Busy(const Exchange& ex) const {
  if (ex.target == Target::kApi) return Reply::ApiRefusal(ReplyCode::kServiceError, texts::kBusy, 200, false);
  Reply r = Reply::Page(MessagePage(503, "请稍后再试", texts::kBusy, "请稍等片刻后重新提交。"));
  r.headers.emplace_back("Retry-After", "5");
  return r;
}

int HttpFront::Defer(Exchange& ex, void* connection, WorkQueue& queue, std::function<Reply()> job) {
  auto* c = static_cast<MHD_Connection*>(connection);
  {
    // Under the lock with Stop: once it was asked for, nothing new waits.
    std::lock_guard lock(mutex_);
    if (stop_requested_) return Send(ex, c, Busy(ex));
    ++suspended_;
  }
  if (ex.connection != nullptr) ex.connection->Enter(ConnectionWatch::Phase::kWorking);
  ex.answered = false;  // the answer comes when the library calls again
  MHD_suspend_connection(c);
  const auto resume = [this, c] {
    MHD_resume_connection(c);
    std::lock_guard lock(mutex_);
    --suspended_;
    changed_.notify_all();
  };
  const std::int64_t queued_at = MonotonicMs();
  Exchange* target = &ex;
  const bool taken = queue.Submit([this, target, queued_at, job = std::move(job), resume] {
    if (MonotonicMs() - queued_at > kMaxQueueWaitMs) {
      target->ready = Busy(*target);
    } else {
      target->ready = job();
    }
    resume();
  });
  if (!taken) {
    ex.ready = Busy(ex);
    resume();
  }
  return MHD_YES;
}

int HttpFront::Send(Exchange& ex, void* connection, Reply reply) {
  auto* c = static_cast<MHD_Connection*>(connection);
  ex.answered = true;
  MHD_Response* response = nullptr;
  if (reply.shared) {
    // The answer holds the bytes until the library is done with it.
    auto* hold = new std::shared_ptr<const std::string>(reply.shared);
    response = MHD_create_response_from_buffer_with_free_callback_cls(
        (*hold)->size(), const_cast<char*>((*hold)->data()),
        [](void* held) { delete static_cast<std::shared_ptr<const std::string>*>(held); }, hold);
    if (response == nullptr) delete hold;
  } else {
    response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
  }
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type.c_str());
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  if (tls_) MHD_add_response_header(response, "Strict-Transport-Security", kHsts);
  for (const auto& [name, value] : reply.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
  if (reply.close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  if (ex.connection != nullptr) ex.connection->Enter(ConnectionWatch::Phase::kReplying);
  const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(reply.status), response);
  MHD_destroy_response(response);
  return queued;
}

HttpFront::Reply HttpFront::Health() const {
  bool ok = false;
  try {
    ok = healthy_ && healthy_();
  } catch (const std::exception& e) {
    LogError(std::string("health check: ") + e.what());
  }
  return ok ? Reply::Text(200, "ok\n") : Reply::Text(503, "database unavailable or storage low\n");
}

HttpFront::Reply HttpFront::Image(const std::string& hash) {
  try {
    AvatarCache::Avatar avatar;
    const auto loader = [this](const std::string& h) { return routes_.images().Image(h); };
    switch (avatars_.Get(hash, loader, avatar)) {
      case AvatarCache::Outcome::kNoSuchImage: return Reply::Text(404, "no such image\n");
      case AvatarCache::Outcome::kFull: return Reply::Text(503, "try again later\n");
      case AvatarCache::Outcome::kFound: break;
    }
    // The address names the content: it never changes.
    return Reply{200, {}, avatar.mime, {{"Cache-Control", "public, max-age=31536000, immutable"}}, false,
                 avatar.bytes};
  } catch (const StoreError& e) {
    LogError(std::string("image: ") + e.what());
    return Reply::Text(503, "try again later\n");
  }
}

}  // namespace nuve::server
