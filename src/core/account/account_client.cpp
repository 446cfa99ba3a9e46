#include "core/account/account_client.h"

#include <glib.h>

#include "core/account/charset.h"
#include "core/account/form_encoding.h"
#include "core/account/http_transport.h"
#include "core/account/join_bytes.h"
#include "core/app/config.h"
#include "core/util/shared_json.h"

namespace nuve::core {
namespace {

constexpr char kCrlf[] = "\r\n";
// The register form's delimiter; its boundary in the header has two dashes fewer.
constexpr char kRegisterDelimiter[] = "------------ei4cH2KM7gL6cH2ae0Ij5cH2cH2gL6";
constexpr char kRegisterHeaders[] =
    "Content-Type: multipart/form-data; boundary=----------ei4cH2KM7gL6cH2ae0Ij5cH2cH2gL6\r\n"
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/46.0.2486.0 Safari/537.36 Edge/13.10586\r\n\r\n";
constexpr char kUploadDelimiter[] = "-----------------------------7db29f73b107e";

std::string Disposition(const std::string& name) {
  return "Content-Disposition: form-data; name=\"" + name + "\"";
}

// One text part after a delimiter: CRLF, its header, the value, CRLF, delimiter.
std::string TextPart(const std::string& name, const std::string& value) {
  return JoinBytes(kCrlf, Disposition(name), kCrlf, kCrlf, value, kCrlf, kRegisterDelimiter);
}

std::string Md5Hex(const std::string& bytes) {
  gchar* hex = g_compute_checksum_for_data(G_CHECKSUM_MD5, reinterpret_cast<const guchar*>(bytes.data()),
                                           bytes.size());
  std::string out = hex != nullptr ? hex : "";
  g_free(hex);
  return out;
}

// The reply bytes as the program's text; "" (not successful) for a failure.
ApiResponse ReplyOf(const std::string& bytes) { return ApiResponse(DecodeReplyText(bytes)); }

}  // namespace

int HttpStatusOf(const std::string& headers) {
  // After a "100 Continue" comes the real status line: the last one counts.
  std::size_t at = headers.rfind("\nHTTP/");
  at = at == std::string::npos ? (headers.starts_with("HTTP/") ? 0 : std::string::npos) : at + 1;
  if (at == std::string::npos) return 0;
  const std::size_t space = headers.find(' ', at);
  if (space == std::string::npos) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < headers.size() && i < space + 4; ++i) {
    if (headers[i] < '0' || headers[i] > '9') return 0;
    status = status * 10 + (headers[i] - '0');
  }
  return status;
}

RenewalResult RenewalResultOf(int status, const ApiResponse& reply) {
  if (status == 0 || status >= 500) return RenewalResult::kUnreachable;
  if (reply.IsSuccess()) return RenewalResult::kRenewed;
  // The envelope says "result": false; a proxy's or a portal's page, or a
  // reply cut short, does not.
  const bool envelope = SharedJson().GetValue(reply.Text(), "result") == "false";
  if (!envelope || reply.Code() == 5) return RenewalResult::kUnreachable;
  return RenewalResult::kRefused;
}

AccountClient::AccountClient(LoginSession& session, std::string service_host, std::string app_key,
                             std::stop_token stop)
    : session_(session),
      service_host_(std::move(service_host)),
      address_(service_host_),
      app_key_(std::move(app_key)),
      stop_(std::move(stop)) {}

AccountClient::AccountClient(LoginSession& session)
    : AccountClient(session, Config::FromEnvironment().service_host) {}

ApiResponse AccountClient::Post(const std::string& path, const std::string& body,
                                const std::string& headers) {
  RequestOptions options;
  options.method = "POST";
  options.body = body;
  options.headers = headers;
  options.timeout_seconds = timeout_seconds_;
  options.stop = stop_;
  return ReplyOf(SendRequest(address_.BaseUrl() + path, options));
}

ApiResponse AccountClient::Login(const std::string& account, const std::string& password,
                                 const std::string& login_key) {
  const std::string body = FormBody()
                               .Add("account", account)
                               .Add("password", password)
                               .Add("appKey", app_key_)
                               .Add("loginKey", login_key)
                               .Text();
  ApiResponse reply = Post("/api/login.e", body);
  if (SharedJson().GetValue(reply.Text(), "code") == "0") {
    session_.SetToken(SharedJson().GetValue(reply.Text(), "responseBody"));
  }
  if (reply.IsSuccess()) {
    // The renewal runs on the keep-alive thread and must not use this
    // client, which may go away before the session.
    session_.StartKeepAlive([url = address_.BaseUrl() + "/api/comm/keep.e", timeout = timeout_seconds_,
                             &session = session_](std::stop_token stop) {
      RequestOptions options;
      options.method = "POST";
      options.body = FormBody().Add("token", session.Token()).Text();
      options.timeout_seconds = timeout;
      options.stop = stop;
      std::string headers;
      options.response_headers = &headers;
      const ApiResponse renewal = ReplyOf(SendRequest(url, options));
      return RenewalResultOf(HttpStatusOf(headers), renewal);
    });
  }
  return reply;
}

ApiResponse AccountClient::Register(const std::string& account, const std::string& password,
                                    const RegisterFields& fields) {
  std::string body = JoinBytes(kRegisterDelimiter, kCrlf, Disposition("account"), kCrlf, kCrlf, account, kCrlf);
  body += JoinBytes(kRegisterDelimiter, kCrlf, Disposition("password"), kCrlf, kCrlf, password, kCrlf,
                    kRegisterDelimiter);
  body += TextPart("appKey", app_key_);
  if (fields.email) body += TextPart("email", *fields.email);
  if (fields.phone) body += TextPart("phone", *fields.phone);
  if (fields.name) body += TextPart("name", *fields.name);
  if (fields.code) body += TextPart("code", *fields.code);
  if (!fields.head_img.empty()) {
    body += JoinBytes(kCrlf, "Content-Disposition: form-data; name=\"headImg\"; filename=\"img\"", kCrlf,
                      "Content-Type: application/octet-stream", kCrlf, kCrlf, fields.head_img, kCrlf,
                      kRegisterDelimiter);
  }
  body += JoinBytes("--", kCrlf);  // turns the last delimiter into the closing one
  return Post("/api/register.e", body, kRegisterHeaders);
}

ApiResponse AccountClient::ChangePassword(const std::string& account, const std::string& old_password,
                                          const std::string& new_password) {
  FormBody body;
  body.Add("account", account).Add("appKey", app_key_).Add("oldPwd", old_password).Add("newPwd", new_password);
  if (const std::string token = session_.Token(); !token.empty()) body.Add("token", token);
  return Post("/api/replyPassword.e", body.Text());
}

ApiResponse AccountClient::SendPasswordResetMail(const std::string& account) {
  return Post("/api/sendRePwdByEmail.e", FormBody().Add("account", account).Add("appKey", app_key_).Text());
}

ApiResponse AccountClient::SendRegisterCodeMail(const std::string& email) {
  return Post("/api/sendRegCodeByEmail.e", FormBody().Add("email", email).Add("appKey", app_key_).Text());
}

ApiResponse AccountClient::GetInfo() {
  return Post("/api/info.e", FormBody().Add("token", session_.Token()).Text());
}

ApiResponse AccountClient::SendFeedback(const std::string& title, const std::string& content) {
  return Post("/api/dofeed.e",
              FormBody().Add("token", session_.Token()).Add("title", title).Add("content", content).Text());
}

bool AccountClient::KeepAlive() {
  return Post("/api/comm/keep.e", FormBody().Add("token", session_.Token()).Text()).IsSuccess();
}

ApiResponse AccountClient::ListAnnouncements() {
  return Post("/api/announcement/list.e", FormBody().Add("appKey", app_key_).Text());
}

ApiResponse AccountClient::GetAnnouncement(std::optional<int> id) {
  FormBody body;
  body.Add("appKey", app_key_);
  if (id) body.Add("id", std::to_string(*id));
  return Post("/api/announcement/get.e", body.Text());
}

void AccountClient::StopKeepAlive() { session_.StopKeepAlive(); }

ApiResponse AccountClient::GetUserInfoById(int uid) {
  return Post("/api/getUserInfoById.e",
              FormBody().Add("token", session_.Token()).Add("uid", std::to_string(uid)).Text());
}

ApiResponse AccountClient::GetUserData(const std::string& key) {
  return Post("/api/getUserData.e", FormBody().Add("token", session_.Token()).Add("key", key).Text());
}

ApiResponse AccountClient::SetUserData(const std::string& key, const std::string& value) {
  return Post("/api/setUserData.e",
              FormBody().Add("token", session_.Token()).Add("key", key).Add("value", value).Text());
}

ApiResponse AccountClient::UploadImage(const std::string& image) {
  ApiResponse known = Post("/api/upload/getImg.e", FormBody().Add("hash", Md5Hex(image)).Text());
  if (known.IsSuccess()) return known;
  const std::string headers = "Referer:" + address_.BaseUrl() + "/api/upload/img.e\r\n" +
                              "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)\r\n" +
                              "Content-Type: multipart/form-data; boundary=---------------------------7db29f73b107e\r\n";
  const std::string body = JoinBytes(
      kCrlf, kUploadDelimiter, kCrlf, "Content-Disposition: form-data; name=\"img\"; filename=\"Tavrine_IMG_",
      session_.Token(), "_Tavrine.file\"", kCrlf, "Content-Type: image/gif", kCrlf, kCrlf, image, kCrlf,
      kUploadDelimiter, "--", kCrlf);
  return Post("/api/upload/img.e", body, headers);
}

ApiResponse AccountClient::UpdateUserInfo(const UserInfoUpdate& update) {
  FormBody body;
  body.Add("token", session_.Token());
  if (update.name) body.Add("name", *update.name);
  if (update.email) body.Add("email", *update.email);
  if (update.phone) body.Add("phone", *update.phone);
  if (update.head_img) body.Add("headImg", *update.head_img);
  return Post("/api/updateUserInfo.e", body.Text());
}

}  // namespace nuve::core
