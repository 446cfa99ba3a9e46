#include "support/fake_account_service.h"

#include <arpa/inet.h>
#include <glib.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace nuve::test {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// The reply envelope; `payload` is JSON text already.
std::string Envelope(int code, bool result, const std::string& message, const std::string& payload) {
  return "{\"code\":" + std::to_string(code) + ",\"result\":" + (result ? "true" : "false") +
         ",\"message\":" + JsonString(message) + ",\"responseBody\":" + payload + "}";
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

RawRequest ParseRaw(std::string raw, std::size_t header_end) {
  RawRequest r;
  const std::string head = raw.substr(0, header_end);
  const std::size_t first_end = head.find("\r\n");
  r.request_line = head.substr(0, first_end);
  const std::size_t sp1 = r.request_line.find(' ');
  const std::size_t sp2 = r.request_line.rfind(' ');
  r.method = r.request_line.substr(0, sp1);
  if (sp1 != std::string::npos && sp2 > sp1) r.target = r.request_line.substr(sp1 + 1, sp2 - sp1 - 1);
  if (first_end != std::string::npos) r.header_block = head.substr(first_end + 2);
  std::size_t pos = 0;
  while (pos < r.header_block.size()) {
    std::size_t end = r.header_block.find("\r\n", pos);
    if (end == std::string::npos) end = r.header_block.size();
    const std::string line = r.header_block.substr(pos, end - pos);
    if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
      std::size_t value_at = colon + 1;
      while (value_at < line.size() && line[value_at] == ' ') ++value_at;
      r.headers.emplace_back(line.substr(0, colon), line.substr(value_at));
    }
    pos = end + 2;
  }
  r.body = raw.substr(header_end + 4);
  r.raw = std::move(raw);
  return r;
}

std::string PathOf(const std::string& target) { return target.substr(0, target.find('?')); }

}  // namespace

std::string RawRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (Lower(key) == Lower(name)) return value;
  }
  return {};
}

int RawRequest::HeaderCount(const std::string& name) const {
  return static_cast<int>(std::count_if(headers.begin(), headers.end(),
                                        [&](const auto& h) { return Lower(h.first) == Lower(name); }));
}

std::vector<std::string> RawRequest::HeaderNames() const {
  std::vector<std::string> names;
  for (const auto& h : headers) names.push_back(h.first);
  return names;
}

struct Account {
  std::string password;
  std::string email;
  std::string name;
  std::string phone;
  std::string head_img;
  int id = 0;
  std::map<std::string, std::string> data;
};

struct FakeAccountService::State {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::map<std::string, ReplyMode> modes;
  std::map<std::string, std::string> messages;
  std::map<std::string, std::string> custom;
  std::chrono::milliseconds slow_delay{3000};
  std::map<std::string, Account> accounts;
  std::map<std::string, std::string> tokens;      // token -> account
  std::map<std::string, std::string> last_token;  // account -> token
  std::map<std::string, std::string> codes;       // email -> code
  std::map<std::string, std::string> images;      // md5 -> bytes
  std::vector<Feedback> feedback;
  std::vector<std::string> reset_mails;
  std::vector<RawRequest> requests;
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Connection> connections;
  int next_id = 1000;
  int next_token = 1;
  httplib::Server server;

  ReplyMode ModeOf(const std::string& path) const {
    const auto it = modes.find(path);
    return it == modes.end() ? ReplyMode::kNormal : it->second;
  }
  // The account behind a token; nullptr when the token is unknown.
  Account* ByToken(const std::string& token, std::string* account_name = nullptr) {
    const auto it = tokens.find(token);
    if (it == tokens.end()) return nullptr;
    if (account_name != nullptr) *account_name = it->second;
    return &accounts[it->second];
  }
};

FakeAccountService::FakeAccountService(int port) : state_(std::make_unique<State>()) {
  SetUpRoutes();
  backend_port_ = state_->server.bind_to_any_port("127.0.0.1");
  if (backend_port_ <= 0) throw std::runtime_error("fake account service: no backend port");
  backend_thread_ = std::thread([this] { state_->server.listen_after_bind(); });

  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0) {
    ::close(listen_fd_);
    state_->server.stop();
    backend_thread_.join();
    throw std::runtime_error("fake account service: cannot listen on port " + std::to_string(port));
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  front_thread_ = std::thread([this] { RunFront(listen_fd_); });
}

FakeAccountService::~FakeAccountService() {
  {
    std::lock_guard lock(state_->mutex);
    stopping_ = true;
  }
  state_->changed.notify_all();
  front_thread_.join();
  ::close(listen_fd_);
  std::vector<State::Connection> connections;
  {
    std::lock_guard lock(state_->mutex);
    connections.swap(state_->connections);
  }
  for (auto& c : connections) c.thread.join();
  state_->server.stop();
  backend_thread_.join();
}

std::string FakeAccountService::host() const { return "127.0.0.1:" + std::to_string(port_); }

void FakeAccountService::RunFront(int listen_fd) {
  while (!stopping_) {
    pollfd pfd{listen_fd, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    const int client = ::accept(listen_fd, nullptr, nullptr);
    if (client < 0) continue;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard lock(state_->mutex);
    // Threads of answered connections are joined here, so a long-running
    // service does not pile them up.
    auto& all = state_->connections;
    for (auto it = all.begin(); it != all.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = all.erase(it);
      } else {
        ++it;
      }
    }
    all.push_back({std::thread([this, client, done] {
                     ServeConnection(client);
                     *done = true;
                   }),
                   done});
  }
}

// Reads one request from the client, logs it, and either plays a broken
// connection or passes the request to the HTTP server and its reply back.
void FakeAccountService::ServeConnection(int client) {
  std::string raw;
  std::size_t header_end = std::string::npos;
  std::size_t wanted = std::string::npos;
  char buf[65536];
  while (!stopping_ && (wanted == std::string::npos || raw.size() < wanted)) {
    pollfd pfd{client, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n <= 0) break;
    raw.append(buf, static_cast<std::size_t>(n));
    if (header_end == std::string::npos && (header_end = raw.find("\r\n\r\n")) != std::string::npos) {
      const RawRequest head = ParseRaw(raw.substr(0, header_end + 4), header_end);
      const std::string length = head.Header("Content-Length");
      wanted = header_end + 4 + (length.empty() ? 0 : std::stoull(length));
    }
  }
  if (header_end == std::string::npos || stopping_) {
    ::close(client);
    return;
  }
  RawRequest request = ParseRaw(raw, header_end);
  const std::string path = PathOf(request.target);
  ReplyMode mode;
  {
    std::lock_guard lock(state_->mutex);
    mode = state_->ModeOf(path);
    state_->requests.push_back(std::move(request));
  }
  state_->changed.notify_all();

  if (mode == ReplyMode::kDrop) {
    ::close(client);
    return;
  }
  if (mode == ReplyMode::kNeverAnswer) {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return stopping_.load(); });
    lock.unlock();
    ::close(client);
    return;
  }

  const int backend = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(backend_port_));
  // The copy for the HTTP server asks it to close the connection after its
  // reply, which is how the reply's end is known here.
  std::string forwarded = raw;
  forwarded.insert(raw.find("\r\n") + 2, "Connection: close\r\n");
  // cpp-httplib refuses some multipart bodies that the program sends (one
  // starts with a blank line); the routes split them themselves, so the HTTP
  // server is told they are opaque.
  if (const std::size_t type = forwarded.find("multipart/form-data");
      type != std::string::npos && type < forwarded.find("\r\n\r\n")) {
    forwarded.replace(type, 19, "application/x-multi");
  }
  if (::connect(backend, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      SendAll(backend, forwarded.data(), forwarded.size())) {
    while (!stopping_) {
      pollfd pfd{backend, POLLIN, 0};
      if (::poll(&pfd, 1, 50) <= 0) continue;
      const ssize_t n = ::recv(backend, buf, sizeof buf, 0);
      if (n <= 0 || !SendAll(client, buf, static_cast<std::size_t>(n))) break;
    }
  }
  ::close(backend);
  ::close(client);
}

void FakeAccountService::SetMode(const std::string& path, ReplyMode mode, std::string message) {
  std::lock_guard lock(state_->mutex);
  state_->modes[path] = mode;
  state_->messages[path] = std::move(message);
}

void FakeAccountService::SetCustomReply(const std::string& path, std::string body) {
  std::lock_guard lock(state_->mutex);
  state_->modes[path] = ReplyMode::kCustom;
  state_->custom[path] = std::move(body);
}

void FakeAccountService::SetSlowDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(state_->mutex);
  state_->slow_delay = delay;
}

void FakeAccountService::AddAccount(const std::string& account, const std::string& password,
                                    const std::string& email) {
  std::lock_guard lock(state_->mutex);
  Account& a = state_->accounts[account];
  a.password = password;
  a.email = email;
  a.id = state_->next_id++;
}

bool FakeAccountService::HasAccount(const std::string& account) const {
  std::lock_guard lock(state_->mutex);
  return state_->accounts.count(account) > 0;
}

std::string FakeAccountService::PasswordOf(const std::string& account) const {
  std::lock_guard lock(state_->mutex);
  const auto it = state_->accounts.find(account);
  return it == state_->accounts.end() ? std::string() : it->second.password;
}

std::string FakeAccountService::TokenOf(const std::string& account) const {
  std::lock_guard lock(state_->mutex);
  const auto it = state_->last_token.find(account);
  return it == state_->last_token.end() ? std::string() : it->second;
}

void FakeAccountService::ExpireTokens() {
  std::lock_guard lock(state_->mutex);
  state_->tokens.clear();
}

std::string FakeAccountService::RegistrationCode(const std::string& email) const {
  std::lock_guard lock(state_->mutex);
  const auto it = state_->codes.find(email);
  return it == state_->codes.end() ? std::string() : it->second;
}

std::vector<Feedback> FakeAccountService::FeedbackReceived() const {
  std::lock_guard lock(state_->mutex);
  return state_->feedback;
}

std::vector<std::string> FakeAccountService::ResetMailsSent() const {
  std::lock_guard lock(state_->mutex);
  return state_->reset_mails;
}

std::vector<RawRequest> FakeAccountService::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::vector<RawRequest> FakeAccountService::RequestsTo(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  std::vector<RawRequest> out;
  for (const auto& r : state_->requests) {
    if (PathOf(r.target) == path) out.push_back(r);
  }
  return out;
}

void FakeAccountService::ClearRequests() {
  std::lock_guard lock(state_->mutex);
  state_->requests.clear();
}

bool FakeAccountService::WaitForRequests(const std::string& path, std::size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count_if(state_->requests.begin(), state_->requests.end(),
                                                  [&](const RawRequest& r) { return PathOf(r.target) == path; })) >= count;
  });
}

namespace {

struct Part {
  std::string name;
  std::string filename;
  std::string content;
};

// Splits a multipart body by the boundary its Content-Type names. Kept
// simple and lenient on purpose: the tests look at the bytes themselves.
std::vector<Part> SplitMultipart(const httplib::Request& req) {
  std::vector<Part> parts;
  const std::string type = req.get_header_value("Content-Type");
  const std::size_t at = type.find("boundary=");
  if (at == std::string::npos) return parts;
  const std::string delimiter = "--" + type.substr(at + 9);
  const std::string& body = req.body;
  std::size_t pos = body.find(delimiter);
  while (pos != std::string::npos) {
    std::size_t start = pos + delimiter.size();
    if (body.compare(start, 2, "--") == 0) break;
    start += 2;  // the CRLF after the delimiter
    const std::size_t next = body.find("\r\n" + delimiter, start);
    if (next == std::string::npos) break;
    const std::size_t head_end = body.find("\r\n\r\n", start);
    if (head_end != std::string::npos && head_end < next) {
      Part part;
      const std::string head = body.substr(start, head_end - start);
      auto quoted = [&](const std::string& key) {
        const std::size_t k = head.find(key + "=\"");
        if (k == std::string::npos) return std::string();
        const std::size_t v = k + key.size() + 2;
        return head.substr(v, head.find('"', v) - v);
      };
      part.name = quoted("name");
      part.filename = quoted("filename");
      part.content = body.substr(head_end + 4, next - head_end - 4);
      parts.push_back(std::move(part));
    }
    pos = next + 2;
  }
  return parts;
}

std::string PartValue(const std::vector<Part>& parts, const std::string& name) {
  for (const auto& p : parts) {
    if (p.name == name) return p.content;
  }
  return {};
}

std::string Md5Hex(const std::string& bytes) {
  gchar* hex = g_compute_checksum_for_data(G_CHECKSUM_MD5, reinterpret_cast<const guchar*>(bytes.data()),
                                           bytes.size());
  std::string out = hex;
  g_free(hex);
  return out;
}

std::string ImageObject(const std::string& hash, int id) {
  return "{\"hash\":" + JsonString(hash) + ",\"createTime\":1700000000000,\"id\":" + std::to_string(id) +
         ",\"ossurl\":" + JsonString("http://127.0.0.1/img/" + hash) + ",\"referenceNum\":1}";
}

}  // namespace

void FakeAccountService::SetUpRoutes() {
  using Req = httplib::Request;
  using Res = httplib::Response;
  using Handler = std::function<std::string(const Req&, Res&)>;
  State& st = *state_;

  auto route = [this, &st](const std::string& path, Handler normal) {
    st.server.Post(path, [this, &st, path, normal](const Req& req, Res& res) {
      ReplyMode mode;
      std::string message, custom;
      std::chrono::milliseconds delay;
      {
        std::lock_guard lock(st.mutex);
        mode = st.ModeOf(path);
        message = st.messages[path];
        custom = st.custom[path];
        delay = st.slow_delay;
      }
      switch (mode) {
        case ReplyMode::kRefuse:
          res.set_content(Envelope(1, false, message, "null"), "application/json;charset=UTF-8");
          return;
        case ReplyMode::kSucceed:
          res.set_content(Envelope(0, true, message, "null"), "application/json;charset=UTF-8");
          return;
        case ReplyMode::kMalformedJson:
          res.set_content("{\"code\":0,\"result\":tru", "application/json;charset=UTF-8");
          return;
        case ReplyMode::kEmptyBody:
          res.set_content("", "application/json;charset=UTF-8");
          return;
        case ReplyMode::kServerError:
          res.status = 500;
          res.set_content("<html><body><h1>500 Internal Server Error</h1></body></html>", "text/html");
          return;
        case ReplyMode::kCustom:
          res.set_content(custom, "application/json;charset=UTF-8");
          return;
        case ReplyMode::kGbk:
          // "密码错误" in GBK.
          res.set_content(Envelope(1, false, "\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3", "null"),
                          "application/json;charset=GBK");
          return;
        case ReplyMode::kHuge: {
          constexpr std::size_t kSize = 100u * 1024 * 1024;
          res.set_content_provider(kSize, "application/json",
                                   [this](size_t offset, size_t length, httplib::DataSink& sink) {
                                     static const std::string chunk(64 * 1024, 'x');
                                     if (stopping_) return false;
                                     (void)offset;
                                     return sink.write(chunk.data(), std::min(length, chunk.size()));
                                   });
          return;
        }
        case ReplyMode::kSlow: {
          std::unique_lock lock(st.mutex);
          st.changed.wait_for(lock, delay, [this] { return stopping_.load(); });
          break;
        }
        default:
          break;
      }
      res.set_content(normal(req, res), "application/json;charset=UTF-8");
    });
  };

  route("/api/login.e", [&st](const Req& req, Res& res) {
    std::lock_guard lock(st.mutex);
    const std::string account = req.get_param_value("account");
    const auto it = st.accounts.find(account);
    if (it == st.accounts.end() || it->second.password != req.get_param_value("password")) {
      return Envelope(1, false, "账号或密码错误", "null");
    }
    const std::string token = "tok-" + std::to_string(st.next_token++) + "-" + account;
    st.tokens[token] = account;
    st.last_token[account] = token;
    res.set_header("Set-Cookie", "NUVESESSION=" + token + "; Path=/; HttpOnly");
    return Envelope(0, true, "登录成功", JsonString(token));
  });

  route("/api/register.e", [&st](const Req& req, Res&) {
    const std::vector<Part> parts = SplitMultipart(req);
    const std::string account = PartValue(parts, "account");
    const std::string email = PartValue(parts, "email");
    std::lock_guard lock(st.mutex);
    if (account.empty() || PartValue(parts, "password").empty()) {
      return Envelope(1, false, "账号和密码不能为空", "null");
    }
    if (st.accounts.count(account) > 0) return Envelope(1, false, "账号已存在", "null");
    if (!email.empty() && st.codes.count(email) > 0 && st.codes[email] != PartValue(parts, "code")) {
      return Envelope(1, false, "验证码错误", "null");
    }
    Account& a = st.accounts[account];
    a.password = PartValue(parts, "password");
    a.email = email;
    a.phone = PartValue(parts, "phone");
    a.name = PartValue(parts, "name");
    a.head_img = PartValue(parts, "headImg");
    a.id = st.next_id++;
    return Envelope(0, true, "注册成功", "null");
  });

  route("/api/replyPassword.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    const auto it = st.accounts.find(req.get_param_value("account"));
    if (it == st.accounts.end() || it->second.password != req.get_param_value("oldPwd")) {
      return Envelope(1, false, "原密码错误", "null");
    }
    it->second.password = req.get_param_value("newPwd");
    return Envelope(0, true, "密码修改成功", "null");
  });

  route("/api/sendRePwdByEmail.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    const std::string account = req.get_param_value("account");
    if (st.accounts.count(account) == 0) return Envelope(1, false, "账号不存在", "null");
    st.reset_mails.push_back(account);
    return Envelope(0, true, "重置邮件已发送", "null");
  });

  route("/api/sendRegCodeByEmail.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    const std::string email = req.get_param_value("email");
    if (email.find('@') == std::string::npos) return Envelope(1, false, "邮箱格式错误", "null");
    st.codes[email] = std::to_string(100000 + st.next_id++ % 900000);
    return Envelope(0, true, "验证码已发送", "null");
  });

  route("/api/info.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    std::string account;
    const Account* a = st.ByToken(req.get_param_value("token"), &account);
    if (a == nullptr) return Envelope(2, false, "登录已过期", "null");
    const std::string profile =
        "{\"account\":" + JsonString(account) + ",\"email\":" + JsonString(a->email) +
        ",\"headUrl\":\"\",\"id\":" + std::to_string(a->id) +
        ",\"loginAddress\":\"127.0.0.1\",\"loginTime\":1700000000000,\"registTime\":1600000000,"
        "\"userLoginCount\":3,\"name\":" + JsonString(a->name) + ",\"phone\":" + JsonString(a->phone) + "}";
    return Envelope(0, true, "ok", profile);
  });

  route("/api/dofeed.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    std::string account;
    if (st.ByToken(req.get_param_value("token"), &account) == nullptr) {
      return Envelope(2, false, "登录已过期", "null");
    }
    st.feedback.push_back({account, req.get_param_value("title"), req.get_param_value("content")});
    return Envelope(0, true, "反馈成功", "null");
  });

  route("/api/comm/keep.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    if (st.ByToken(req.get_param_value("token")) == nullptr) return Envelope(2, false, "登录已过期", "null");
    return Envelope(0, true, "ok", "null");
  });

  route("/api/announcement/list.e", [](const Req&, Res&) {
    return Envelope(0, true, "ok",
                    "[{\"title\":\"欢迎使用\",\"id\":1,\"pushTime\":1700000000},"
                    "{\"title\":\"维护通知\",\"id\":2,\"pushTime\":1700003600}]");
  });

  route("/api/announcement/get.e", [](const Req& req, Res&) {
    const std::string id = req.get_param_value("id");
    if (id.empty()) return Envelope(0, true, "ok", "{\"title\":\"欢迎使用\",\"id\":1,\"pushTime\":1700000000}");
    return Envelope(0, true, "ok", "{\"title\":\"公告\",\"id\":" + id + ",\"pushTime\":1700000000}");
  });

  route("/api/getUserInfoById.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    if (st.ByToken(req.get_param_value("token")) == nullptr) return Envelope(2, false, "登录已过期", "null");
    const std::string uid = req.get_param_value("uid");
    for (const auto& [name, a] : st.accounts) {
      if (std::to_string(a.id) == uid) {
        return Envelope(0, true, "ok", "{\"account\":" + JsonString(name) + ",\"id\":" + uid + "}");
      }
    }
    return Envelope(1, false, "用户不存在", "null");
  });

  route("/api/getUserData.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    Account* a = st.ByToken(req.get_param_value("token"));
    if (a == nullptr) return Envelope(2, false, "登录已过期", "null");
    const auto it = a->data.find(req.get_param_value("key"));
    return Envelope(0, true, "ok", it == a->data.end() ? "null" : JsonString(it->second));
  });

  route("/api/setUserData.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    Account* a = st.ByToken(req.get_param_value("token"));
    if (a == nullptr) return Envelope(2, false, "登录已过期", "null");
    a->data[req.get_param_value("key")] = req.get_param_value("value");
    return Envelope(0, true, "ok", "null");
  });

  route("/api/upload/getImg.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    const std::string hash = req.get_param_value("hash");
    if (st.images.count(hash) == 0) return Envelope(1, false, "图片不存在", "null");
    return Envelope(0, true, "ok", ImageObject(hash, 1));
  });

  route("/api/upload/img.e", [&st](const Req& req, Res&) {
    const std::vector<Part> parts = SplitMultipart(req);
    const std::string image = PartValue(parts, "img");
    if (image.empty()) return Envelope(1, false, "没有图片", "null");
    const std::string hash = Md5Hex(image);
    std::lock_guard lock(st.mutex);
    st.images[hash] = image;
    return Envelope(0, true, "上传成功", ImageObject(hash, static_cast<int>(st.images.size())));
  });

  route("/api/updateUserInfo.e", [&st](const Req& req, Res&) {
    std::lock_guard lock(st.mutex);
    Account* a = st.ByToken(req.get_param_value("token"));
    if (a == nullptr) return Envelope(2, false, "登录已过期", "null");
    if (req.has_param("name")) a->name = req.get_param_value("name");
    if (req.has_param("email")) a->email = req.get_param_value("email");
    if (req.has_param("phone")) a->phone = req.get_param_value("phone");
    if (req.has_param("headImg")) a->head_img = req.get_param_value("headImg");
    return Envelope(0, true, "修改成功", "null");
  });
}

}  // namespace nuve::test
