#pragma once
// A stand-in for the account service on 127.0.0.1. It answers every endpoint
// from in-memory accounts, tokens, registration codes, user data and
// feedback; a test can choose the reply of any endpoint instead; and every
// request is logged exactly as it arrived on the wire.
//
// Two listeners work together: a raw TCP front on the public port reads each
// request byte for byte (request line, headers in their order, body) and
// hands it to a cpp-httplib server on a private port, which does the HTTP
// work. The front also plays the dropped and the never-answered connection.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace nuve::test {

struct RawRequest {
  std::string raw;           // every byte received, headers and body
  std::string request_line;  // "POST /api/login.e HTTP/1.1"
  std::string method;
  std::string target;        // path and query as sent
  std::vector<std::pair<std::string, std::string>> headers;  // in their order
  std::string header_block;  // the header lines as sent, each ended by "\r\n"
  std::string body;

  // The first header of that name (any case); "" when absent.
  std::string Header(const std::string& name) const;
  // How many headers of that name (any case) were sent.
  int HeaderCount(const std::string& name) const;
  // The header names in their order.
  std::vector<std::string> HeaderNames() const;
};

enum class ReplyMode {
  kNormal,         // the endpoint does its work
  kRefuse,         // {"code":1,"result":false,"message":<message>}
  kSucceed,        // {"code":0,"result":true,"message":<message>} whatever was sent
  kMalformedJson,  // a reply that is not JSON
  kEmptyBody,      // 200 with no body
  kServerError,    // 500 with an HTML page
  kSlow,           // the normal reply after the slow delay
  kDrop,           // the connection is closed without a reply
  kNeverAnswer,    // the connection is held open and never answered
  kHuge,           // a 200 reply of 100 MiB
  kGbk,            // a refusal whose message is in GBK, not UTF-8
  kCustom,         // status 200 with the custom body
};

struct Feedback {
  std::string account;
  std::string title;
  std::string content;
};

class FakeAccountService {
 public:
  // Listens on 127.0.0.1:port; 0 takes a free port.
  explicit FakeAccountService(int port = 0);
  ~FakeAccountService();
  FakeAccountService(const FakeAccountService&) = delete;
  FakeAccountService& operator=(const FakeAccountService&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:<port>", the value for NUVE_SERVICE_HOST.
  std::string host() const;

  // Chooses the reply of one endpoint ("/api/login.e"); kNormal restores it.
  void SetMode(const std::string& path, ReplyMode mode, std::string message = "");
  void SetCustomReply(const std::string& path, std::string body);
  void SetSlowDelay(std::chrono::milliseconds delay);

  void AddAccount(const std::string& account, const std::string& password,
                  const std::string& email = "");
  bool HasAccount(const std::string& account) const;
  std::string PasswordOf(const std::string& account) const;
  // The token the last successful login of `account` received.
  std::string TokenOf(const std::string& account) const;
  // Makes every issued token unknown, as when sessions expire.
  void ExpireTokens();
  // The registration code last mailed to `email`; "" when none.
  std::string RegistrationCode(const std::string& email) const;
  std::vector<Feedback> FeedbackReceived() const;
  std::vector<std::string> ResetMailsSent() const;

  std::vector<RawRequest> Requests() const;
  std::vector<RawRequest> RequestsTo(const std::string& path) const;
  void ClearRequests();
  // Waits until `count` requests to `path` have arrived; false on time-out.
  bool WaitForRequests(const std::string& path, std::size_t count,
                       std::chrono::milliseconds timeout) const;

 private:
  struct State;
  void RunFront(int listen_fd);
  void ServeConnection(int client_fd);
  void SetUpRoutes();

  std::unique_ptr<State> state_;
  int port_ = 0;
  int backend_port_ = 0;
  int listen_fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread front_thread_;
  std::thread backend_thread_;
};

}  // namespace nuve::test
