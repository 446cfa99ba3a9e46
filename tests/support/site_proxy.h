#pragma once
// An HTTP proxy on 127.0.0.1 that is every web site at once: it answers
// absolute-form requests ("GET http://ads.example/x.js") itself from what a
// test told it to serve for that host and path, so that pages naming
// third-party hosts (ad servers of a filter list, a list publisher) load
// offline. Give it to the program as the proxy of the command line. What is
// not served gets 404; every request is counted by host and path.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace nuve::test {

class SiteProxy {
 public:
  struct Reply {
    int status = 200;
    std::string content_type = "text/html; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Waits this long before answering (a stop of the proxy ends the wait).
    int delay_ms = 0;
  };
  using Handler = std::function<Reply(const httplib::Request& request)>;

  SiteProxy();
  ~SiteProxy();
  SiteProxy(const SiteProxy&) = delete;
  SiteProxy& operator=(const SiteProxy&) = delete;

  // Serves `reply` for http://host/path (the path without its query).
  void Serve(const std::string& host, const std::string& path, Reply reply);
  // Lets `handler` answer http://host/path.
  void Handle(const std::string& host, const std::string& path, Handler handler);
  // Requests that arrived for http://host/path.
  int Hits(const std::string& host, const std::string& path) const;
  // Every "host/path" asked for so far (a CONNECT names its host twice).
  std::vector<std::string> Requested() const;

  int port() const { return port_; }
  // "127.0.0.1:<port>", as the command line takes a proxy.
  std::string address() const;

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable stopping_cv_;
  bool stopping_ = false;
  std::map<std::string, Handler> handlers_;
  std::map<std::string, int> hits_;
};

}  // namespace nuve::test
