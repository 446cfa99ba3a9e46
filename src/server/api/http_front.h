#pragma once
// The HTTP(S) side of the service, on cpp-httplib: the endpoints under /api/
// (bodies read here with their caps), the version channel, the avatars, the
// reset page, and a health check for load balancers.

#include <memory>
#include <string>

#include "server/api/api_routes.h"
#include "server/api/reset_page.h"
#include "server/api/version_channel.h"

namespace httplib {
class Server;
}

namespace nuve::server {

struct FrontOptions {
  std::string host = "127.0.0.1";
  int port = 8808;  // 0 takes a free port
  std::string tls_cert;  // both set: HTTPS
  std::string tls_key;
  int threads = 128;  // connections served at once
};

// Caps on request bodies.
inline constexpr std::size_t kMaxFormBody = 64 * 1024;
inline constexpr std::size_t kMaxMultipartBody = 2 * 1024 * 1024 + 64 * 1024;

class HttpFront {
 public:
  // `store` answers the health check.
  HttpFront(const ApiRoutes& routes, const ResetPage& reset_page, const VersionChannel& versions, Store& store,
            FrontOptions options);
  ~HttpFront();
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Binds the listening socket; "" when done, else why not.
  std::string Bind();
  int port() const { return port_; }
  // Serves until Stop; returns false when serving failed.
  bool Run();
  // Safe from any thread (and from a signal-waiting thread).
  void Stop();

 private:
  void SetUpRoutes();

  const ApiRoutes& routes_;
  const ResetPage& reset_page_;
  const VersionChannel& versions_;
  Store& store_;
  const FrontOptions options_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
};

}  // namespace nuve::server
