#include "support/site_proxy.h"

#include <chrono>

namespace nuve::test {
namespace {

// "http://host:80/path?q" (absolute form) or "/path?q" with a Host header:
// "host/path".
std::string KeyOf(const httplib::Request& request) {
  std::string target = request.target;
  std::string host;
  if (target.rfind("http://", 0) == 0) {
    const std::size_t slash = target.find('/', 7);
    host = target.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  } else {
    host = request.get_header_value("Host");
  }
  if (const std::size_t colon = host.find(':'); colon != std::string::npos) host.resize(colon);
  if (const std::size_t query = target.find('?'); query != std::string::npos) target.resize(query);
  return host + target;
}

}  // namespace

SiteProxy::SiteProxy() {
  server_.set_keep_alive_max_count(1);
  server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    const std::string key = KeyOf(request);
    Handler handler;
    {
      std::lock_guard lock(mutex_);
      ++hits_[key];
      if (const auto it = handlers_.find(key); it != handlers_.end()) handler = it->second;
    }
    if (!handler) {
      response.status = 404;
      response.set_content("not served here", "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    }
    Reply reply = handler(request);
    if (reply.delay_ms > 0) {
      std::unique_lock lock(mutex_);
      stopping_cv_.wait_for(lock, std::chrono::milliseconds(reply.delay_ms), [this] { return stopping_; });
    }
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) response.set_header(name, value);
    if (reply.status != 304) response.set_content(reply.body, reply.content_type);
    return httplib::Server::HandlerResponse::Handled;
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // A stop before the server runs would be lost, and the thread would wait
  // for connections forever.
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

SiteProxy::~SiteProxy() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopping_cv_.notify_all();
  server_.stop();
  thread_.join();
}

void SiteProxy::Serve(const std::string& host, const std::string& path, Reply reply) {
  Handle(host, path, [reply](const httplib::Request&) { return reply; });
}

void SiteProxy::Handle(const std::string& host, const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[host + path] = std::move(handler);
}

int SiteProxy::Hits(const std::string& host, const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = hits_.find(host + path);
  return it == hits_.end() ? 0 : it->second;
}

std::vector<std::string> SiteProxy::Requested() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> keys;
  for (const auto& [key, count] : hits_) keys.push_back(key);
  return keys;
}

std::string SiteProxy::address() const { return "127.0.0.1:" + std::to_string(port_); }

}  // namespace nuve::test
