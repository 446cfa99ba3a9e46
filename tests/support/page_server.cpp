#include "support/page_server.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace nuve::test {
namespace {

std::string Page(const std::string& title, const std::string& body = "") {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>" +
         body + "</body></html>";
}

}  // namespace

PageServer::PageServer() {
  server_.set_keep_alive_max_count(1);  // lets stop() return promptly
  server_.set_logger([this](const httplib::Request& req, const httplib::Response&) {
    std::lock_guard lock(mutex_);
    ++hits_[req.path];
  });
  auto html = [](httplib::Response& res, const std::string& text) { res.set_content(text, "text/html; charset=utf-8"); };
  server_.Get(R"(/title/(.*))", [html](const httplib::Request& req, httplib::Response& res) {
    html(res, Page(req.matches[1].str(), "<p>" + req.matches[1].str() + "</p>"));
  });
  server_.Get(R"(/late-title/(.*))", [html](const httplib::Request& req, httplib::Response& res) {
    html(res, Page("early", "<script>setTimeout(function(){document.title='" + req.matches[1].str() +
                                "';}, 500);</script>"));
  });
  server_.Get("/blank-link", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("links", "<a id=\"l\" href=\"/title/child\" target=\"_blank\">child</a>"));
  });
  server_.Get("/popup", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("opener", "<button id=\"b\" onclick=\"window.open('/title/popup')\">open</button>"));
  });
  server_.Get("/with-icon", [html](const httplib::Request&, httplib::Response& res) {
    html(res, "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>iconic</title>"
              "<link rel=\"icon\" href=\"/icon.png\"></head><body>icon</body></html>");
  });
  server_.Get("/icon.png", [](const httplib::Request&, httplib::Response& res) {
    // A 1x1 red PNG.
    static const unsigned char kPng[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x77, 0x53,
        0xDE, 0x00, 0x00, 0x00, 0x0C, 0x49, 0x44, 0x41, 0x54, 0x08, 0xD7, 0x63, 0xF8, 0xCF, 0xC0, 0x00,
        0x00, 0x03, 0x01, 0x01, 0x00, 0x18, 0xDD, 0x8D, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E,
        0x44, 0xAE, 0x42, 0x60, 0x82};
    res.set_content(std::string(reinterpret_cast<const char*>(kPng), sizeof(kPng)), "image/png");
  });
  server_.Get("/slow", [this, html](const httplib::Request&, httplib::Response& res) {
    ++slow_arrivals_;
    std::this_thread::sleep_for(std::chrono::milliseconds(slow_ms_.load()));
    html(res, Page("slow"));
  });
  server_.Get("/swallow", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("swallow", "<input id=\"i\" autofocus><script>document.addEventListener('keydown',"
                              "function(e){e.preventDefault();e.stopPropagation();},true);</script>"));
  });
  server_.Get("/links", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("links", "<a id=\"p\" href=\"/title/child\">plain child link</a>"));
  });
  server_.Get("/menu", [html](const httplib::Request&, httplib::Response& res) {
    // Each target at a place of its own, for right clicks at known points.
    html(res, Page("menu",
                   "<style>body{margin:0}body>*{position:absolute;left:10px;margin:0;font:16px sans-serif}</style>"
                   "<a id=\"p\" href=\"/title/child\" style=\"top:10px\">plain child link</a>"
                   "<a id=\"j\" href=\"javascript:document.title='ran'\" style=\"top:50px\">script link</a>"
                   "<img id=\"i\" src=\"/icon.png\" style=\"top:90px;width:40px;height:40px\">"
                   "<p id=\"t\" style=\"top:150px\">rust   ownership\n words</p>"
                   "<input id=\"e\" value=\"typed\" style=\"top:200px;width:200px\">"));
  });
  server_.Get("/to-start", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("to-start", "<script>setTimeout(function(){location.href='nuve://start';},0);</script>"));
  });
  server_.Get("/frame-start", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("framing", "<iframe id=\"f\" src=\"nuve://start\"></iframe>"
                              "<img src=\"nuve://start/icon?u=http%3A%2F%2Fa.test%2F\""
                              " onload=\"document.title='icon shown'\" onerror=\"document.title='icon refused'\">"));
  });
  server_.Get("/find", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("find", "<p>apple banana apple cherry Apple</p>"));
  });
  server_.Get("/locate", [html](const httplib::Request&, httplib::Response& res) {
    html(res, Page("asking", "<script>navigator.geolocation.getCurrentPosition("
                             "function(){document.title='located';},"
                             "function(e){document.title=e.code==1?'denied':'failed '+e.code;});</script>"));
  });
  server_.Get("/set-cookie", [html](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "nuve=kept; Max-Age=86400; Path=/");
    html(res, Page("cookie set"));
  });
  // Leaves something in every store a site can write to: a cookie from the
  // server and one from the script, localStorage, IndexedDB, and itself in
  // the HTTP cache; titled "stored" once the database took its record.
  server_.Get("/storage", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "server=kept; Max-Age=86400; Path=/");
    res.set_header("Cache-Control", "public, max-age=86400");
    res.set_content(
        "<!DOCTYPE html><html><head><title>storing</title></head><body><script>"
        "document.cookie='script=kept; max-age=86400; path=/';"
        "localStorage.setItem('nuve','kept');"
        "const open=indexedDB.open('nuve',1);"
        "open.onupgradeneeded=()=>open.result.createObjectStore('s');"
        "open.onsuccess=()=>{const tx=open.result.transaction('s','readwrite');"
        "tx.objectStore('s').put('kept','k');tx.oncomplete=()=>{document.title='stored';};};"
        "open.onerror=()=>{document.title='no database';};"
        "</script></body></html>",
        "text/html; charset=utf-8");
  });
  server_.Get("/show-cookie", [html](const httplib::Request& req, httplib::Response& res) {
    const std::string cookie = req.get_header_value("Cookie");
    html(res, Page(cookie.empty() ? "none" : cookie));
  });
  server_.Get(R"(/download/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Content-Disposition", "attachment; filename=\"data.bin\"");
    res.set_content(DownloadBytes(std::stoul(req.matches[1].str())), "application/x-nuve-test");
  });
  server_.Get(R"(/octet/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(DownloadBytes(std::stoul(req.matches[1].str())), "application/octet-stream");
  });
  server_.Get("/slow-download", [](const httplib::Request&, httplib::Response& res) {
    static constexpr std::size_t kTotal = 20u << 20;
    static constexpr std::size_t kChunk = 64u << 10;
    res.set_header("Content-Disposition", "attachment; filename=\"slow.bin\"");
    res.set_content_provider(kTotal, "application/x-nuve-test",
                             [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               std::this_thread::sleep_for(std::chrono::milliseconds(100));
                               const std::string chunk(std::min(kChunk, kTotal - offset), 'x');
                               return sink.write(chunk.data(), chunk.size());
                             });
  });
  server_.Get(R"(/media/([a-z0-9-]+\.(mp4|webm)))", [](const httplib::Request& req, httplib::Response& res) {
    std::ifstream file(std::string(NUVE_TEST_MEDIA_DIR) + "/" + req.matches[1].str(), std::ios::binary);
    if (!file) {
      res.status = 404;
      return;
    }
    // The library answers range requests from the whole content, as the engine's media loader asks.
    res.set_content(std::string(std::istreambuf_iterator<char>(file), {}),
                    req.matches[2].str() == "webm" ? "video/webm" : "video/mp4");
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
}

std::string PageServer::DownloadBytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
  return bytes;
}

PageServer::~PageServer() {
  server_.stop();
  thread_.join();
}

std::string PageServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int PageServer::Hits(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = hits_.find(path);
  return it == hits_.end() ? 0 : it->second;
}

TlsPageServer::TlsPageServer(const std::string& folder) {
  const std::string key = folder + "/key.pem";
  const std::string cert = folder + "/cert.pem";
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" + key +
                           "' -out '" + cert + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return;
  server_ = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
  if (!server_->is_valid()) return;
  server_->set_keep_alive_max_count(1);
  server_->Get(R"(/title/(.*))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(Page(req.matches[1].str()), "text/html; charset=utf-8");
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
}

TlsPageServer::~TlsPageServer() {
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

std::string TlsPageServer::Url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

CountingProxy::CountingProxy() {
  server_.set_keep_alive_max_count(1);
  server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    {
      std::lock_guard lock(mutex_);
      last_target_ = req.target;
    }
    ++requests_;
    res.set_content(Page("via proxy"), "text/html; charset=utf-8");
    return httplib::Server::HandlerResponse::Handled;
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
}

CountingProxy::~CountingProxy() {
  server_.stop();
  thread_.join();
}

std::string CountingProxy::LastTarget() const {
  std::lock_guard lock(mutex_);
  return last_target_;
}

}  // namespace nuve::test
