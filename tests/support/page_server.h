#pragma once
// Pages for the window tests, served on 127.0.0.1 at an ephemeral port:
//   /title/<T>        a page titled T
//   /late-title/<T>   a page that takes the title T half a second after loading
//   /blank-link       a link with target="_blank" to /title/child (id "l")
//   /popup            a button (id "b") whose click runs window.open("/title/popup")
//   /with-icon        a page whose icon is /icon.png
//   /slow             answers only after `slow_ms`
//   /swallow          a page titled "swallow" whose script swallows every key (preventDefault)
//   /links            a plain link (id "p") to /title/child at the top left
//   /menu             a link to /title/child (id "p", top 10px), a javascript: link ("j", 50px),
//                     an image ("i", 90px), a paragraph ("t", 150px) and an input ("e", 200px)
//   /to-start         a page whose script goes to nuve://start at once
//   /frame-start      nuve://start in a frame and a nuve:// image; titled "icon shown" or "icon refused"
//   /find             a page with "apple" three times (once as "Apple")
//   /locate           asks for the location; titled "denied" when refused
//   /set-cookie       sets the lasting cookie nuve=kept
//   /storage          sets cookies (server and script), localStorage and IndexedDB, is cacheable;
//                     titled "stored" when done
//   /show-cookie      a page titled with the Cookie header it got ("none" without)
//   /download/<n>     n bytes of DownloadBytes as the attachment "data.bin"
//   /octet/<n>        n bytes of DownloadBytes as application/octet-stream, no name
//   /slow-download    20 MiB as the attachment "slow.bin", 64 KiB every 100 ms
//   /media/<file>     a file of tests/data/media (video/mp4 or video/webm; ranges answered)
// Every request is counted by path.

#include <httplib.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace nuve::test {

class PageServer {
 public:
  // The bytes the download pages serve: a fixed pattern, n bytes long.
  static std::string DownloadBytes(std::size_t n);

  PageServer();
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;
  // Requests answered for `path`.
  int Hits(const std::string& path) const;
  // Requests for /slow that have arrived, answered or not.
  int SlowArrivals() const { return slow_arrivals_; }
  void set_slow_ms(int ms) { slow_ms_ = ms; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<int> slow_ms_{3000};
  std::atomic<int> slow_arrivals_{0};
  mutable std::mutex mutex_;
  std::map<std::string, int> hits_;
};

// An HTTPS server on 127.0.0.1 with a self-signed certificate made for the
// run (openssl), answering /title/<T> like the page server.
class TlsPageServer {
 public:
  explicit TlsPageServer(const std::string& folder);
  ~TlsPageServer();
  TlsPageServer(const TlsPageServer&) = delete;
  TlsPageServer& operator=(const TlsPageServer&) = delete;

  bool ok() const { return server_ != nullptr && server_->is_valid(); }
  std::string Url(const std::string& path) const;

 private:
  std::unique_ptr<httplib::SSLServer> server_;
  std::thread thread_;
  int port_ = 0;
};

// An HTTP proxy stand-in: it answers every request itself with a page titled
// "via proxy" and counts the requests (absolute-form targets included).
class CountingProxy {
 public:
  CountingProxy();
  ~CountingProxy();
  CountingProxy(const CountingProxy&) = delete;
  CountingProxy& operator=(const CountingProxy&) = delete;

  int port() const { return port_; }
  int Requests() const { return requests_; }
  std::string LastTarget() const;

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<int> requests_{0};
  mutable std::mutex mutex_;
  std::string last_target_;
};

}  // namespace nuve::test
