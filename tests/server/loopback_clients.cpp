#include "loopback_clients.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace nuve::test {

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

std::string LoopbackAddress(int n) {
  return "127." + std::to_string(1 + n / 65536) + "." + std::to_string((n / 256) % 256) + "." +
         std::to_string(n % 256);
}

int ConnectFrom(const std::string& source, int port, bool nonblocking, int receive_buffer) {
  const int fd = socket(AF_INET, SOCK_STREAM | (nonblocking ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, source.c_str(), &from.sin_addr);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool ClosedByServer(int fd, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count()))) <= 0) {
      if (left.count() <= 0) return false;
      continue;
    }
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
    char buf[4096];
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
  }
}

std::string Exchange(int fd, const std::string& request, int timeout_ms) {
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may answer and close before it read everything
    sent += static_cast<std::size_t>(n);
  }
  std::string reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const std::size_t end = reply.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::size_t length = 0;
      const std::size_t at = reply.find("Content-Length: ");
      if (at != std::string::npos && at < end) length = std::stoul(reply.substr(at + 16));
      if (reply.size() >= end + 4 + length) return reply.substr(0, end + 4 + length);
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[16384];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return reply.find("\r\n\r\n") != std::string::npos ? reply : std::string();
    reply.append(buf, static_cast<std::size_t>(n));
  }
}

std::string FormRequest(const std::string& path, const std::string& body, const std::string& extra) {
  return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
         extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

int StatusOf(const std::string& reply) {
  if (!reply.starts_with("HTTP/1.") || reply.size() < 12) return 0;
  return std::atoi(reply.c_str() + 9);
}

std::string BodyOf(const std::string& reply) {
  const std::size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

}  // namespace nuve::test
