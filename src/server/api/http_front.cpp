#include "server/api/http_front.h"

#include <httplib.h>
#include <sys/socket.h>

#include "server/api/envelope.h"
#include "server/api/multipart_body.h"
#include "server/api/reply_texts.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr char kJson[] = "application/json;charset=UTF-8";
// Multipart bodies are split by the routes, not by cpp-httplib: its parser
// refuses a preamble before the first delimiter, which the browser's upload
// sends and RFC 2046 allows. The media type is renamed before the library
// reads the body; the boundary parameter stays.
constexpr char kOpaqueMultipart[] = "application/x-nuve-multipart";

// The library's server, with the listen queue widened after binding: the
// library asks for a backlog of a few connections only, and a burst of
// clients then sees connection resets.
template <class Base>
class WideServer : public Base {
 public:
  using Base::Base;
  void WidenBacklog() { ::listen(this->svr_sock_.load(), SOMAXCONN); }
};

void Answer(httplib::Response& res, const ApiReply& reply) {
  res.status = reply.status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(reply.body, kJson);
}

void AnswerPage(httplib::Response& res, const PageReply& page) {
  res.status = page.status;
  res.set_header("Cache-Control", "no-store");
  res.set_header("Referrer-Policy", "no-referrer");  // the link's token stays here
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Content-Security-Policy",
                 "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; frame-ancestors 'none'");
  if (!page.set_cookie.empty()) res.set_header("Set-Cookie", page.set_cookie);
  res.set_content(page.html, "text/html;charset=UTF-8");
}

// The request's fields, from a form or a multipart body; nullopt when the
// body cannot be read as such.
std::optional<ApiRequest> ParseApiRequest(const httplib::Request& req, BodyKind kind, const std::string& body) {
  ApiRequest request;
  request.client_address = req.remote_addr;
  if (kind == BodyKind::kMultipart) {
    const std::string type = req.get_header_value("Content-Type");
    if (!type.starts_with(kOpaqueMultipart)) return std::nullopt;
    auto parts = ParseMultipartBody(body, MultipartBoundary(type));
    if (!parts) return std::nullopt;
    for (MultipartPart& part : *parts) {
      if (part.filename) request.filenames.emplace(part.name, *part.filename);
      request.fields.emplace(std::move(part.name), std::move(part.content));
    }
    return request;
  }
  httplib::Params params;
  httplib::detail::parse_query_text(body, params);
  for (auto& [name, value] : params) request.fields.emplace(name, value);
  return request;
}

}  // namespace

HttpFront::HttpFront(const ApiRoutes& routes, const ResetPage& reset_page, const VersionChannel& versions,
                     Store& store, FrontOptions options)
    : routes_(routes), reset_page_(reset_page), versions_(versions), store_(store), options_(std::move(options)) {
  if (!options_.tls_cert.empty()) {
    server_ = std::make_unique<WideServer<httplib::SSLServer>>(options_.tls_cert.c_str(), options_.tls_key.c_str());
  } else {
    server_ = std::make_unique<WideServer<httplib::Server>>();
  }
  const int threads = std::max(4, options_.threads);
  server_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  server_->set_keep_alive_max_count(1000);
  server_->set_keep_alive_timeout(5);
  server_->set_read_timeout(10);
  server_->set_write_timeout(10);
  server_->set_tcp_nodelay(true);
  server_->set_payload_max_length(kMaxMultipartBody);
  server_->set_default_headers({{"X-Content-Type-Options", "nosniff"}});
  SetUpRoutes();
}

HttpFront::~HttpFront() = default;

std::string HttpFront::Bind() {
  if (!server_->is_valid()) {
    return "cannot use the TLS certificate " + options_.tls_cert + " with the key " + options_.tls_key;
  }
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.host);
    if (port_ <= 0) return "cannot listen on " + options_.host;
  } else if (server_->bind_to_port(options_.host, options_.port)) {
    port_ = options_.port;
  } else {
    return "cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
           " (is another service using it?)";
  }
  if (auto* plain = dynamic_cast<WideServer<httplib::Server>*>(server_.get())) plain->WidenBacklog();
  if (auto* tls = dynamic_cast<WideServer<httplib::SSLServer>*>(server_.get())) tls->WidenBacklog();
  return {};
}

bool HttpFront::Run() { return server_->listen_after_bind(); }

void HttpFront::Stop() { server_->stop(); }

void HttpFront::SetUpRoutes() {
  httplib::Server& s = *server_;

  s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    const std::string type = req.get_header_value("Content-Type");
    if (type.size() >= 19 && strncasecmp(type.c_str(), "multipart/form-data", 19) == 0) {
      // The request object is the library's own, not a constant: only the
      // handler's view of it is.
      auto& headers = const_cast<httplib::Request&>(req).headers;
      headers.erase("Content-Type");
      headers.emplace("Content-Type", kOpaqueMultipart + type.substr(19));
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  s.Post(R"(/api/.*)", [this](const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
    const auto kind = routes_.BodyKindOf(req.path);
    if (!kind) return Answer(res, Refuse(ReplyCode::kRefused, texts::kNotFound, 404));
    const std::size_t cap = *kind == BodyKind::kForm ? kMaxFormBody : kMaxMultipartBody;
    std::string body;
    bool too_large = false;
    const bool read = reader([&](const char* data, std::size_t size) {
      if (body.size() + size > cap) {
        too_large = true;
        return false;
      }
      body.append(data, size);
      return true;
    });
    if (too_large || res.status == 413) {
      res.set_header("Connection", "close");  // the rest of the body is not read
      return Answer(res, Refuse(ReplyCode::kRefused, texts::kTooLarge, 413));
    }
    const auto request = read ? ParseApiRequest(req, *kind, body) : std::nullopt;
    if (!request) {
      res.set_header("Connection", "close");
      return Answer(res, Refuse(ReplyCode::kRefused, texts::kMalformed, 400));
    }
    Answer(res, routes_.Handle(req.path, *request));
  });

  s.Get("/fcg-bin/cgi_get_portrait.fcg", [this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-cache");
    res.set_content(versions_.Reply(req.get_param_value("uins")), "text/javascript;charset=UTF-8");
  });

  s.Get(R"(/img/([0-9a-fA-F]{32}))", [this](const httplib::Request& req, httplib::Response& res) {
    try {
      const auto image = routes_.images().Image(req.matches[1]);
      if (!image) {
        res.status = 404;
        return res.set_content("no such image\n", "text/plain");
      }
      // The address names the content: it never changes.
      res.set_header("Cache-Control", "public, max-age=31536000, immutable");
      res.set_content(image->bytes, image->mime.c_str());
    } catch (const StoreError& e) {
      LogError(std::string("image: ") + e.what());
      res.status = 503;
      res.set_content("try again later\n", "text/plain");
    }
  });

  s.Get("/reset", [this](const httplib::Request& req, httplib::Response& res) {
    AnswerPage(res, reset_page_.Show(req.get_param_value("t")));
  });
  s.Post("/reset", [this](const httplib::Request& req, httplib::Response& res) {
    ApiRequest form;
    for (const auto& [name, value] : req.params) form.fields.emplace(name, value);
    AnswerPage(res, reset_page_.Submit(form, req.get_header_value("Cookie")));
  });

  // For load balancers: 200 while the database answers.
  s.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
    try {
      store_.Read([](Tx& tx) { (void)tx.Setting("health"); });
      res.set_content("ok\n", "text/plain");
    } catch (const StoreError&) {
      res.status = 503;
      res.set_content("database unavailable\n", "text/plain");
    }
  });
  s.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("NUVE account service\n", "text/plain;charset=UTF-8");
  });

  s.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      LogError(req.path + ": " + e.what());
    } catch (...) {
      LogError(req.path + ": unknown failure");
    }
    Answer(res, Refuse(ReplyCode::kServiceError, texts::kUnavailable, 500));
  });
  s.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    if (req.path.starts_with("/api/")) {
      const char* message = res.status == 413 ? texts::kTooLarge : texts::kMalformed;
      const int status = res.status;
      Answer(res, Refuse(ReplyCode::kRefused, message, status));
    }
  });
}

}  // namespace nuve::server
