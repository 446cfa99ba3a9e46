#pragma once
// The HTTP(S) side of the service, on libmicrohttpd: the endpoints under
// /api/, the version channel, the avatars, the reset and e-mail pages, and a
// health check for load balancers.
//
// Built for hostile networks. A few threads serve every connection through
// epoll, so an idle or slow connection costs no thread. The library caps the
// connections of one client address, the memory of one connection and the
// silence on one; the ConnectionWatch adds deadlines for whole requests.
// Past the global limit a new connection is closed at once. Handlers that
// write or send mail run on the work queue, password hashes on a bounded
// queue of their own, so that neither ever holds up the quick requests
// (keep-alives, the profile, the version channel) that run on the
// connections' threads.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/api/api_routes.h"
#include "server/api/email_change_page.h"
#include "server/api/reset_page.h"
#include "server/api/version_channel.h"
#include "server/http/avatar_cache.h"
#include "server/http/client_address.h"
#include "server/http/connection_watch.h"
#include "server/http/work_queue.h"

struct MHD_Daemon;

namespace nuve::server {

struct FrontOptions {
  std::string host = "127.0.0.1";
  int port = 8808;  // 0 takes a free port
  std::string tls_cert;  // both set: HTTPS
  std::string tls_key;
  unsigned io_threads = 2;        // threads that serve the connections
  unsigned work_threads = 16;     // writes and mail
  unsigned hash_threads = 2;      // password hashes at once
  std::size_t hash_queue = 32;    // hashes that may wait for a thread
  unsigned max_connections = 4096;
  unsigned connections_per_client = 32;  // 0 = no limit
  std::vector<std::string> trusted_proxies;
  ConnectionWatch::Limits deadlines;
};

// What one request may send.
inline constexpr std::size_t kMaxHeaders = 100;
inline constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
inline constexpr std::size_t kMaxFormBody = 64 * 1024;
inline constexpr std::size_t kMaxMultipartBody = 2 * 1024 * 1024 + 64 * 1024;
// Silence on a kept-alive connection ends it.
inline constexpr unsigned kIdleSeconds = 30;

class HttpFront {
 public:
  // `healthy` answers the health check.
  HttpFront(const ApiRoutes& routes, const ResetPage& reset_page, const EmailChangePage& email_page,
            const VersionChannel& versions, std::function<bool()> healthy, FrontOptions options);
  ~HttpFront();
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Starts serving; "" when done, else why not.
  std::string Bind();
  int port() const { return port_; }
  // Returns once Stop was called, after the last answer in progress.
  bool Run();
  // Safe from any thread (and from a signal-waiting thread).
  void Stop();

 private:
  struct Exchange;
  struct Reply;
  struct Glue;

  int Begin(Exchange& ex, void* connection, const char* url, const char* method);
  int Finish(Exchange& ex, void* connection);
  int Send(Exchange& ex, void* connection, Reply reply);
  // Runs `job` on `queue` with the connection suspended; its reply is sent
  // when it is done. A full queue answers "busy" at once.
  int Defer(Exchange& ex, void* connection, WorkQueue& queue, std::function<Reply()> job);
  Reply Busy(const Exchange& ex) const;
  Reply Health() const;
  Reply Image(const std::string& hash);
  std::string ClientOf(void* connection) const;

  const ApiRoutes& routes_;
  const ResetPage& reset_page_;
  const EmailChangePage& email_page_;
  const VersionChannel& versions_;
  const std::function<bool()> healthy_;
  const FrontOptions options_;
  const bool tls_;
  const ClientAddresses clients_;
  std::string cert_pem_;
  std::string key_pem_;

  ConnectionWatch watch_;
  AvatarCache avatars_;
  WorkQueue work_;
  WorkQueue hashing_;
  MHD_Daemon* daemon_ = nullptr;
  int port_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_requested_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> started_{false};
  int suspended_ = 0;  // guarded by mutex_
  std::atomic<std::int64_t> last_library_message_ms_{0};
};

}  // namespace nuve::server
