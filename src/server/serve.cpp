#include "server/serve.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "server/api/api_routes.h"
#include "server/http/http_front.h"
#include "server/mail/console_mailer.h"
#include "server/mail/smtp_mailer.h"
#include "server/security/security_policy.h"
#include "server/server_log.h"
#include "server/service_setup.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

// Each connection holds a descriptor; the soft limit is often 1024.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

std::unique_ptr<Mailer> MakeMailer(const ServerOptions& options) {
  if (options.smtp_url.empty()) {
    LogInfo("development mode: no --smtp given, so mails are not sent but written to standard error "
            "with their codes and links");
    return std::make_unique<ConsoleMailer>(std::cerr);
  }
  SmtpSettings smtp{options.smtp_url, options.smtp_user, options.smtp_password, options.mail_from};
  if (smtp.from.empty()) smtp.from = options.smtp_user.find('@') != std::string::npos ? options.smtp_user
                                                                                       : "nuve@localhost";
  return std::make_unique<SmtpMailer>(smtp);
}

// Deletes expired sessions, codes and links and old log rows once a minute.
class Housekeeper {
 public:
  Housekeeper(Store& store, const Clock& clock, std::int64_t session_ttl_ms)
      : thread_([this, &store, &clock, session_ttl_ms] { Loop(store, clock, session_ttl_ms); }) {}
  ~Housekeeper() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Loop(Store& store, const Clock& clock, std::int64_t session_ttl_ms) {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::minutes(1), [this] { return stopping_; })) {
      lock.unlock();
      try {
        const std::int64_t now = clock.NowMs();
        // Failed logins count for the throttle's window only: rows for
        // accounts that do not exist go with the others.
        store.Write([&](Tx& tx) {
          tx.Purge(now, now - session_ttl_ms, now - kDayMs, now - kLoginFailureWindowMs + 1);
        });
      } catch (const StoreError& e) {
        LogError(std::string("housekeeping: ") + e.what());
      }
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

// The health check: the database answers and the free space is above the
// reserve.
bool Healthy(Store& store, const StorageReserve& storage) {
  if (storage.Low()) return false;
  try {
    store.Read([](Tx& tx) { (void)tx.Setting("health"); });
    return true;
  } catch (const StoreError&) {
    return false;
  }
}

// The HTTP front's threads and limits: one connection thread per core (two
// at least), one hash per core at once with sixteen per core waiting.
FrontOptions MakeFrontOptions(const ServerOptions& options, const std::string& host, int port) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  FrontOptions front;
  front.host = host;
  front.port = port;
  front.tls_cert = options.tls_cert;
  front.tls_key = options.tls_key;
  front.io_threads = std::max(2u, cores);
  front.work_threads = static_cast<unsigned>(options.threads);
  front.hash_threads = cores;
  front.hash_queue = 16 * cores;
  front.max_connections = static_cast<unsigned>(options.max_connections);
  front.connections_per_client = static_cast<unsigned>(options.connections_per_client);
  front.trusted_proxies = options.trusted_proxies;
  if (!options.trusted_proxies.empty() && options.connections_per_client > 0) {
    LogInfo("behind a trusted proxy the connections per client address are not limited here: the proxy "
            "limits them");
  }
  return front;
}

}  // namespace

int Serve(const ServerOptions& options) {
  ServiceConfig config;
  if (auto error = MakeServiceConfig(options, config)) {
    LogError(*error);
    return 2;
  }
  const auto listen = SplitListenAddress(options.listen);
  if (!IsLoopbackHost(listen->first) && options.tls_cert.empty() && !options.insecure_http) {
    LogError("refusing to listen on " + options.listen +
             " without TLS: passwords and login tokens would cross the network in clear text. Give --tls-cert "
             "and --tls-key, or put a TLS proxy in front and pass --insecure-http.");
    return 2;
  }
  auto hasher = MakeHasher(options);
  if (!hasher) {
    LogError("--password-hash is interactive, moderate or light, not \"" + options.password_hash + "\"");
    return 2;
  }
  if (options.password_hash == "light") LogInfo("warning: light password hashes are for tests only");

  // Signals are blocked before any thread starts, so only the waiter below
  // receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  RaiseDescriptorLimit();

  std::unique_ptr<Store> store;
  try {
    store = OpenStoreFor(options);
  } catch (const std::exception& e) {
    LogError(std::string("cannot open the database: ") + e.what());
    return 1;
  }
  std::unique_ptr<Mailer> mailer = MakeMailer(options);
  SystemClock clock;
  SessionRenewer sessions(*store);
  const StorageReserve storage(DatabaseFolder(options), options.free_space_reserve_mb * 1024 * 1024);
  const ServiceDeps deps{*store, *hasher, *mailer, clock, config, sessions, storage};
  ApiRoutes routes(deps);
  ResetPage reset_page(deps);
  EmailChangePage email_page(deps);
  VersionChannel versions(deps);
  HttpFront front(routes, reset_page, email_page, versions, [&] { return Healthy(*store, storage); },
                  MakeFrontOptions(options, listen->first, listen->second));
  if (const std::string error = front.Bind(); !error.empty()) {
    LogError(error);
    return 1;
  }
  const std::string scheme = options.tls_cert.empty() ? "http://" : "https://";
  const std::string shown_host = listen->first.find(':') != std::string::npos ? "[" + listen->first + "]"
                                                                                : listen->first;
  if (options.public_url.empty() && listen->second == 0) {
    // The port was chosen by the system only now; links must name it.
    config.public_url = config.public_url.substr(0, config.public_url.rfind(':') + 1) + std::to_string(front.port());
  }
  LogInfo("listening on " + scheme + shown_host + ":" + std::to_string(front.port()) + ", database " +
          store->Describe() + ", signups " + (config.signups_open ? "open" : "closed") + ", links to " +
          config.public_url);

  Housekeeper housekeeper(*store, clock, config.session_ttl_ms);
  std::atomic<bool> served{false};
  std::thread waiter([&] {
    timespec tick{0, 200 * 1000 * 1000};
    while (!served) {
      if (sigtimedwait(&stop_signals, nullptr, &tick) > 0) {
        LogInfo("stopping");
        // Until the server has really stopped: a signal may come before it
        // began to listen, when a stop does nothing yet.
        while (!served) {
          front.Stop();
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return;
      }
    }
  });
  const bool ok = front.Run();
  served = true;
  waiter.join();
  return ok ? 0 : 1;
}

}  // namespace nuve::server
